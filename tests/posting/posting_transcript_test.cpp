// One connection's exact output, fixed: LOGGIT.TXT, the report and the bytes
// the server received, for a plain run in the default mode, one whose
// acknowledgement is lost (the STAT after the reconnection), one whose
// password is refused, and one with fast posting (a pool of one link).
// Message-IDs and the server's address vary by run and are masked; so are
// the report's time stamps (local time).
#include <gtest/gtest.h>

#include <functional>
#include <regex>
#include <string>

#include "posting/session_fixture.h"

namespace tidewell::test {
namespace {

// The one article as it goes onto the wire.
const std::string kArticle =
    "From: poster@example.com\r\n"
    "Subject: Test - \"a.bin\" yEnc (1/1) 150 bytes\r\n"
    "Organization: The Usenet Upload Circle\r\n"
    "Reply-To: \r\n"
    "Newsgroups: alt.test\r\n"
    "Message-ID: <ID>\r\n"
    "\r\n"
    "\r\n"
    "\r\n"
    "=ybegin part=1 total=1 line=128 size=150 name=a.bin\r\n"
    "=ypart begin=1 end=150\r\n"
    "ZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZ"
    "ZZZZZZZZZZZZZZ\r\n"
    "ZZZZZZZZZZZZZZZZZZZZZZ\r\n"
    "=yend size=150 part=1 pcrc32=0db8a111 crc32=0db8a111\r\n"
    ".\r\n";

const std::string kWire =
    "authinfo user poster\r\n"
    "authinfo pass secret\r\n"
    "mode reader\r\n"
    "post\r\n" +
    kArticle;

const char* const kPlainReport =
    "HH:MM:SS Connecting to the news server..\n"
    "HH:MM:SS Authenticating...\n"
    "HH:MM:SS Setting to READER mode...\n"
    "HH:MM:SS Posting Start.\n"
    "\n"
    "HH:MM:SS 001 a.bin ... Ok. (1/1 - 0:01 - 0.48 Kb/Sec)\n"
    "         Test - \"a.bin\" yEnc (1/1) 150 bytes\n"
    "\n"
    "HH:MM:SS Posting Finished.\n"
    "\n";

// LOGGIT.TXT of a connection from the look-up to the reply to "mode reader";
// `done` is the "N done N total" its writes report, in place of DONE.
std::string loginLog(const std::string& done) {
  std::string log =
      "Looking up address...\r\n"
      "%\r\n"
      "Connecting...\r\n"
      "Connected - Waiting for response...\r\n"
      "SockNot W (DONE)\r\n"
      "Elapsed: --:--:-- To Go: --:--:--\r\n"
      "\n"
      "> Bang : Live Timer\n"
      "200 tidewell test server ready (posting ok)\r\n"
      "\r\n"
      "200 tidewell test server ready (posting ok)\r\n"
      "AUTHINFO USER...\r\n"
      "> Start Trans\r\n"
      "authinfo user poster\r\n"
      "> End Trans\r\n"
      "\r\n"
      "> Asked to write 22 bytes, did 22. (DONE)\r\n"
      "Elapsed: --:--:-- To Go: --:--:--\r\n"
      "\n"
      "> Bang : Live Timer\n"
      "381 PASS required\r\n"
      "\r\n"
      "381 PASS required\r\n"
      "AUTHINFO PASS...\r\n"
      "> Start Trans\r\n"
      "authinfo pass ********\r\n"
      "> End Trans\r\n"
      "\r\n"
      "> Asked to write 22 bytes, did 22. (DONE)\r\n"
      "Elapsed: --:--:-- To Go: --:--:--\r\n"
      "\n"
      "> Bang : Live Timer\n"
      "281 Authentication accepted\r\n"
      "\r\n"
      "281 Authentication accepted\r\n"
      "Setting to READER mode...\r\n"
      "> Start Trans\r\n"
      "mode reader\r\n"
      "> End Trans\r\n"
      "\r\n"
      "> Asked to write 13 bytes, did 13. (DONE)\r\n"
      "Elapsed: --:--:-- To Go: --:--:--\r\n"
      "\n"
      "> Bang : Live Timer\n"
      "200 tidewell test server (posting ok)\r\n"
      "\r\n"
      "200 tidewell test server (posting ok)\r\n";
  for (std::size_t at = log.find("DONE"); at != std::string::npos; at = log.find("DONE", at)) {
    log.replace(at, 4, done);
  }
  return log;
}

// "post" written for the one article, the same in both modes.
const std::string kPostLog =
    "Initiating article post...\r\n"
    "\r\n"
    "> Start Trans\r\n"
    "post\r\n"
    "> End Trans\r\n"
    "\r\n"
    "> Asked to write 6 bytes, did 6. (0 done 0 total)\r\n";

// The article's headers as composing it shows them, in every mode.
const std::string kHeadersLog =
    "From: poster@example.com\r\n"
    "Subject: Test - \"a.bin\" yEnc (1/1) 150 bytes\r\n"
    "Organization: The Usenet Upload Circle\r\n"
    "Reply-To: \r\n"
    "Newsgroups: alt.test\r\n"
    "\r\n"
    "Posting article... (Selecting)\r\n";

// From the reply to "post" to the article composed, the same in both modes.
const std::string kComposingLog =
    "340 Send article, end with <CR-LF>.<CR-LF>\r\n"
    "\r\n"
    "340 Send article, end with <CR-LF>.<CR-LF>\r\n"
    "Posting article... (Preparing)\r\n"
    "Server Receiving Article.\r\n" +
    kHeadersLog + "Posting article... \r\n";

// The article goes out in two writes: its first 448 bytes end here.
const std::size_t kFirstChunkEnd = kArticle.find("ze=150 part=1");

// From "post" to the wait for the acknowledgement of the one article.
const std::string kArticleLog = kPostLog +
                                "Elapsed: --:--:-- To Go: --:--:--\r\n"
                                "\n"
                                "> Bang : Live Timer\n" +
                                kComposingLog +
                                "Posted 448 of 497 (90%)\r\n"
                                "0:00 / -:-- - -.-- Kb/Sec\r\n"
                                "Elapsed: 00:00:05\r\n"
                                "> Start Trans\r\n" +
                                kArticle.substr(0, kFirstChunkEnd) +
                                "> End Trans\r\n"
                                "\r\n"
                                "> Asked to write 448 bytes, did 448. (448 done 497 total)\r\n"
                                "Posted 497 of 497 (100%)\r\n"
                                "0:00 / -:-- - -.-- Kb/Sec\r\n"
                                "Elapsed: 00:00:05\r\n"
                                "> Start Trans\r\n" +
                                kArticle.substr(kFirstChunkEnd) +
                                "> End Trans\r\n"
                                "\r\n"
                                "> Asked to write 49 bytes, did 49. (497 done 497 total)\r\n"
                                "Waiting Server's Ack For Article.\r\n";

const std::string kPlainLog = loginLog("0 done 0 total") + kArticleLog +
                              "Elapsed: 00:00:06\r\n"
                              "\n"
                              "> Bang : Live Timer\n"
                              "240 article posted ok\r\n"
                              "\r\n"
                              "240 article posted ok\r\n"
                              "Article Accepted.\r\n"
                              "Elapsed: 00:00:06\r\n"
                              "Idle.\r\n"
                              "\r\n"
                              "Idle.\r\n"
                              "\r\n"
                              "Finished.\r\n";

const char* const kLostReport =
    "HH:MM:SS Connecting to the news server..\n"
    "HH:MM:SS Authenticating...\n"
    "HH:MM:SS Setting to READER mode...\n"
    "HH:MM:SS Posting Start.\n"
    "\n"
    "HH:MM:SS 001 a.bin ... HH:MM:SS Error on CLOSE receipt.  Communication terminated.\n"
    "Interrupted.\n"
    "HH:MM:SS Error Experienced.  Attempting Reconnection.\n"
    "HH:MM:SS Generating Estimates...\n"
    "HH:MM:SS Connecting to the news server..\n"
    "HH:MM:SS Authenticating...\n"
    "HH:MM:SS Setting to READER mode...\n"
    "HH:MM:SS Posting Start.\n"
    "\n"
    "HH:MM:SS 001 a.bin ... Ok. (1/1 - found on the server by STAT)\n"
    "         Test - \"a.bin\" yEnc (1/1) 150 bytes\n"
    "\n"
    "HH:MM:SS Posting Finished.\n"
    "\n";

const std::string kLostLog = loginLog("0 done 0 total") + kArticleLog +
                             "Error on CLOSE receipt.\r\rCommunication terminated.\r\n"
                             "Idle.\r\n"
                             "\r\n"
                             "Elapsed: 00:00:06\r\n"
                             "\n"
                             "> Bang : Live Timer\n" +
                             loginLog("497 done 497 total") +
                             "Asking for the last article (STAT)...\r\n"
                             "> Start Trans\r\n"
                             "STAT <ID>\r\n"
                             "> End Trans\r\n"
                             "\r\n"
                             "> Asked to write 50 bytes, did 50. (497 done 497 total)\r\n"
                             "Elapsed: --:--:-- To Go: --:--:--\r\n"
                             "\n"
                             "> Bang : Live Timer\n"
                             "223 0 <ID>\r\n"
                             "\r\n"
                             "223 0 <ID>\r\n"
                             "Article Accepted.\r\n"
                             "Idle.\r\n"
                             "\r\n"
                             "Idle.\r\n"
                             "\r\n"
                             "Finished.\r\n";

// The article's data went out, then a new connection asks for it.
const std::string kLostWire = kWire +
                              "authinfo user poster\r\n"
                              "authinfo pass secret\r\n"
                              "mode reader\r\n"
                              "STAT <ID>\r\n";

// The password refused: the run ends without a reconnection.
const char* const kRefusedReport =
    "HH:MM:SS Connecting to the news server..\n"
    "HH:MM:SS Authenticating...\n"
    "HH:MM:SS Authentication failed [Code 2].\n";

// The login's log up to the reply to the password, which refuses it.
std::string refusedLog() {
  const std::string login = loginLog("0 done 0 total");
  return login.substr(0, login.find("281 Authentication")) +
         "481 Authentication failed\r\n"
         "\r\n"
         "481 Authentication failed\r\n"
         "Error - User/Password incorrect.\rUnable to talk to this server.\r\n"
         "Idle.\r\n"
         "\r\n"
         "Idle.\r\n"
         "\r\n";
}

const std::string kRefusedWire =
    "authinfo user poster\r\n"
    "authinfo pass secret\r\n";

// Fast posting goes through a pool of one link: the article is composed
// ahead, the link's dialogue is logged line by line under its number.
const char* const kFastReport =
    "HH:MM:SS Connecting to the news server..\n"
    "HH:MM:SS Posting with 1 connection.\n"
    "HH:MM:SS Posting Start.\n"
    "\n"
    "HH:MM:SS 001 a.bin ... Ok. (1/1 - 0:00 - 0.00 Kb/Sec)\n"
    "         Test - \"a.bin\" yEnc (1/1) 150 bytes\n"
    "\n"
    "HH:MM:SS Posting Finished.\n"
    "\n";

const std::string kFastLog =
    "Looking up address...\r\n"
    "%\r\n"
    "Connecting...\r\n"
    "Posting with 1 connection...\r\n" +
    kHeadersLog +
    "[1] Connecting...\r\n"
    "[1] Connected to %:119\r\n"
    "[1] < 200 tidewell test server ready (posting ok)\r\n"
    "[1] authinfo user poster\r\n"
    "[1] < 381 PASS required\r\n"
    "[1] authinfo pass ********\r\n"
    "[1] < 281 Authentication accepted\r\n"
    "[1] mode reader\r\n"
    "[1] < 200 tidewell test server (posting ok)\r\n"
    "[1] post\r\n"
    "[1] < 340 Send article, end with <CR-LF>.<CR-LF>\r\n"
    "Posting with 1 connection...\r\n"
    "0:00 / -:-- - -.-- Kb/Sec\r\n"
    "Elapsed: --:--:-- To Go: --:--:--\r\n"
    "[1] > 497 bytes of <ID> (497 of 497)\r\n"
    "[1] < 240 article posted ok\r\n"
    "Elapsed: --:--:-- To Go: --:--:--\r\n"
    "Idle.\r\n"
    "\r\n"
    "Idle.\r\n"
    "\r\n"
    "Finished.\r\n";

struct TranscriptCase {
  const char* name;
  bool fast;
  std::function<void(NntpServerDouble&)> script;
  const char* report;  // from "Connecting to the news server.." to the summary's first line
  std::string log;     // LOGGIT.TXT from the look-up on
  std::string wire;
};

void PrintTo(const TranscriptCase& c, std::ostream* out) {
  *out << c.name;
}

class PostingTranscript : public SessionTest, public ::testing::WithParamInterface<TranscriptCase> {
 protected:
  // The server's address is "%".
  [[nodiscard]] std::string masked(const std::string& text) const { return maskedRun(text, {{server.address(), '%'}}); }
};

TEST_P(PostingTranscript, StaysTheSame) {
  const TranscriptCase& c = GetParam();
  configure();
  setting("Logging", "TRUE");
  setting("Encoding", "yEnc");
  setting("PartSize", "200");
  setting("Username", "poster");
  setting("Password", "secret");
  setting("FastPosting", c.fast ? "TRUE" : "FALSE");
  setting("MessageIDs", "TRUE");
  addFile("a.bin", std::string(150, '0'));  // one part; yEnc makes it "Z"s
  c.script(server);
  start();
  ASSERT_TRUE(postAndWait());

  std::string reported;
  bool inRun = false;
  for (const std::string& line : reportLines()) {
    inRun = inRun || line.starts_with("HH:MM:SS Connecting to the news server");
    if (line.starts_with("Total Articles")) {
      break;
    }
    if (inRun) {
      // A line's own stamp is masked already; one inside it ("... 22:13:25
      // Error on ...") is local time too, so it depends on the time zone.
      reported += std::regex_replace(line, std::regex(R"(\b\d\d:\d\d:\d\d\b)"), "HH:MM:SS") + "\n";
    }
  }
  const std::string log = readFile(dir.file("LOGGIT.TXT"));
  const std::size_t lookUp = log.find("Looking up address...");
  EXPECT_EQ(masked(reported), c.report);
  EXPECT_EQ(masked(lookUp == std::string::npos ? log : log.substr(lookUp)), c.log);
  EXPECT_EQ(masked(server.received()), c.wire);
}

INSTANTIATE_TEST_SUITE_P(
    OneConnection, PostingTranscript,
    ::testing::Values(TranscriptCase{"Plain", false, [](NntpServerDouble&) {}, kPlainReport, kPlainLog, kWire},
                      TranscriptCase{"LostAcknowledgement", false,
                                     [](NntpServerDouble& s) { s.onArticle(Response::close(), 1); }, kLostReport,
                                     kLostLog, kLostWire},
                      TranscriptCase{"RefusedLogin", false,
                                     [](NntpServerDouble& s) {
                                       s.onCommand("authinfo pass", Response::reply("481 Authentication failed"));
                                     },
                                     kRefusedReport, refusedLog(), kRefusedWire},
                      TranscriptCase{"Fast", true, [](NntpServerDouble&) {}, kFastReport, kFastLog, kWire}),
    [](const ::testing::TestParamInfo<TranscriptCase>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace tidewell::test
