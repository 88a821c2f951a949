// Placeholder so the library target exists until its first module lands.
namespace tidewell {}
