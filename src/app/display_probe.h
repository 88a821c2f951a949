#pragma once

#include <functional>
#include <string>

namespace tidewell {

// Which front end a start gets. Qt aborts the process when it cannot reach
// the display it was told about, so the display is tried first and a stale
// DISPLAY (a closed X server, a dead ssh forwarding) falls back to headless
// with a warning instead.
struct FrontEndChoice {
  bool headless = false;
  std::string warning;  // why a display that was named is not used; may be empty
  // A Qt platform to use when QT_QPA_PLATFORM is not set (Wayland when only
  // the compositor is reachable); empty: Qt's own choice.
  std::string platform;
};

// What the probe needs to know, injectable for tests.
struct DisplayEnvironment {
  std::function<std::string(const char*)> variable;          // environment lookup ("" when unset)
  std::function<bool()> xDisplayReachable;                   // an X connection to $DISPLAY succeeds
  std::function<bool(const std::string&)> waylandReachable;  // the compositor socket accepts
};

[[nodiscard]] DisplayEnvironment systemDisplayEnvironment();

[[nodiscard]] FrontEndChoice chooseFrontEnd(bool headlessAsked, const DisplayEnvironment& env);

}  // namespace tidewell
