// FastPosting: every run posts through links (one or more), replies taken
// as they arrive, large writes. The dialogue and the reconnections are those
// of the default mode and no reply waits for the live tick; an article a
// broken or silent connection held is posted again, not failed.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <tuple>

#include "platform/file_io.h"
#include "posting/session_fixture.h"

namespace tidewell::test {
namespace {

using Script = std::function<void(NntpServerDouble&)>;

// The report's "Ok." (time figures cut) and "Failed." lines, without the
// time stamp.
std::vector<std::string> outcomes(const std::vector<std::string>& lines) {
  std::vector<std::string> found;
  for (const std::string& line : lines) {
    const std::size_t at = line.find(" ... ");
    if (line.rfind("HH:MM:SS ", 0) != 0 || at == std::string::npos) {
      continue;
    }
    const std::string outcome = line.substr(at + 5);
    if (outcome.rfind("Ok.", 0) == 0) {
      found.push_back(line.substr(9, at + 5 - 9) + "Ok.");
    } else if (outcome.rfind("Failed.", 0) == 0) {
      found.push_back(line.substr(9));
    }
  }
  return found;
}

struct FastCase {
  std::string name;
  Script script;
  RunOutcome outcome;
  std::vector<std::int64_t> waits;  // ms from each decision to (re)connect to its look-up
  std::vector<std::string> lines;   // outcome lines
  std::int64_t maxEndMs;            // loop time by which the run is over
  std::size_t fileSize = 4;         // a.bin; larger files stream in several writes
};

// With one connection and with three.
class FastServer : public SessionTest, public ::testing::WithParamInterface<std::tuple<FastCase, int>> {};

TEST_P(FastServer, SameSessionWithoutWaitingForTicks) {
  const auto& [c, connections] = GetParam();
  configure();
  setting("FastPosting", "TRUE");
  useConnections(connections);
  setting("Username", "user");
  setting("Password", "secret");
  addFile("a.bin", c.fileSize == 4 ? std::string("data") : patterned(c.fileSize));
  c.script(server);
  start();
  recordReconnectWaits();
  ASSERT_TRUE(postAndWait());
  // With three links another link takes a broken link's article over at
  // once: the run ends, all posted, before the broken link's wait is over.
  const bool takenOver = connections > 1 && c.waits.size() > 1;
  EXPECT_EQ(session->outcome(), c.outcome);
  EXPECT_EQ(reconnectWaits, takenOver ? std::vector<std::int64_t>{0} : c.waits);
  EXPECT_EQ(outcomes(reportLines()), c.lines);
  if (takenOver) {
    EXPECT_NE(report().find("  Attempting Reconnection."), std::string::npos) << report();
  }
  EXPECT_LE(run.clock.monotonicMs(), c.maxEndMs);
}

const std::vector<std::string> kOk{"001 a.bin ... Ok."};

std::vector<FastCase> fastCases() {
  std::vector<FastCase> cases{
      // Nothing in the run waits for the clock.
      {"Plain", [](auto&) {}, RunOutcome::Finished, {0}, kOk, 0},
      {"RepliesInPieces",
       [](auto& s) {
         s.onConnect(Response::inPieces({"20", "0 hel", "lo\r\n"}, 300));
         s.onArticle(Response::inPieces({"24", "0 ok\r\n"}, 300));
       },
       RunOutcome::Finished,
       {0},
       kOk,
       3000},
      // The greeting and the answer to "authinfo user" in one read.
      {"SeveralRepliesInOneRead",
       [](auto& s) {
         s.onConnect(Response::reply("200 hello\r\n381 more"));
         s.onCommand("authinfo user", Response::silence());
       },
       RunOutcome::Finished,
       {0},
       kOk,
       0},
      // The server refuses while the client is still sending: the refusal
      // is the article's answer, taken once the article is out.
      {"ReplyWhileTheArticleIsStillSending",
       [](auto& s) {
         s.limitReceiveBuffer(4096);
         s.onArticleBytes(2000, Response::reply("441 too big"), 1);
         s.onArticle(Response::silence(), 1);
       },
       RunOutcome::FinishedWithFailures,
       {0},
       {"001 a.bin ... Failed. 441 too big"},
       0,
       600000},
      {"SilentServerTimesOut",
       [](auto& s) { s.onArticle(Response::silence(), 1); },
       RunOutcome::Finished,
       {0, 1000},
       kOk,
       312000},
      {"ServerThatStopsReadingTimesOut",
       [](auto& s) {
         s.limitReceiveBuffer(4096);
         s.onArticleBytes(2000, Response::stopReading(), 1);
       },
       RunOutcome::Finished,
       {0, 1000},
       kOk,
       312000,
       600000},
  };
  // An orderly close and a reset in every state of the dialogue: one
  // reconnection after its 1 s wait, then the file goes through.
  struct Where {
    const char* name;
    std::function<void(NntpServerDouble&, Response)> act;
    std::size_t fileSize;
  };
  const std::vector<Where> states{
      {"Greeting", [](auto& s, Response r) { s.onConnect(std::move(r), 1); }, 4},
      {"User", [](auto& s, Response r) { s.onCommand("authinfo user", std::move(r), 1); }, 4},
      {"Pass", [](auto& s, Response r) { s.onCommand("authinfo pass", std::move(r), 1); }, 4},
      {"ModeReader", [](auto& s, Response r) { s.onCommand("mode reader", std::move(r), 1); }, 4},
      {"Post", [](auto& s, Response r) { s.onCommand("post", std::move(r), 1); }, 4},
      {"Streaming",
       [](auto& s, Response r) {
         s.limitReceiveBuffer(4096);
         s.onArticleBytes(2000, std::move(r), 1);
       },
       600000},
      {"Ack", [](auto& s, Response r) { s.onArticle(std::move(r), 1); }, 4},
  };
  for (const Where& where : states) {
    for (const bool reset : {false, true}) {
      const auto act = where.act;
      cases.push_back({std::string(reset ? "ResetAt" : "CloseAt") + where.name,
                       [act, reset](auto& s) { act(s, reset ? Response::reset() : Response::close()); },
                       RunOutcome::Finished,
                       {0, 1000},
                       {"001 a.bin ... Ok."},
                       1000,
                       where.fileSize});
    }
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Fast, FastServer,
                         ::testing::Combine(::testing::ValuesIn(fastCases()), ::testing::Values(1, 3)),
                         [](const auto& param) {
                           return std::get<0>(param.param).name + std::to_string(std::get<1>(param.param));
                         });

// Names of the spool files created in the working directory from the
// moment it is made (caught even when unlinked at once, as a held file is).
class SpoolCreations {
 public:
  SpoolCreations()
      : watch_(::inotify_init1(IN_NONBLOCK)), watching_(::inotify_add_watch(watch_.get(), ".", IN_CREATE) >= 0) {}
  [[nodiscard]] bool watching() const { return watching_; }
  std::vector<std::string> names() const {
    std::vector<std::string> found;
    alignas(inotify_event) char events[65536];
    for (ssize_t got = 0; (got = ::read(watch_.get(), events, sizeof events)) > 0;) {
      for (ssize_t at = 0; at < got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(events + at);
        const std::string name = event->len > 0 ? event->name : "";
        if (name.rfind("TIDEWELL.ART", 0) == 0 || name.rfind("TIDEWELL.HELD", 0) == 0) {
          found.push_back(name);
        }
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
    return found;
  }

 private:
  FileDescriptor watch_;
  bool watching_;
};

// The same upload in both modes puts the same articles on the wire:
// articles of several writes, a dot-stuffed text file, several parts; yEnc
// composed in memory, on one connection and on several; parts longer than
// 8 MiB as well, and the fast run creates no spool or held file.
struct SameBytesCase {
  const char* name;
  const char* encoding;
  const char* connections;
  const char* partSize = "400000";
  std::size_t fileSize = 700000;
};

class FastSameBytes : public SessionTest, public ::testing::WithParamInterface<SameBytesCase> {};

TEST_P(FastSameBytes, AsTheDefaultMode) {
  const SameBytesCase& c = GetParam();
  configure();
  setting("PartSize", c.partSize);
  setting("Encoding", c.encoding);
  setting("Connections", c.connections);
  addFile("big.bin", patterned(c.fileSize));  // several parts, each several writes
  addFile("notes.txt", ".hidden\nplain\n");
  start();
  ASSERT_TRUE(postAndWait());
  ASSERT_EQ(session->outcome(), RunOutcome::Finished);
  const std::size_t defaultConnections = server.connectionCount();
  std::vector<std::string> expected = server.articles();
  setting("FastPosting", "TRUE");
  const SpoolCreations created;
  ASSERT_TRUE(created.watching());
  ASSERT_TRUE(postAndWait());
  ASSERT_EQ(session->outcome(), RunOutcome::Finished);
  EXPECT_EQ(created.names(), std::vector<std::string>{});
  std::vector<std::string> fast = server.articles();
  ASSERT_GE(expected.size(), 3U);
  fast.erase(fast.begin(), fast.begin() + static_cast<std::ptrdiff_t>(expected.size()));
  if (std::string_view(c.connections) == "1") {
    ASSERT_EQ(server.connectionCount(), 2U);
    EXPECT_EQ(server.connection(1).received, server.connection(0).received);
  } else {
    EXPECT_GT(server.connectionCount(), defaultConnections + 1) << "the fast run used several connections";
    std::sort(expected.begin(), expected.end());
    std::sort(fast.begin(), fast.end());
  }
  EXPECT_EQ(fast, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Fast, FastSameBytes,
    ::testing::Values(SameBytesCase{"Uuencode", "uuencode", "1"}, SameBytesCase{"Yenc", "yEnc", "1"},
                      SameBytesCase{"YencThreeConnections", "yEnc", "3"},
                      SameBytesCase{"UuencodeLongParts", "uuencode", "1", "9000000", 10 << 20},
                      SameBytesCase{"YencLongParts", "yEnc", "1", "9000000", 10 << 20},
                      SameBytesCase{"YencLongPartsThreeConnections", "yEnc", "3", "9000000", 10 << 20}),
    [](const auto& param) { return std::string(param.param.name); });

// Fast posting keeps the Post-Count in memory during the run: every article
// still gets the next count, and the last one is in the file when the run
// ends, on one connection and on several.
TEST_F(SessionTest, FastPostingSavesThePostCountWhenTheRunEnds) {
  configure();
  setting("FastPosting", "TRUE");
  setting("ShowCount", "TRUE");
  setting("PostCount", "7");
  setting("PartSize", "630");
  addFile("a.bin", patterned(450 * 4));
  start();
  struct Run {
    const char* connections;
    std::vector<std::string> counts;
    const char* saved;
  };
  std::size_t seen = 0;
  for (const Run& c : {Run{"1", {"000008", "000009", "000010", "000011"}, "11"},
                       Run{"3", {"000012", "000013", "000014", "000015"}, "15"}}) {
    setting("Connections", c.connections);
    ASSERT_TRUE(postAndWait());
    ASSERT_EQ(session->outcome(), RunOutcome::Finished);
    const std::vector<std::string> articles = server.articles();
    std::vector<std::string> counts;
    for (; seen < articles.size(); ++seen) {
      counts.push_back(headerOf(articles[seen], "Post-Count"));
    }
    std::sort(counts.begin(), counts.end());
    EXPECT_EQ(counts, c.counts) << c.connections;
    EXPECT_EQ(settings.read("PostCount", "", 100), c.saved) << c.connections;
  }
}

// Descriptors of this process open on `path`.
int openDescriptorsOn(const std::string& path) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    if (std::filesystem::read_symlink(entry.path(), error) == std::filesystem::absolute(path)) {
      ++count;
    }
  }
  return count;
}

// Fast posting reads the articles' settings as each file opens and keeps
// the report open, each line on disk at once (in a new file once it is
// deleted), until the run ends; the default mode reads them for every article.
TEST_F(SessionTest, FastPostingReadsTheArticleSettingsPerFileAndKeepsTheReportOpen) {
  struct Case {
    const char* fast;
    std::vector<std::string> subjects;  // of a.bin 1/2, a.bin 2/2, b.bin 1/2
  };
  configure();
  start();
  for (const Case& c : {Case{"TRUE", {"old", "old", "new"}}, Case{"FALSE", {"old", "new", "new"}}}) {
    setting("FastPosting", c.fast);
    setting("PartSize", "630");
    setting("Subject", "old");
    addFile("a.bin", patterned(900));
    addFile("b.bin", patterned(900));
    const std::size_t before = server.articles().size();
    session->post();
    ASSERT_TRUE(runUntil([&] { return server.articles().size() >= before + 1; })) << c.fast;
    setting("Subject", "new");
    ASSERT_TRUE(runUntil([&] { return server.articles().size() >= before + 2; })) << c.fast;
    EXPECT_NE(report().find("(1/2)"), std::string::npos) << c.fast << ": the first part's line is on disk";
    const std::string number = settings.read("ReportNumber", "0", 255);
    const std::string name = "Report" + std::string(number.size() == 1 ? "0" : "") + number + ".TXT";
    std::filesystem::remove(dir.file(name));  // the lines after it go to a new report, not to the deleted one
    ASSERT_TRUE(waitForRunEnd()) << c.fast;
    ASSERT_EQ(session->outcome(), RunOutcome::Finished) << c.fast;
    const std::vector<std::string> articles = server.articles();
    ASSERT_GE(articles.size(), before + 3) << c.fast;
    for (std::size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(headerOf(articles[before + i], "Subject").substr(0, 3), c.subjects[i]) << c.fast << " article " << i;
    }
    EXPECT_NE(report().find("(2/2)"), std::string::npos) << c.fast;
    EXPECT_EQ(openDescriptorsOn(dir.file(name)), 0) << c.fast << ": the report is closed when the run ends";
  }
}

// "/tidewell" does not wait for the first live tick either.
TEST_F(SessionTest, FastPostingStartsAnAutomaticRunAtOnce) {
  configure();
  setting("FastPosting", "TRUE");
  addFile("a.bin", "data");
  start(SessionFlags{true, false});
  ASSERT_TRUE(waitForRunEnd(0));
  EXPECT_EQ(session->outcome(), RunOutcome::Finished);
}

}  // namespace
}  // namespace tidewell::test
