// Verify's exact output, fixed: the report lines from the connection to the
// verify server to the summary, its LOGGIT.TXT text and the bytes the verify
// server received, for a run that finds everything, one that falls back to
// HEAD, and ones the verify server refuses. Message-IDs and the server's
// address vary by run and are masked.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "posting/session_fixture.h"

namespace tidewell::test {
namespace {

// LOGGIT.TXT from "Verify: connecting" to the verify server's answer to
// "mode reader", the trace of Verify's link: the same in every run that logs
// in, the password masked.
const std::string kLoggedIn =
    "Verify: connecting to @...\r\n"
    "Connecting...\r\n"
    "Connected to @:119\r\n"
    "< 200 tidewell test server ready (posting ok)\r\n"
    "Authenticating...\r\n"
    "authinfo user checker\r\n"
    "< 381 PASS required\r\n"
    "authinfo pass ********\r\n"
    "< 281 Authentication accepted\r\n"
    "Setting to READER mode...\r\n"
    "mode reader\r\n"
    "< 200 tidewell test server (posting ok)\r\n";

// The end of every run's log, after Verify.
const std::string kEnd = "Idle.\r\n\r\nIdle.\r\n\r\nFinished.\r\n";

struct TranscriptCase {
  const char* name;
  std::function<void(NntpServerDouble&)> script;  // the verify server's
  const char* report;                             // from "Verify: connecting" to the summary
  std::string log;                                // LOGGIT.TXT from "Verify: connecting" on
  const char* wire;                               // what the verify server received
};

void PrintTo(const TranscriptCase& c, std::ostream* out) {
  *out << c.name;
}

class VerifyTranscript : public SessionTest, public ::testing::WithParamInterface<TranscriptCase> {
 protected:
  NntpServerDouble checker{run.loop};

