// Hostile servers, vanishing files and failing disks: every run ends in a
// defined way, every listed file ends with a line, no server text lands raw.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <tuple>

#include "posting/session_fixture.h"

namespace tidewell::test {
namespace {

using namespace std::string_literals;
using Script = std::function<void(NntpServerDouble&)>;

// The report's outcome lines, "001 a.bin ... Ok." (time figures cut) or
// "001 a.bin ... Failed..." (whole), without the time stamp.
std::vector<std::string> outcomeLines(const std::vector<std::string>& lines) {
  std::vector<std::string> found;
  for (const std::string& line : lines) {
    const std::size_t outcome = line.find(" ... ") + 5;
    if (line.rfind("HH:MM:SS ", 0) != 0 || outcome < 5) {
      continue;
    }
    if (line.compare(outcome, 3, "Ok.") == 0) {
      found.push_back(line.substr(9, outcome + 3 - 9));
    } else if (line.compare(outcome, 7, "Failed.") == 0) {
      found.push_back(line.substr(9));
    }
  }
  return found;
}

struct Server {
  const char* name;
  Script script;
  RunOutcome outcome;
  std::vector<std::int64_t> waits;  // ms from each decision to (re)connect to its look-up
  // With three links, when they differ: the others post the article before
  // the broken link's wait is over, and the run ends without it.
  std::optional<std::vector<std::int64_t>> waitsOnLinks = {};
};

// With one connection and with three.
class ServerBehaviour : public SessionTest, public ::testing::WithParamInterface<std::tuple<Server, int>> {
 protected:
  void runAgainstTheServer() {
    const auto& [behaviour, connections] = GetParam();
    configure();
    useConnections(connections);
    addFile("a.bin", "data");
    behaviour.script(server);
    start();
    recordReconnectWaits();
    ASSERT_TRUE(postAndWait(60));
    EXPECT_EQ(session->outcome(), behaviour.outcome);
    EXPECT_EQ(reconnectWaits, connections > 1 ? behaviour.waitsOnLinks.value_or(behaviour.waits) : behaviour.waits);
  }
};

TEST_P(ServerBehaviour, EndsTheRunInADefinedWay) {
  runAgainstTheServer();
}

// The same servers reached over IPv6 (Host=[::1]:port).
TEST_P(ServerBehaviour, EndsTheRunInADefinedWayOverIpv6) {
  if (!server.listenOnIpv6Loopback()) {
    GTEST_SKIP() << "no ::1 on this machine (errno " << server.bindError() << ")";
  }
  runAgainstTheServer();
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ServerBehaviour,
    ::testing::Combine(::testing::Values(
                           // A reply is one whole line: "24" on one poll, "0 ok" on the next.
                           Server{"SplitAcrossPolls",
                                  [](auto& s) {
                                    s.onArticle(Response::inPieces({"24", "0 ok\r\n"}, 1500));
                                  },
                                  RunOutcome::Finished,
                                  {0}},
                           // The reply to "mode reader" arrives with the greeting.
                           Server{"TwoRepliesInOneRead",
                                  [](auto& s) {
                                    s.onConnect(Response::reply("200 hello\r\n200 reader ok"));
                                    s.onCommand("mode reader", Response::silence());
                                  },
                                  RunOutcome::Finished,
                                  {0}},
                           // A line over 16 KiB is the server's error: reconnect.
                           Server{"OverlongLine",
                                  [](auto& s) { s.onConnect(Response::reply("200 " + std::string(17000, 'x')), 1); },
                                  RunOutcome::Finished,
                                  {0, 1000},
                                  {{0}}},
                           // A close (FIN) is noticed at once; reconnections wait 1, 5, 15 s.
                           Server{"CloseBeforeTheGreeting",
                                  [](auto& s) { s.onConnect(Response::close()); },
                                  RunOutcome::EndedWithoutFinishing,
                                  {0, 1000, 5000, 15000}},
                           Server{"CloseAfterPost",
                                  [](auto& s) { s.onCommand("post", Response::close(), 1); },
                                  RunOutcome::Finished,
                                  {0, 1000},
                                  {{0}}},
                           // Last words before the close are read: a refusal, no reconnection.
                           Server{"CloseAfterARefusal",
                                  [](auto& s) { s.onConnect(Response::close("502 go away")); },
                                  RunOutcome::EndedWithoutFinishing,
                                  {0}}),
                       ::testing::Values(1, 3)),
    [](const auto& param) {
      return std::string(std::get<0>(param.param).name) + std::to_string(std::get<1>(param.param));
    });

using ReplyTimeout = SessionOnLinks;

TEST_P(ReplyTimeout, RunsWhileSendsBlock) {
  configure();
  useConnections(GetParam());
  std::string data(4500000, '\0');  // more than the client's send buffer can hold
  for (std::size_t i = 0; i < data.size(); ++i) {
    data[i] = static_cast<char>(i * 131 + i / 7);
  }
  addFile("big.bin", data);
  server.limitReceiveBuffer(4096);
  server.onArticleBytes(2000, Response::stopReading(), 1);
  start();
  // Every byte the kernel takes restarts the timeout, and after the server
  // stops reading the kernel may still take a few, late, on its own real-time
  // timers (window probes), however far the loop's clock has run. So the run
  // has no fixed length in loop time; what holds is that the countdown after
  // the last byte taken runs down whole to the timeout.
  ASSERT_TRUE(postAndWait(1200));
  if (GetParam() > 1) {  // the link breaks off, and another posts the file
    EXPECT_EQ(outcomeLines(reportLines()), std::vector<std::string>{"001 big.bin ... Ok."});
    EXPECT_NE(report().find(": Timeout occurred with news server.  Attempting Reconnection."), std::string::npos);
    return;
  }
  EXPECT_EQ(outcomeLines(reportLines()), std::vector<std::string>{"001 big.bin ... Failed.  [Timeout]"});
  EXPECT_EQ(display.problems.back(), "Timeout occurred with news server.");
  std::vector<std::string> countdown;
  for (const std::string& text : display.inboundTexts) {
    if (text.rfind("Timeout in ", 0) == 0) {
      countdown = text == "Timeout in 300 seconds..." ? std::vector<std::string>{} : countdown;
      countdown.push_back(text);
    }
  }
  ASSERT_EQ(countdown.size(), 61U);  // 300, 295, ... 0: five seconds a step, nothing restarted it
  EXPECT_EQ(countdown.back(), "Timeout in 0 seconds...");
}

INSTANTIATE_TEST_SUITE_P(Connections, ReplyTimeout, ::testing::Values(1, 3));

struct FileFate {
  const char* name;
  void (*afterScan)(const std::string& work, const std::string& uploads);
  Script script;
  std::vector<std::string> outcomes;
  std::size_t articles;
  std::size_t moreOnLinks = 0;  // with three links: the articles of each link's last break, after the run's three
};

// With one connection and with three.
class FileFates : public SessionTest, public ::testing::WithParamInterface<std::tuple<FileFate, int>> {};

TEST_P(FileFates, EveryListedFileEndsWithALine) {
  const auto& [fate, connections] = GetParam();
  configure();
  useConnections(connections);
  addFile("a.bin", "first");
  addFile("b.bin", "second");
  if (fate.script) {
    fate.script(server);
  }
  start();
  session->post();
  settle([this] { return state() != static_cast<int>(SessionState::Idle); });  // the list is built, nothing read
  if (fate.afterScan != nullptr) {
    fate.afterScan(dir.path(), uploads);
  }
  ASSERT_TRUE(waitForRunEnd());
  const std::vector<std::string> lines = reportLines();
  EXPECT_EQ(outcomeLines(lines), fate.outcomes);
  EXPECT_EQ(server.articles().size(), fate.articles + (connections > 1 ? fate.moreOnLinks : 0));
  if (session->outcome() != RunOutcome::EndedWithoutFinishing) {  // the summary agrees with the lines
    const std::string failed = "Articles Failed    : " + std::to_string(2 - fate.articles);
    EXPECT_NE(std::find(lines.begin(), lines.end(), failed), lines.end());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Fates, FileFates,
    ::testing::Combine(
        ::testing::Values(FileFate{"Vanished",
                                   [](const auto&, const auto& from) { std::remove((from + "/a.bin").c_str()); },
                                   nullptr,
                                   {"001 a.bin ... Failed.  [Can't encode]", "002 b.bin ... Ok."},
                                   1},
                          // A spool that cannot be written (a full disk) ends the run, with a summary.
                          FileFate{"SpoolNotWritable",
                                   [](const auto& work, const auto&) { mkdir((work + "/TIDEWELL.ENC").c_str(), 0700); },
                                   nullptr,
                                   {"001 a.bin ... Failed.  [Can't encode]", "002 b.bin ... Failed.  [Not posted]"},
                                   0},
                          // Encoded text that cannot be read back is never posted.
                          FileFate{"SpoolReadsNothing",
                                   [](const auto& work, const auto&) {
                                     (void)symlink("/dev/null", (work + "/TIDEWELL.ENC").c_str());
                                   },
                                   nullptr,
                                   {"001 a.bin ... Failed.  [Error reading UUE file.]",
                                    "002 b.bin ... Failed.  [Error reading UUE file.]"},
                                   0},
                          // Every connection breaks off at its article: the fourth error ends the run.
                          FileFate{"MaximumReconnects",
                                   nullptr,
                                   [](auto& s) { s.onArticle(Response::reset()); },
                                   {"001 a.bin ... Failed.  [Not posted]", "002 b.bin ... Failed.  [Not posted]"},
                                   4,
                                   2}),
        ::testing::Values(1, 3)),
    [](const auto& param) {
      return std::string(std::get<0>(param.param).name) + std::to_string(std::get<1>(param.param));
    });

using ServerText = SessionOnLinks;

TEST_P(ServerText, ControlCharactersNeverReachDisplayReportOrLog) {
  configure();
  useConnections(GetParam());
  setting("Logging", "TRUE");
  addFile("a.bin", "data");
  server.onConnect(Response::reply("200 \x1b[2Jhello\x07\x00there"s));
  server.onArticle(Response::reply("441 \x1b]0;title\x07 refused\x7f"));
  start();
  ASSERT_TRUE(postAndWait(60));
  std::string everything = report() + readFile(dir.file("LOGGIT.TXT"));
  for (const auto* texts : {&display.inboundTexts, &display.outboundTexts, &display.fileLines}) {
    for (const std::string& text : *texts) {
      everything += text;
    }
  }
  EXPECT_EQ(
      std::count_if(everything.begin(), everything.end(),
                    [](char c) { return (c >= 0 && c < 0x20 && c != '\r' && c != '\n' && c != '\t') || c == 0x7f; }),
      0);
  EXPECT_NE(report().find("Failed. 441 ?]0;title? refused?"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Connections, ServerText, ::testing::Values(1, 3));

}  // namespace
}  // namespace tidewell::test
