// Secure connections against the server double, which speaks plain NNTP
// only: STARTTLS refused, TLS offered to a server that does not speak it,
// and settings that stop a run before it connects; the dialogue over TLS
// and STARTTLS against the local INN. Posting over TLS, and every failed
// check, are tested end to end (tests/e2e/tls_test.py).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <tuple>

#include "posting/session_fixture.h"

namespace tidewell::test {
namespace {

using SecureConnection = SessionTest;

struct StartTlsRefusal {
  const char* name;
  const char* reply;
};

// With one connection and with three.
class StartTlsRefused : public SessionTest, public ::testing::WithParamInterface<std::tuple<StartTlsRefusal, int>> {};

// The run ends with the server's words, without reconnecting, and neither
// the user name nor the password goes out on the plain connection.
TEST_P(StartTlsRefused, EndsTheRunWithTheServersWordsAndNoLogin) {
  const auto& [refusal, connections] = GetParam();
  configure();
  useConnections(connections);
  setting("Encryption", "STARTTLS");
  setting("Username", "tester");
  setting("Password", "secret");
  server.onCommand("starttls", Response::reply(refusal.reply));
  addFile("a.bin", "x");
  start();
  ASSERT_TRUE(postAndWait());
  EXPECT_EQ(session->outcome(), RunOutcome::EndedWithoutFinishing);
  EXPECT_EQ(server.commands(), std::vector<std::string>(static_cast<std::size_t>(connections), "STARTTLS"));
  EXPECT_EQ(server.connectionCount(), static_cast<std::size_t>(connections));
  const std::string words = refusal.reply;
  EXPECT_NE(report().find("STARTTLS refused: " + words), std::string::npos);
  EXPECT_EQ(report().find("Attempting Reconnection"), std::string::npos);
  if (connections > 1) {
    return;
  }
  EXPECT_EQ(display.outboundTexts.back(),
            words + "\r\n\rError - The server would not start TLS.\rUnable to talk to this server.");
  EXPECT_EQ(reportLines().back(), "HH:MM:SS STARTTLS refused: " + words);
}

INSTANTIATE_TEST_SUITE_P(Replies, StartTlsRefused,
                         ::testing::Combine(::testing::Values(StartTlsRefusal{"CannotNow",
                                                                              "580 Can not initiate TLS negotiation"},
                                                              StartTlsRefusal{"NotOffered", "502 Command unavailable"},
                                                              StartTlsRefusal{"Unknown", "500 What?"}),
                                            ::testing::Values(1, 3)),
                         [](const auto& param) {
                           return std::string(std::get<0>(param.param).name) + std::to_string(std::get<1>(param.param));
                         });

class TlsToPlainServer : public SessionTest, public ::testing::WithParamInterface<int> {};

// A server that answers in plain text where a TLS handshake was expected:
// the handshake fails with its reason, and the run ends at once (trying
// again cannot change what the server speaks), on one connection or three.
TEST_P(TlsToPlainServer, FailsWithTheReasonAndDoesNotReconnect) {
  const int connections = GetParam();
  configure();
  useConnections(connections);
  setting("Encryption", "TLS");
  setting("Port", "119");
  setting("Username", "tester");
  setting("Password", "secret");
  addFile("a.bin", "x");
  start();
  ASSERT_TRUE(postAndWait());
  EXPECT_EQ(session->outcome(), RunOutcome::EndedWithoutFinishing);
  EXPECT_EQ(server.connectionCount(), static_cast<std::size_t>(connections));
  EXPECT_EQ(server.received().find("secret"), std::string::npos);
  EXPECT_TRUE(server.articles().empty());
  EXPECT_NE(report().find("Secure connection failed.  The TLS handshake failed: "), std::string::npos) << report();
  EXPECT_EQ(report().find("Attempting Reconnection"), std::string::npos);
  if (connections > 1) {
    return;
  }
  const std::string shown = display.inboundTexts.back();
  EXPECT_EQ(shown.rfind("Secure connection failed.\rThe TLS handshake failed: ", 0), 0U) << shown;
  EXPECT_EQ(reportLines().back().rfind("HH:MM:SS Secure connection failed.  The TLS handshake failed: ", 0), 0U)
      << report();
}

INSTANTIATE_TEST_SUITE_P(Connections, TlsToPlainServer, ::testing::Values(1, 3));

// TLSVerify off without a pin is said at every run that speaks TLS, in the
// report and on standard error (the display's warning); a pin, the check or
// a plain connection keeps quiet. The server refuses STARTTLS: the warning
// comes before the first byte goes out.
using UncheckedCertificate = SessionOnLinks;

TEST_P(UncheckedCertificate, IsSaidAtEveryRun) {
  const std::string warning =
      "The server's certificate is not checked: anyone between you and the server can read the password.";
  struct Case {
    const char* encryption;
    const char* verify;
    std::string pin;
    bool warned;
  };
  const Case cases[] = {{"STARTTLS", "FALSE", "", true},
                        {"STARTTLS", "FALSE", std::string(64, 'a'), false},
                        {"STARTTLS", "TRUE", "", false},
                        {"None", "FALSE", "", false}};
  configure();
  useConnections(GetParam());
  server.onCommand("starttls", Response::reply("502 Command unavailable"));
  addFile("a.bin", "x");
  start();
  for (const Case& c : cases) {
    setting("Encryption", c.encryption);
    setting("TLSVerify", c.verify);
    setting("TLSPin", c.pin);
    display.warnings.clear();
    ASSERT_TRUE(postAndWait());
    const std::vector<std::string> lines = reportLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "HH:MM:SS " + warning), c.warned ? 1 : 0) << report();
    EXPECT_EQ(display.warnings, c.warned ? std::vector<std::string>{warning} : std::vector<std::string>{});
  }
}

