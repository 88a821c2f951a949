// What hostile servers, vanishing files and failing disks do to a run:
// every case ends in a defined way, every listed file ends with a line in
// the report, and nothing the server sends reaches a screen or file raw.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <regex>

#include "posting/session_fixture.h"

namespace tidewell::test {
namespace {

using Hardening = SessionTest;
using namespace std::string_literals;

int summaryValue(const std::vector<std::string>& lines, const std::string& label) {
  for (const std::string& line : lines) {
    if (line.rfind(label, 0) == 0) {
      return std::stoi(line.substr(label.size()));
    }
  }
  return -1;
}

// The outcome lines of the report ("HH:MM:SS 001 a.bin ... Ok. (...)" or
// "... Failed..."), and whether the summary's counts agree with them.
std::vector<std::string> outcomeLines(const std::vector<std::string>& lines) {
  static const std::regex outcome(R"(HH:MM:SS \d{3} \S+ \.\.\. (Ok\.|Failed\.).*)");
  std::vector<std::string> found;
  for (const std::string& line : lines) {
    if (std::regex_match(line, outcome)) {
      found.push_back(line.substr(9));
    }
  }
  return found;
}

void expectSummaryAgrees(const std::vector<std::string>& lines) {
  int ok = 0;
  int failed = 0;
  for (const std::string& line : outcomeLines(lines)) {
    (line.find(" ... Ok.") != std::string::npos ? ok : failed) += 1;
  }
  EXPECT_EQ(summaryValue(lines, "Articles Ok        : "), ok);
  EXPECT_EQ(summaryValue(lines, "Articles Failed    : "), failed);
}

struct Framing {
  const char* name;
  std::function<void(NntpServerDouble&)> script;
  int reconnects;
};

class ReplyFraming : public SessionTest, public ::testing::WithParamInterface<Framing> {};

TEST_P(ReplyFraming, AReplyIsOneWholeLine) {
  configure();
  addFile("a.bin", "data");
  GetParam().script(server);
  start();
  ASSERT_TRUE(postAndWait(60));
  EXPECT_EQ(session->outcome(), RunOutcome::Finished);
  EXPECT_EQ(server.articles().size(), 1U);
  EXPECT_EQ(summaryValue(reportLines(), "Server Reconnects  : "), GetParam().reconnects);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ReplyFraming,
    ::testing::Values(
        // "24" read alone on one poll, "0 ok" on the next.
        Framing{"SplitAcrossPolls",
                [](NntpServerDouble& s) {
                  s.onArticle(Response::inPieces({"24", "0 ok\r\n"}, 1500));
                },
                0},
        // The reply to "mode reader" arrives with the greeting.
        Framing{"TwoRepliesInOneRead",
                [](NntpServerDouble& s) {
                  s.onConnect(Response::reply("200 hello\r\n200 reader ok"));
                  s.onCommand("mode reader", Response::silence());
                },
                0},
        // A line over 16 KiB is the server's error: reconnect.
        Framing{"OverlongLine",
                [](NntpServerDouble& s) { s.onConnect(Response::reply("200 " + std::string(17000, 'x')), 1); }, 1}),
    [](const ::testing::TestParamInfo<Framing>& param) { return param.param.name; });

struct Closing {
  const char* name;
  std::function<void(NntpServerDouble&)> script;
  RunOutcome outcome;
  std::vector<std::int64_t> waits;  // ms before each connection attempt
};

class ServerClose : public SessionTest, public ::testing::WithParamInterface<Closing> {};

TEST_P(ServerClose, IsNoticedAtOnceAndReconnectsAfterABackOff) {
  configure();
  addFile("a.bin", "data");
  GetParam().script(server);
  start();
  // The wait from each (re)connection's decision to its host look-up.
  std::vector<std::int64_t> waits;
  std::int64_t decided = 0;
  session->setStateTrace([&](SessionState, SessionState to, std::string_view) {
    if (to == SessionState::OpenConnection) {
      decided = run.clock.monotonicMs();
    } else if (to == SessionState::LookingUp) {
      waits.push_back(run.clock.monotonicMs() - decided);
    }
  });
  ASSERT_TRUE(postAndWait(60));
  EXPECT_EQ(session->outcome(), GetParam().outcome);
  EXPECT_EQ(waits, GetParam().waits);
}

INSTANTIATE_TEST_SUITE_P(
    Closes, ServerClose,
    ::testing::Values(Closing{"BeforeTheGreeting",
                              [](NntpServerDouble& s) { s.onConnect(Response::close()); },
                              RunOutcome::EndedWithoutFinishing,
                              {0, 1000, 5000, 15000}},
                      Closing{"AfterPost",
                              [](NntpServerDouble& s) { s.onCommand("post", Response::close(), 1); },
                              RunOutcome::Finished,
                              {0, 1000}},
                      // The last words are still read: a refusal ends the run, no reconnection.
                      Closing{"AfterARefusal",
                              [](NntpServerDouble& s) { s.onConnect(Response::close("502 go away")); },
                              RunOutcome::EndedWithoutFinishing,
                              {0}}),
    [](const ::testing::TestParamInfo<Closing>& param) { return param.param.name; });

TEST_F(Hardening, ReplyTimeoutRunsWhileSendsBlock) {
  configure();
  std::string data(4500000, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) {
    data[i] = static_cast<char>(i * 131 + i / 7);
  }
  addFile("big.bin", data);
  server.limitReceiveBuffer(4096);
  server.onArticleBytes(2000, Response::stopReading(), 1);
  start();
  ASSERT_TRUE(postAndWait(340));
  EXPECT_EQ(session->outcome(), RunOutcome::FinishedWithFailures);
  EXPECT_EQ(outcomeLines(reportLines()), std::vector<std::string>{"001 big.bin ... Failed.  [Timeout]"});
  EXPECT_EQ(display.problems.back(), "Timeout occurred with news server.");
}

struct FileFate {
  const char* name;
  // Runs once the list is built, with the working and the uploads folder.
  std::function<void(const std::string&, const std::string&)> afterScan;
  std::function<void(NntpServerDouble&)> script;
  std::vector<std::string> outcomes;  // the outcome lines, time stamps cut
  bool summary;
};

class FileFates : public SessionTest, public ::testing::WithParamInterface<FileFate> {};

TEST_P(FileFates, EveryListedFileEndsWithALine) {
  const FileFate& fate = GetParam();
  configure();
  addFile("a.bin", "first");
  addFile("b.bin", "second");
  if (fate.script) {
    fate.script(server);
  }
  start();
  session->post();
  settle();
  if (fate.afterScan) {
    fate.afterScan(dir.path(), uploads);
  }
  ASSERT_TRUE(waitForRunEnd());
  const std::vector<std::string> lines = reportLines();
  std::vector<std::string> outcomes = outcomeLines(lines);
  for (std::string& line : outcomes) {
    const std::size_t figures = line.find(" ... Ok. (");
    if (figures != std::string::npos) {
      line.resize(figures + std::string_view(" ... Ok.").size());  // the figures depend on time
    }
  }
  EXPECT_EQ(outcomes, fate.outcomes);
  EXPECT_EQ(summaryValue(lines, "Total Articles     : ") >= 0, fate.summary);
  if (fate.summary) {
    expectSummaryAgrees(lines);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Fates, FileFates,
    ::testing::Values(
        FileFate{"Vanished",
                 [](const std::string&, const std::string& from) { std::remove((from + "/a.bin").c_str()); },
                 nullptr,
                 {"001 a.bin ... Failed.  [Can't encode]", "002 b.bin ... Ok."},
                 true},
        // The spool cannot be written (a full disk): the run ends, with a summary.
        FileFate{"SpoolNotWritable",
                 [](const std::string& work, const std::string&) { mkdir((work + "/TIDEWELL.ENC").c_str(), 0700); },
                 nullptr,
                 {"001 a.bin ... Failed.  [Can't encode]", "002 b.bin ... Failed.  [Not posted]"},
                 true},
        // Each connection breaks off at its article: the fourth error ends the run.
        FileFate{"MaximumReconnects",
                 nullptr,
                 [](NntpServerDouble& s) { s.onArticle(Response::reset()); },
                 {"001 a.bin ... Failed.  [Not posted]", "002 b.bin ... Failed.  [Not posted]"},
                 false}),
    [](const ::testing::TestParamInfo<FileFate>& param) { return param.param.name; });

TEST_F(Hardening, APartIsNeverPostedWhenItsEncodedDataCannotBeReadBack) {
  configure();
  addFile("a.bin", std::string(3000, 'x'));
  start();
  session->post();
  settle();
  // The encoder's output goes nowhere: nothing can be read back.
  ASSERT_EQ(symlink("/dev/null", dir.file("TIDEWELL.ENC").c_str()), 0);
  ASSERT_TRUE(waitForRunEnd());
  EXPECT_TRUE(server.articles().empty());
  EXPECT_EQ(outcomeLines(reportLines()), std::vector<std::string>{"001 a.bin ... Failed.  [Error reading UUE file.]"});
  EXPECT_EQ(session->outcome(), RunOutcome::FinishedWithFailures);
}

TEST_F(Hardening, ServerControlCharactersNeverReachDisplayReportOrLog) {
  configure();
  setting("Logging", "TRUE");
  addFile("a.bin", "data");
  server.onConnect(Response::reply("200 \x1b[2Jhello\x07\x00there"s));
  server.onArticle(Response::reply("441 \x1b]0;title\x07 refused\x7f"));
  start();
  ASSERT_TRUE(postAndWait(60));
  const auto raw = [](const std::string& text) {
    for (const char c : text) {
      const auto byte = static_cast<unsigned char>(c);
      if ((byte < 0x20 && c != '\r' && c != '\n' && c != '\t') || byte == 0x7f) {
        return true;
      }
    }
    return false;
  };
  for (const auto* texts : {&display.inboundTexts, &display.outboundTexts, &display.fileLines, &display.problems}) {
    for (const std::string& text : *texts) {
      EXPECT_FALSE(raw(text)) << text;
    }
  }
  EXPECT_FALSE(raw(report()));
  EXPECT_FALSE(raw(readFile(dir.file("LOGGIT.TXT"))));
  EXPECT_NE(report().find("Failed. 441 ?]0;title? refused?"), std::string::npos);
}

TEST_F(Hardening, MissingDirectoryEndsTheRunWithAMessage) {
  configure();
  setting("Directory", uploads + "/missing");
  start();
  ASSERT_TRUE(postAndWait(10));
  EXPECT_EQ(session->outcome(), RunOutcome::EndedWithoutFinishing);
  EXPECT_EQ(server.connectionCount(), 0U);
  ASSERT_EQ(prompt.asked.size(), 1U);
  EXPECT_EQ(prompt.asked[0].text, "Directory " + uploads + "/missing not found.  Not posting.");
}

}  // namespace
}  // namespace tidewell::test
