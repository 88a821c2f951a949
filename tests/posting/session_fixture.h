#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "net/socket_manager.h"
#include "posting/posting_session.h"
#include "settings/settings_store.h"
#include "support/loop_runner.h"
#include "support/nntp_server_double.h"
#include "support/recording_display.h"
#include "support/scripted_prompt.h"
#include "support/temp_dir.h"
#include "upload/upload_list.h"

namespace tidewell::test {

// `size` bytes of a fixed pattern with every byte value, for files whose
// parts must differ from each other.
inline std::string patterned(std::size_t size) {
  std::string data(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    data[i] = static_cast<char>(i * 131 + i / 7);
  }
  return data;
}

// Output that varies by run made comparable: each Message-ID ("<...@...>")
// becomes "<ID>", and each address of `marks` its mark, tried in order.
std::string maskedRun(std::string_view text, std::initializer_list<std::pair<std::string_view, char>> marks);

// A posting session against a server double, in a sandbox directory that is
// also the working directory (spools and reports land there). Time is the
// loop's manual clock; socket traffic is real and runs between the ticks.
class SessionTest : public ::testing::Test {
 protected:
  SessionTest();
  ~SessionTest() override;

  // Settings for a run against the double: Host, Directory (uploads/),
  // fixed identity headers, no Post-Count, single-article parts.
  void configure();
  void setting(std::string_view key, std::string_view value) { settings.write(key, value); }
  std::string addFile(const std::string& name, std::string_view content);
  // A run on `count` connections: above 1, a pool of links (with FastPosting).
  void useConnections(int count) {
    if (count > 1) {
      setting("FastPosting", "TRUE");
      setting("Connections", std::to_string(count));
    }
  }

  // Create the session (flags as given) and set it up.
  void start(SessionFlags flags = {});
  // Let real socket traffic settle (the loop goes quiet), then one live tick
  // of loop time, until `done` holds or `maxTicks` seconds have passed.
  // `done` is checked between loop passes, so a passing state is seen.
  bool runUntil(const std::function<bool()>& done, int maxTicks = 400);
  // Press Post and run until the session is idle again (and the run over).
  bool postAndWait(int maxTicks = 400);
  // Run until the session is idle again and the run over.
  bool waitForRunEnd(int maxTicks = 400);
  // Dispatch real traffic until the loop is quiet; stops early (true) as soon
  // as `done` holds, checked between passes.
  bool settle(const std::function<bool()>& done = {});

  // From now on, records the loop time from each decision to (re)connect to
  // the look-up that follows it: the waits between connection attempts.
  void recordReconnectWaits();

  [[nodiscard]] std::string report() const;
  [[nodiscard]] std::vector<std::string> reportLines() const;  // time stamps masked as "HH:MM:SS "
  [[nodiscard]] int state() const { return session->sessionState(); }

  TempDir dir;
  ScopedChdir inDir{dir.path()};
  std::string uploads;
  LoopRunner run;
  SettingsStore settings{dir.file("Tidewell.INI")};
  NntpServerDouble server{run.loop};
  SocketManager sockets{run.loop, 1, 1, 1};
  nodeManagerClass uploadList;
  RecordingDisplay display;
  ScriptedPrompt prompt;
  std::unique_ptr<PostingSession> session;
  int quitRequests = 0;
  std::vector<std::int64_t> reconnectWaits;  // filled after recordReconnectWaits()
};

// A session test run with one connection and with three (the parameter):
// name a suite after it with `using`, and instantiate it with
// ::testing::Values(1, 3).
class SessionOnLinks : public SessionTest, public ::testing::WithParamInterface<int> {};

// The value of header `name` of an article as the server keeps it (empty
// when the article has none).
[[nodiscard]] std::string headerOf(const std::string& article, const std::string& name);

}  // namespace tidewell::test
