// Secure connections against the server double, which speaks plain NNTP
// only: STARTTLS refused, TLS offered to a server that does not speak it,
// and settings that stop a run before it connects. The handshakes that
// succeed are tested end to end against INN (tests/e2e/tls_test.py).
#include <gtest/gtest.h>

#include "posting/session_fixture.h"

namespace tidewell::test {
namespace {

using SecureConnection = SessionTest;

struct StartTlsRefusal {
  const char* name;
  const char* reply;
};

class StartTlsRefused : public SessionTest, public ::testing::WithParamInterface<StartTlsRefusal> {};

// The run ends with the server's words, without reconnecting, and neither
// the user name nor the password goes out on the plain connection.
TEST_P(StartTlsRefused, EndsTheRunWithTheServersWordsAndNoLogin) {
  configure();
  setting("Encryption", "STARTTLS");
  setting("Username", "tester");
  setting("Password", "secret");
  server.onCommand("starttls", Response::reply(GetParam().reply));
  addFile("a.bin", "x");
  start();
  ASSERT_TRUE(postAndWait());
  EXPECT_EQ(session->outcome(), RunOutcome::EndedWithoutFinishing);
  EXPECT_EQ(server.commands(), (std::vector<std::string>{"STARTTLS"}));
  EXPECT_EQ(server.connectionCount(), 1U);
  const std::string words = GetParam().reply;
  EXPECT_EQ(display.outboundTexts.back(),
            words + "\r\n\rError - The server would not start TLS.\rUnable to talk to this server.");
  EXPECT_EQ(reportLines().back(), "HH:MM:SS STARTTLS refused: " + words);
}

INSTANTIATE_TEST_SUITE_P(Replies, StartTlsRefused,
                         ::testing::Values(StartTlsRefusal{"CannotNow", "580 Can not initiate TLS negotiation"},
                                           StartTlsRefusal{"NotOffered", "502 Command unavailable"},
                                           StartTlsRefusal{"Unknown", "500 What?"}),
                         [](const ::testing::TestParamInfo<StartTlsRefusal>& param) { return param.param.name; });

// A server that answers in plain text where a TLS handshake was expected:
// the handshake fails with its reason, and the run ends at once (trying
// again cannot change what the server speaks).
TEST_F(SecureConnection, TlsToAPlainServerFailsWithTheReasonAndDoesNotReconnect) {
  configure();
  setting("Encryption", "TLS");
  setting("Port", "119");
  setting("Username", "tester");
  setting("Password", "secret");
  addFile("a.bin", "x");
  start();
  ASSERT_TRUE(postAndWait());
  EXPECT_EQ(session->outcome(), RunOutcome::EndedWithoutFinishing);
  EXPECT_EQ(server.connectionCount(), 1U);
  EXPECT_EQ(server.received().find("secret"), std::string::npos);
  EXPECT_TRUE(server.articles().empty());
  const std::string shown = display.inboundTexts.back();
  EXPECT_EQ(shown.rfind("Secure connection failed.\rThe TLS handshake failed: ", 0), 0U) << shown;
  EXPECT_EQ(reportLines().back().rfind("HH:MM:SS Secure connection failed.  The TLS handshake failed: ", 0), 0U)
      << report();
  EXPECT_EQ(report().find("Attempting Reconnection"), std::string::npos);
}

struct BadSetting {
  const char* key;
  const char* value;
  const char* problem;
};

class UnusableSetting : public SessionTest, public ::testing::WithParamInterface<BadSetting> {};

TEST_P(UnusableSetting, StopsTheRunBeforeConnecting) {
  configure();
  setting("Encryption", "TLS");
  setting(GetParam().key, GetParam().value);
  addFile("a.bin", "x");
  start();
  ASSERT_TRUE(postAndWait());
  EXPECT_EQ(session->outcome(), RunOutcome::EndedWithoutFinishing);
  EXPECT_EQ(server.connectionCount(), 0U);
  const std::string problem = GetParam().problem;
  EXPECT_EQ(display.outboundTexts.back(), problem + "\r\rConfigure with SETTINGS.");
  EXPECT_NE(report().find(problem + "  Configure with SETTINGS.\r\n"), std::string::npos) << report();
}

INSTANTIATE_TEST_SUITE_P(
    Settings, UnusableSetting,
    ::testing::Values(
        // A mistyped mode never falls back to a plain connection.
        BadSetting{"Encryption", "SSL", "Encryption must be None, TLS or STARTTLS."},
        BadSetting{"Port", "70000", "Port must be a number from 1 to 65535."},
        BadSetting{"TLSPin", "AB:CD", "TLSPin is not a SHA-256 fingerprint (64 hexadecimal digits)."},
        BadSetting{"TLSCAFile", "no-such-ca.pem", "TLSCAFile no-such-ca.pem cannot be read as PEM certificates."}),
    [](const ::testing::TestParamInfo<BadSetting>& param) { return std::string(param.param.key); });

}  // namespace
}  // namespace tidewell::test