  // The addresses differ from run to run: "@" is the verify server's, "%"
  // the posting server's.
  [[nodiscard]] std::string masked(const std::string& text) const {
    return maskedRun(text, {{checker.address(), '@'}, {server.address(), '%'}});
  }
};

TEST_P(VerifyTranscript, StaysTheSame) {
  const TranscriptCase& c = GetParam();
  configure();
  setting("Verify", "TRUE");
  setting("Logging", "TRUE");
  setting("Encoding", "yEnc");
  setting("PartSize", "200");
  setting("VerifyHost", checker.address());
  setting("VerifyUsername", "checker");
  setting("VerifyPassword", "secret");
  addFile("a.bin", std::string(300, 'a'));
  c.script(checker);
  start();
  ASSERT_TRUE(postAndWait());

  std::string reported;
  bool inVerify = false;
  for (const std::string& line : reportLines()) {
    inVerify = inVerify || line.starts_with("HH:MM:SS Verify: connecting");
    if (line.starts_with("HH:MM:SS Posting Finished.")) {
      break;
    }
    if (inVerify) {
      reported += line + "\n";
    }
  }
  const std::string log = readFile(dir.file("LOGGIT.TXT"));
  // From the connection to the verify server on.
  const std::size_t verifyStart = log.find("Verify: connecting to " + checker.address());
  const std::string logged = verifyStart == std::string::npos ? log : log.substr(verifyStart);
  EXPECT_EQ(masked(reported), c.report);
  // "..." first: only the log's end is kept (before it, a wait of minutes).
  const std::string shown = masked(logged);
  const std::string_view expected(c.log);
  if (expected.starts_with("...")) {
    EXPECT_TRUE(shown.ends_with(expected.substr(3))) << shown;
  } else {
    EXPECT_EQ(shown, expected);
  }
  EXPECT_EQ(masked(checker.received()), c.wire);
}

INSTANTIATE_TEST_SUITE_P(
    Verify, VerifyTranscript,
    ::testing::Values(
        TranscriptCase{"FindsBoth", [](NntpServerDouble& s) { s.onCommand("stat", Response::reply("223 0 <x@y>")); },
                       "HH:MM:SS Verify: connecting to @...\n"
                       "HH:MM:SS Authenticating...\n"
                       "HH:MM:SS Setting to READER mode...\n"
                       "HH:MM:SS Verify: 2 articles checked on @, 0 missing.\n"
                       "\n",
                       kLoggedIn +
                           "Verify: asking for 1 of 2...\r\nSTAT <ID>\r\n< 223 0 <ID>\r\n"
                           "Verify: asking for 2 of 2...\r\nSTAT <ID>\r\n< 223 0 <ID>\r\n" +
                           kEnd,
                       "authinfo user checker\r\n"
                       "authinfo pass secret\r\n"
                       "mode reader\r\n"
                       "STAT <ID>\r\n"
                       "STAT <ID>\r\n"},
        TranscriptCase{"StatRefused",
                       [](NntpServerDouble& s) {
                         s.onCommand("stat", Response::reply("500 What?"));
                         s.onCommand("head", Response::reply("221 0 <x@y>\r\nSubject: s\r\n."));
                       },
                       "HH:MM:SS Verify: connecting to @...\n"
                       "HH:MM:SS Authenticating...\n"
                       "HH:MM:SS Setting to READER mode...\n"
                       "HH:MM:SS Verify: @ refused STAT (500 What?); asking with HEAD.\n"
                       "HH:MM:SS Verify: 2 articles checked on @, 0 missing.\n"
                       "\n",
                       kLoggedIn +
                           "Verify: asking for 1 of 2...\r\nSTAT <ID>\r\n< 500 What?\r\n"
                           "Verify: asking for 1 of 2...\r\nHEAD <ID>\r\nHEAD <ID>\r\n"
                           "< 221 0 <ID>\r\n< Subject: s\r\n< .\r\n< 221 0 <ID>\r\n< Subject: s\r\n< .\r\n" +
                           kEnd,
                       "authinfo user checker\r\n"
                       "authinfo pass secret\r\n"
                       "mode reader\r\n"
                       "STAT <ID>\r\n"
                       "HEAD <ID>\r\n"
                       "HEAD <ID>\r\n"},
        TranscriptCase{"LoginRefused",
                       [](NntpServerDouble& s) { s.onCommand("authinfo pass", Response::reply("481 no")); },
                       "HH:MM:SS Verify: connecting to @...\n"
                       "HH:MM:SS Authenticating...\n"
                       "HH:MM:SS Authentication failed [Code 2].\n"
                       "HH:MM:SS Verify: could not check the articles on @.\n"
                       "\n",
                       "Verify: connecting to @...\r\nConnecting...\r\nConnected to @:119\r\n"
                       "< 200 tidewell test server ready (posting ok)\r\nAuthenticating...\r\n"
                       "authinfo user checker\r\n< 381 PASS required\r\nauthinfo pass ********\r\n< 481 no\r\n"
                       "Refused: Authentication failed [Code 2].\r\nAuthentication failed [Code 2].\r\n" +
                           kEnd,
                       "authinfo user checker\r\n"
                       "authinfo pass secret\r\n"},
        TranscriptCase{"Nonsense", [](NntpServerDouble& s) { s.onCommand("stat", Response::reply("503 fault")); },
                       "HH:MM:SS Verify: connecting to @...\n"
                       "HH:MM:SS Authenticating...\n"
                       "HH:MM:SS Setting to READER mode...\n"
                       "HH:MM:SS Verify: @ answered 503 fault for <ID>.\n"
                       "HH:MM:SS Verify: could not check the articles on @.\n"
                       "\n",
                       kLoggedIn + "Verify: asking for 1 of 2...\r\nSTAT <ID>\r\n< 503 fault\r\n" + kEnd,
                       "authinfo user checker\r\n"
                       "authinfo pass secret\r\n"
                       "mode reader\r\n"
                       "STAT <ID>\r\n"},
        TranscriptCase{"Silent", [](NntpServerDouble& s) { s.onCommand("stat", Response::silence()); },
                       "HH:MM:SS Verify: connecting to @...\n"
                       "HH:MM:SS Authenticating...\n"
                       "HH:MM:SS Setting to READER mode...\n"
                       "HH:MM:SS Verify: could not check the articles on @.\n"
                       "\n",
                       "...Elapsed: 00:05:11\r\n\n> Bang : Live Timer\n"
                       "Connection broke: Timeout occurred with news server.\r\n"
                       "Timeout occurred with news server.\r\n" +
                           kEnd,
                       "authinfo user checker\r\n"
                       "authinfo pass secret\r\n"
                       "mode reader\r\n"
                       "STAT <ID>\r\n"},
        TranscriptCase{
            "Unreachable", [](NntpServerDouble& s) { s.refuseConnections(true); },
            "HH:MM:SS Verify: connecting to @...\n"
            "HH:MM:SS Error connecting to server.  Communication terminated.\n"
            "HH:MM:SS Verify: could not check the articles on @.\n"
            "\n",
            "Verify: connecting to @...\r\nConnecting...\r\nConnection broke: Error connecting to server.\r\n"
            "Error connecting to server.  Communication terminated.\r\n" +
                kEnd,
            ""}),
    [](const ::testing::TestParamInfo<TranscriptCase>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace tidewell::test
