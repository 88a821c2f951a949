#pragma once

#include <cstddef>
#include <functional>
#include <iterator>
#include <string_view>

namespace tidewell {

// The posting session's states. The numbers matter: the session tests
// ranges of them (15..18, 16..17).
enum class SessionState : int {
  Idle = 1,             // no session; a step here starts one
  OpenConnection = 2,   // (re)connection begins
  LookingUp = 3,        // host name look-up pending
  Connecting = 4,       // connect issued, waiting for the connect event
  Connected = 5,        // never entered: the connect event goes to AwaitGreeting
  AwaitGreeting = 6,    // waiting for the server's greeting
  SendUser = 7,         // send "authinfo user"
  AwaitUserReply = 8,   // waiting for the reply to "authinfo user"
  AwaitPassReply = 9,   // waiting for the reply to "authinfo pass"
  SendModeReader = 10,  // send "mode reader"
  AwaitModeReply = 11,  // waiting for the reply to "mode reader"
  NextPart = 12,        // pick the next part of the current or next file
  SendPost = 13,        // send "post"
  StartPosting = 14,    // reset the part plan, then NextPart or Finish
  AwaitPostReply = 15,  // waiting for the reply to "post"; composes the article
  StreamArticle = 16,   // sending the article in chunks
  ArticleSent = 17,     // article wholly handed to the socket
  AwaitAck = 18,        // waiting for the article's acknowledgement
  Finish = 19,          // end of the upload list: summary
  // Secure connections (Encryption=TLS or STARTTLS).
  AwaitStartTlsReply = 20,  // "STARTTLS" sent after the greeting, waiting for 382
  TlsHandshake = 21,        // the TLS handshake is under way
  // With Message-IDs, after a reconnection: "STAT <id>" sent for the article
  // whose acknowledgement was lost, waiting for 223 (it is there) or 430.
  AwaitStatReply = 22,
  // Verify (after the run, before the summary): waiting VerifyDelay, then
  // asking the verify server on a link of its own.
  VerifyWait = 23,
};

// The states' names, in the order of their numbers from Idle (1) on.
inline constexpr std::string_view kSessionStateNames[] = {
    "Idle",     "OpenConnection",     "LookingUp",      "Connecting",     "Connected",      "AwaitGreeting",
    "SendUser", "AwaitUserReply",     "AwaitPassReply", "SendModeReader", "AwaitModeReply", "NextPart",
    "SendPost", "StartPosting",       "AwaitPostReply", "StreamArticle",  "ArticleSent",    "AwaitAck",
    "Finish",   "AwaitStartTlsReply", "TlsHandshake",   "AwaitStatReply", "VerifyWait"};
static_assert(std::size(kSessionStateNames) == static_cast<std::size_t>(SessionState::VerifyWait));

[[nodiscard]] constexpr std::string_view toString(SessionState state) {
  const auto index = static_cast<std::size_t>(state) - 1;
  return index < std::size(kSessionStateNames) ? kSessionStateNames[index] : "?";
}
static_assert(toString(SessionState::AwaitAck) == "AwaitAck" && toString(SessionState::VerifyWait) == "VerifyWait");

// Called on every change of state, after the change, with the new state's
// name; tests and debugging watch the machine through it.
using StateTrace = std::function<void(SessionState from, SessionState to, std::string_view name)>;

[[nodiscard]] constexpr bool isStreaming(SessionState state) {
  return state == SessionState::StreamArticle || state == SessionState::ArticleSent;
}

// States in which a timed-out article is dropped: from "post" to its
// acknowledgement.
[[nodiscard]] constexpr bool isArticleInFlight(SessionState state) {
  const int n = static_cast<int>(state);
  return n >= static_cast<int>(SessionState::AwaitPostReply) && n <= static_cast<int>(SessionState::AwaitAck);
}

}  // namespace tidewell
