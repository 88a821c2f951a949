// Placeholder so the library target exists until the application modules land.
namespace tidewell {}