INSTANTIATE_TEST_SUITE_P(Connections, UncheckedCertificate, ::testing::Values(1, 3));

struct BadSetting {
  const char* key;
  const char* value;
  const char* problem;
};

// With one connection and with three.
class UnusableSetting : public SessionTest, public ::testing::WithParamInterface<std::tuple<BadSetting, int>> {};

TEST_P(UnusableSetting, StopsTheRunBeforeConnecting) {
  const auto& [bad, connections] = GetParam();
  configure();
  useConnections(connections);
  setting("Encryption", "TLS");
  setting(bad.key, bad.value);
  addFile("a.bin", "x");
  start();
  ASSERT_TRUE(postAndWait());
  EXPECT_EQ(session->outcome(), RunOutcome::EndedWithoutFinishing);
  EXPECT_EQ(server.connectionCount(), 0U);
  const std::string problem = bad.problem;
  EXPECT_EQ(display.outboundTexts.back(), problem + "\r\rConfigure with SETTINGS.");
  EXPECT_NE(report().find(problem + "  Configure with SETTINGS.\r\n"), std::string::npos) << report();
}

INSTANTIATE_TEST_SUITE_P(
    Settings, UnusableSetting,
    ::testing::Combine(
        ::testing::Values(
            // A mistyped mode never falls back to a plain connection.
            BadSetting{"Encryption", "SSL", "Encryption must be None, TLS or STARTTLS."},
            BadSetting{"Port", "70000", "Port must be a number from 1 to 65535."},
            BadSetting{"TLSPin", "AB:CD", "TLSPin is not a SHA-256 fingerprint (64 hexadecimal digits)."},
            BadSetting{"TLSCAFile", "no-such-ca.pem", "TLSCAFile no-such-ca.pem cannot be read as PEM certificates."}),
        ::testing::Values(1, 3)),
    [](const auto& param) {
      return std::string(std::get<0>(param.param).key) + std::to_string(std::get<1>(param.param));
    });

// Against the local INN (scripts/inn-start), when it serves NNTPS and
// STARTTLS: an empty upload list makes the whole dialogue without posting.
constexpr const char* kInnTestCa = "/etc/news/test-ca.pem";

bool innServesTls() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(563);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool listening = fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  if (fd >= 0) {
    ::close(fd);
  }
  return listening && ::access(kInnTestCa, R_OK) == 0;
}

struct InnCase {
  const char* encryption;
  bool finishes;  // false: a TLSPin that does not match
};

