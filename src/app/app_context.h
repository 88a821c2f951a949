#pragma once

#include <memory>
#include <string>

#include "app/front_end_prompt.h"
#include "net/socket_manager.h"
#include "platform/clock.h"
#include "platform/message_loop.h"
#include "settings/settings_store.h"
#include "upload/upload_list.h"

namespace tidewell {

inline constexpr const char* kAppTitle = "Tidewell - Automating News Posting";

// The program-wide values, owned by the entry for the life of the process and
// handed by reference to whoever needs them (front ends, panels, session).
// The configuration path and the switches are fixed before it is made.
class AppContext {
 public:
  AppContext(std::string configFilePath, bool postAtStart, bool quitWhenDone);
  ~AppContext();
  AppContext(const AppContext&) = delete;
  AppContext& operator=(const AppContext&) = delete;
  AppContext(AppContext&&) = delete;
  AppContext& operator=(AppContext&&) = delete;

  // Every settings read and write goes to this file, section "Settings".
  const std::string configFilePath;
  // "/tidewell": show the posting panel at once and start one run by itself.
  const bool postAtStart;
  // "/autoquit": when a run ends by itself, quit instead of offering the report.
  const bool quitWhenDone;

  SystemClock clock;
  MessageLoop loop;
  SettingsStore settings;
  // Message boxes: standard error until a front end puts its own in place.
  FrontEndPrompt prompt;
  // The one upload list; made by the entry (a failure ends the program with
  // exit code 1), destroyed after the front end is gone.
  std::unique_ptr<nodeManagerClass> uploadList;
  // The socket service (version 1.1, started at once); made by the front end
  // when it starts and destroyed after everything that uses sockets.
  std::unique_ptr<SocketManager> socketManager;
};

// Version of the socket service the program asks for.
inline constexpr std::uint16_t kSocketMajorVersion = 1;
inline constexpr std::uint16_t kSocketMinorVersion = 1;

[[nodiscard]] std::unique_ptr<SocketManager> startSocketManager(MessageLoop& loop);

}  // namespace tidewell
