#pragma once

// The NNTP dialogue of a posting connection, written once for every
// connection of a run (the session's own and each link of a pool): the
// commands it sends, what their replies mean, the reply timeout and the
// reconnection rule. The callers keep their own pacing and texts.
#include <cstdint>
#include <string>
#include <string_view>

namespace tidewell {

// How the connection is secured (the key Encryption).
enum class Encryption : std::uint8_t {
  None,      // plain NNTP
  Tls,       // TLS from the first byte (NNTPS), then the greeting
  StartTls,  // plain greeting, then "STARTTLS" and TLS before anything else
};

inline constexpr std::int64_t kReplyTimeoutMs = 305000;
// A reply is one line; a line longer than this is the server's error.
inline constexpr int kReadSize = 16384;
// A run reconnects at most this often, whatever its number of connections.
inline constexpr std::int32_t kMaxReconnects = 3;
// The waits before the first, second and third reconnection of the run, so
// a server that is restarting is not hammered.
inline constexpr std::int64_t kReconnectDelaysMs[kMaxReconnects] = {1000, 5000, 15000};

namespace nntp {

// RFC 4642: asked after a good greeting; 382 starts the handshake.
inline constexpr std::string_view kStartTls = "STARTTLS\r\n";
// RFC 3977 6.3.1 / 7.3: 340 asks for the article, 240 accepts it.
inline constexpr std::string_view kPost = "post\r\n";
inline constexpr std::string_view kModeReader = "mode reader\r\n";

// RFC 4643: 381 asks for the password, 281 accepts it.
[[nodiscard]] inline std::string userCommand(std::string_view user) {
  return "authinfo user " + std::string(user) + "\r\n";
}
[[nodiscard]] inline std::string passCommand(std::string_view password) {
  return "authinfo pass " + std::string(password) + "\r\n";
}
// 223: the server holds the article; 430: it does not.
[[nodiscard]] inline std::string statCommand(std::string_view messageId) {
  return "STAT " + std::string(messageId) + "\r\n";
}
// 221 and the article's header lines up to "."; 430: not held.
[[nodiscard]] inline std::string headCommand(std::string_view messageId) {
  return "HEAD " + std::string(messageId) + "\r\n";
}

// The replies a connection waits for while it logs in, in their order.
enum class LoginStep : std::uint8_t { Greeting, StartTls, User, Pass, Mode };

// What a reply of the login leads to.
enum class LoginNext : std::uint8_t {
  SendStartTls,  // send kStartTls
  Handshake,     // 382: the TLS handshake, then afterGreeting once secure
  SendUser,      // send userCommand
  SendPass,      // send passCommand
  SendMode,      // send kModeReader
  LoggedIn,      // ready to post
  NotSecure,     // a login is due on a connection that should be secure and is not: refuse
  Refused,       // the server said no: loginRefusal says how
};

// What follows a good greeting (or, with STARTTLS, a finished handshake).
[[nodiscard]] constexpr LoginNext afterGreeting(Encryption encryption, bool secure, bool hasUser) {
  if (encryption == Encryption::StartTls && !secure) {
    return LoginNext::SendStartTls;
  }
  if (!hasUser) {
    return LoginNext::SendMode;
  }
  return encryption != Encryption::None && !secure ? LoginNext::NotSecure : LoginNext::SendUser;
}

// The login's answer to `code`, the reply to `step`. STARTTLS refused (580
// cannot start now, 502 not offered) ends the login: going on in plain text
// would send the password in clear.
[[nodiscard]] constexpr LoginNext loginNext(LoginStep step, long code, Encryption encryption, bool secure,
                                            bool hasUser) {
  switch (step) {
    case LoginStep::Greeting:
      return code == 200 || code == 201 ? afterGreeting(encryption, secure, hasUser) : LoginNext::Refused;
    case LoginStep::StartTls:
      return code == 382 ? LoginNext::Handshake : LoginNext::Refused;
    case LoginStep::User:
      return code == 381 ? LoginNext::SendPass : LoginNext::Refused;
    case LoginStep::Pass:
      return code == 281 ? LoginNext::SendMode : LoginNext::Refused;
    case LoginStep::Mode:  // 500 from servers without the command: already a reader
      return code == 200 || code == 201 || code == 500 ? LoginNext::LoggedIn : LoginNext::Refused;
  }
  return LoginNext::Refused;
}

// Whether the words for a refused step hold the server's line itself (the
// greeting's and STARTTLS's do; the login's and mode reader's do not).
[[nodiscard]] constexpr bool refusalHoldsReply(LoginStep step) {
  return step == LoginStep::Greeting || step == LoginStep::StartTls;
}

// The words for a refused step; `reply` is the server's line as the caller
// shows it.
[[nodiscard]] inline std::string loginRefusal(LoginStep step, std::string_view reply) {
  switch (step) {
    case LoginStep::Greeting:
      return std::string(reply);
    case LoginStep::StartTls:
      return "STARTTLS refused: " + std::string(reply);
    case LoginStep::User:
      return "Authentication failed [Code 1].";
    case LoginStep::Pass:
      return "Authentication failed [Code 2].";
    case LoginStep::Mode:
      return "Could not set READER mode.";
  }
  return {};
}

// "441 435 ...": the server already holds an article of that Message-ID.
// After a lost acknowledgement it is the article we sent.
[[nodiscard]] inline bool refusedAsDuplicate(long code, std::string_view reply) {
  return code == 441 && reply.size() >= 7 && reply.substr(4, 3) == "435";
}

}  // namespace nntp
}  // namespace tidewell
