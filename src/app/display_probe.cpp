#include "app/display_probe.h"

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QLibraryInfo>
#include <cstdlib>
#include <cstring>

#include "platform/file_system.h"

namespace tidewell {

namespace {

// libxcb is what Qt's X11 platform plugin talks through; it is loaded only
// for this one question, so the program does not link X libraries.
bool tryXConnection() {
  void* xcb = dlopen("libxcb.so.1", RTLD_LAZY | RTLD_LOCAL);
  if (xcb == nullptr) {
    return false;
  }
  using Connect = void* (*)(const char*, int*);
  using HasError = int (*)(void*);
  using Disconnect = void (*)(void*);
  const auto connect = reinterpret_cast<Connect>(dlsym(xcb, "xcb_connect"));
  const auto hasError = reinterpret_cast<HasError>(dlsym(xcb, "xcb_connection_has_error"));
  const auto disconnect = reinterpret_cast<Disconnect>(dlsym(xcb, "xcb_disconnect"));
  bool reachable = false;
  if (connect != nullptr && hasError != nullptr && disconnect != nullptr) {
    void* connection = connect(nullptr, nullptr);
    if (connection != nullptr) {
      reachable = hasError(connection) == 0;
      disconnect(connection);  // also frees a connection that failed
    }
  }
  dlclose(xcb);
  return reachable;
}

bool tryWaylandSocket(const std::string& display) {
  std::string path = display;
  if (path.empty() || path.front() != '/') {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr || runtime[0] == '\0') {
      return false;
    }
    path = joinPath(runtime, display);
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    return false;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    return false;
  }
  const bool reachable = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  if (!reachable) {
    return false;
  }
  // Qt's Wayland platform is a package of its own; without it Qt cannot use
  // the compositor however reachable it is.
  const QString plugins = QLibraryInfo::path(QLibraryInfo::PluginsPath);
  return fileExists((plugins + "/platforms/libqwayland-generic.so").toStdString());
}

bool startsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

}  // namespace

DisplayEnvironment systemDisplayEnvironment() {
  DisplayEnvironment env;
  env.variable = [](const char* name) {
    const char* value = std::getenv(name);
    return std::string(value != nullptr ? value : "");
  };
  env.xDisplayReachable = tryXConnection;
  env.waylandReachable = tryWaylandSocket;
  return env;
}

FrontEndChoice chooseFrontEnd(bool headlessAsked, const DisplayEnvironment& env) {
  FrontEndChoice choice;
  if (headlessAsked) {
    choice.headless = true;
    return choice;
  }
  const std::string x = env.variable("DISPLAY");
  const std::string wayland = env.variable("WAYLAND_DISPLAY");
  if (x.empty() && wayland.empty()) {
    choice.headless = true;
    return choice;
  }
  // A platform named explicitly other than X11 or Wayland (offscreen, vnc,
  // ...) is the user's choice and is not second-guessed.
  const std::string platform = env.variable("QT_QPA_PLATFORM");
  if (!platform.empty() && !startsWith(platform, "xcb") && !startsWith(platform, "wayland")) {
    return choice;
  }
  const bool wantsWayland = startsWith(platform, "wayland");
  if (!wantsWayland && !x.empty() && env.xDisplayReachable()) {
    return choice;
  }
  if (!startsWith(platform, "xcb") && !wayland.empty() && env.waylandReachable(wayland)) {
    if (platform.empty()) {
      choice.platform = "wayland";
    }
    return choice;
  }
  choice.headless = true;
  choice.warning = "Tidewell: cannot open the display";
  if (!x.empty()) {
    choice.warning += " \"" + x + "\"";
  } else {
    choice.warning += " \"" + wayland + "\"";
  }
  choice.warning += "; running without a window.";
  return choice;
}

}  // namespace tidewell