TEST_F(SecureConnection, InnDialogueOverTlsAndStartTls) {
  if (!innServesTls()) {
    GTEST_SKIP() << "no NNTPS on 127.0.0.1:563 or no " << kInnTestCa << "; start it with scripts/inn-start";
  }
  const InnCase cases[] = {{"TLS", true}, {"STARTTLS", true}, {"STARTTLS", false}};
  for (const InnCase& c : cases) {
    SCOPED_TRACE(std::string(c.encryption) + (c.finishes ? "" : " with a wrong pin"));
    session.reset();
    configure();
    setting("Host", "127.0.0.1");
    setting("Username", "tester");
    setting("Password", "secret");
    setting("Encryption", c.encryption);
    setting("TLSCAFile", kInnTestCa);
    setting("TLSPin", c.finishes ? "" : std::string(64, '0'));
    start();
    std::vector<std::string> states;
    session->setStateTrace([&](SessionState, SessionState, std::string_view name) { states.emplace_back(name); });
    ASSERT_TRUE(postAndWait());
    EXPECT_EQ(session->outcome(), c.finishes ? RunOutcome::Finished : RunOutcome::EndedWithoutFinishing);
    const std::string text = report();
    EXPECT_EQ(text.find("Secure connection: TLSv1.") != std::string::npos, c.finishes) << text;
    EXPECT_EQ(text.find("does not match TLSPin") != std::string::npos, !c.finishes) << text;
    EXPECT_EQ(text.find("Attempting Reconnection"), std::string::npos);
    // The login comes after the handshake, never before it.
    const auto handshake = std::find(states.begin(), states.end(), "TlsHandshake");
    ASSERT_NE(handshake, states.end());
    EXPECT_EQ(std::find(states.begin(), handshake, "SendUser"), handshake);
    EXPECT_EQ(std::find(handshake, states.end(), "SendUser") != states.end(), c.finishes);
  }
}

// The same over three connections: each link secures its connection before
// it logs in (as its lines in LOGGIT.TXT show), and posts over TLS.
TEST_F(SecureConnection, InnLinksOverTlsAndStartTls) {
  if (!innServesTls()) {
    GTEST_SKIP() << "no NNTPS on 127.0.0.1:563 or no " << kInnTestCa << "; start it with scripts/inn-start";
  }
  const InnCase cases[] = {{"TLS", true}, {"STARTTLS", true}, {"STARTTLS", false}};
  for (const InnCase& c : cases) {
    SCOPED_TRACE(std::string(c.encryption) + (c.finishes ? "" : " with a wrong pin"));
    session.reset();
    uploadList.clear();
    configure();
    useConnections(3);
    setting("Host", "127.0.0.1");
    setting("Newsgroup", "tidewell.test");
    setting("Subject", "links " + std::to_string(::getpid()) + " " + c.encryption);
    setting("PartSize", "630");
    setting("Logging", "TRUE");
    setting("Username", "tester");
    setting("Password", "secret");
    setting("Encryption", c.encryption);
    setting("TLSCAFile", kInnTestCa);
    setting("TLSPin", c.finishes ? "" : std::string(64, '0'));
    addFile("a.bin", std::string(450 * 3, 'z'));
    ::unlink("LOGGIT.TXT");
    start();
    ASSERT_TRUE(postAndWait());
    EXPECT_EQ(session->outcome(), c.finishes ? RunOutcome::Finished : RunOutcome::EndedWithoutFinishing);
    const std::string text = report();
    EXPECT_EQ(text.find("Articles Ok        : 3") != std::string::npos, c.finishes) << text;
    EXPECT_EQ(text.find("does not match TLSPin") != std::string::npos, !c.finishes) << text;
    EXPECT_EQ(text.find("Attempting Reconnection"), std::string::npos);
    const std::string log = readFile("LOGGIT.TXT");
    EXPECT_EQ(log.find("secret"), std::string::npos);
    int loggedIn = 0;
    for (const std::string mark : {"[1] ", "[2] ", "[3] "}) {
      const std::size_t login = log.find(mark + "authinfo user tester");
      if (login == std::string::npos) {
        continue;
      }
      ++loggedIn;
      EXPECT_LT(log.find(mark + "Secure connection: TLSv1."), login) << mark;
      if (std::string_view(c.encryption) == "STARTTLS") {
        EXPECT_LT(log.find(mark + "< 382"), log.find(mark + "Secure connection: TLSv1.")) << mark;
      }
    }
    EXPECT_EQ(loggedIn > 0, c.finishes) << log;
  }
}

}  // namespace
}  // namespace tidewell::test
