// Placeholder so the library target exists until its first dialog lands.
namespace tidewell {}
