#pragma once

// One round of Verify's check: a link of its own to the verify server that,
// once logged in, asks for every Message-ID of the round (VerifyQueue: STAT,
// or HEAD where STAT is refused), takes each answer as it arrives and never
// reconnects. The round ends answered, with what the server holds, or cut
// short (the server could not be reached or asked; the check words why in
// the report as the posting connection words the same failure). `over`
// tells the owner from within the link's call; the owner calls end() from
// the loop's top.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "posting/post_link.h"

namespace tidewell {

class MessageLoop;
class SocketManager;
class VerifyQueue;

class VerifyCheck {
 public:
  enum class Finding : std::uint8_t { Unasked, Found, Missing };

  struct Events {
    std::function<void(std::string_view)> showState;
    // A line for the report, with its line end (the owner stamps it).
    std::function<void(std::string_view)> report;
    // A failure shown where the run's problems are shown.
    std::function<void(std::string_view)> problem;
    // The link's traffic for the debug log; unset: Logging is off.
    std::function<void(std::string_view)> log;
    // Each change of the link's state (tests watch it).
    std::function<void(int, std::string_view)> stateTrace;
    // The round is over, or the link stopped or failed.
    std::function<void()> over;
  };

  // Starts a round of `questions` (which outlives the check) for
  // `messageIds`; `hostName` names the server in the report.
  VerifyCheck(MessageLoop& loop, SocketManager& sockets, LinkSettings settings, std::string hostName,
              std::vector<std::string> messageIds, VerifyQueue& questions, Events events);
  ~VerifyCheck();
  VerifyCheck(const VerifyCheck&) = delete;
  VerifyCheck& operator=(const VerifyCheck&) = delete;

  void start();
  // The link goes; a failure that cut the round short is shown and reported.
  void end();
  // Every question of the round was answered.
  [[nodiscard]] bool answered() const;
  // What the server said of each question of the round, in order.
  [[nodiscard]] const std::vector<Finding>& findings() const { return findings_; }

 private:
  std::string nextQuestions();
  PostLink::Next answer(long code, const std::string& line);
  void onState(int link, std::string_view state);

  std::string hostName_;
  VerifyQueue& questions_;
  Events events_;
  std::vector<Finding> findings_;
  LinkSettings settings_;  // the link holds a reference: declared before it
  std::unique_ptr<PostLink> link_;
};

}  // namespace tidewell
