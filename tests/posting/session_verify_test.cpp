// Verify: after the run each accepted article is asked for by Message-ID;
// what the server lost is posted again under a new id, and the report and
// the NZB follow what was found.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_io.h"
#include "posting/session_fixture.h"

namespace tidewell::test {
namespace {

std::string messageIdOf(const std::string& article) {
  const std::size_t at = article.find("Message-ID: ");
  return at == std::string::npos ? std::string() : article.substr(at + 12, article.find("\r\n", at) - at - 12);
}

std::string withoutMessageId(std::string article) {
  const std::size_t at = article.find("Message-ID: ");
  return at == std::string::npos ? article : article.erase(at, article.find("\r\n", at) + 2 - at);
}

std::size_t countStarting(const std::vector<std::string>& lines, std::string_view prefix) {
  return static_cast<std::size_t>(
      std::count_if(lines.begin(), lines.end(), [&](const std::string& line) { return line.starts_with(prefix); }));
}

bool hasLine(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class VerifySession : public SessionTest {
 protected:
  // a.bin in three yEnc parts (or four uuencoded ones) and b.bin in one.
  void configureVerify(std::string_view encoding) {
    configure();
    setting("Verify", "TRUE");
    setting("NZB", "TRUE");
    setting("Encoding", encoding);
    setting("PartSize", "200");
    std::string data(500, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) {
      data[i] = static_cast<char>(i * 7 + 3);
    }
    addFile("a.bin", data);
    addFile("b.bin", std::string(50, 'b'));
  }
  [[nodiscard]] std::string nzb() const {
    std::string text;
    static_cast<void>(readWholeFile(session->nzbFileName(), text));
    return text;
  }
  [[nodiscard]] std::vector<std::string> commandsOf(const NntpServerDouble& double_, std::string_view verb) const {
    std::vector<std::string> found;
    for (const std::string& command : double_.commands()) {
      if (command.starts_with(verb)) {
        found.push_back(command);
      }
    }
    return found;
  }
};

struct DropCase {
  const char* name;
  const char* encoding;
  int forget;  // accepted articles the double forgets after the first (kAlways: all)
  bool refuseStat;
  std::size_t posted;              // articles posted, again included
  std::size_t asked;               // STAT (or HEAD) commands
  std::vector<std::string> lines;  // report lines expected (after "HH:MM:SS "); @: the server
  RunOutcome outcome;
  const char* connections = "1";  // above 1: with FastPosting, the parallel run
};

void PrintTo(const DropCase& c, std::ostream* out) {
  *out << c.name;
}

class Drops : public VerifySession, public ::testing::WithParamInterface<DropCase> {};

TEST_P(Drops, AsksForEveryArticleAndPostsWhatWasLostAgain) {
  const DropCase& c = GetParam();
  configureVerify(c.encoding);
  server.forgetAccepted(c.forget, c.forget == NntpServerDouble::kAlways ? 0 : 1);  // 1: a.bin part 2
  if (c.refuseStat) {
    server.onCommand("stat", Response::reply("500 What?"));
  }
  setting("JsonReport", "TRUE");
  if (std::string_view(c.connections) != "1") {
    setting("FastPosting", "TRUE");
    setting("Connections", c.connections);
  }
  start();
  ASSERT_TRUE(postAndWait());
  EXPECT_EQ(session->outcome(), c.outcome);

  const std::vector<std::string> articles = server.articles();
  ASSERT_EQ(articles.size(), c.posted);
  EXPECT_EQ(commandsOf(server, c.refuseStat ? "HEAD <" : "STAT <").size(), c.asked);
  const std::vector<std::string> lines = reportLines();
  for (std::string expected : c.lines) {
    if (const std::size_t at = expected.find('@'); at != std::string::npos) {
      expected.replace(at, 1, server.address());
    }
    EXPECT_TRUE(hasLine(lines, "HH:MM:SS " + expected)) << expected << "\n" << report();
  }
  // Every Verify line comes before the summary.
  const auto finished = std::find(lines.begin(), lines.end(), "HH:MM:SS Posting Finished.");
  EXPECT_EQ(countStarting(std::vector<std::string>(finished, lines.end()), "HH:MM:SS Verify:"), 0U);

  const std::string document = nzb();
  if (c.forget == 1) {
    // The lost article went out again with the same text under a new id; the
    // report says so and the NZB names the new id only.
    // With several connections the articles arrive in any order: the lost
    // one is the article the last one repeats.
    const auto lost = std::find_if(articles.begin(), articles.end() - 1, [&](const std::string& article) {
      return withoutMessageId(article) == withoutMessageId(articles.back());
    });
    ASSERT_NE(lost, articles.end() - 1);
    const std::string lostId = messageIdOf(*lost);
    const std::string newId = messageIdOf(articles.back());
    EXPECT_NE(newId, lostId);
    std::string part = "b.bin part 1 of 1";
    // A yEnc subject names the file "a.bin" yEnc (2/N), a uuencoded one a.bin (2/N).
    if (lost->find("a.bin (2/") != std::string::npos || lost->find("a.bin\" yEnc (2/") != std::string::npos) {
      part = "a.bin part 2 of " + std::to_string(c.posted - 2);
    } else {
      EXPECT_NE(std::string_view(c.connections), "1") << "one connection: a.bin part 2 is the second accepted";
    }
    EXPECT_TRUE(hasLine(lines, "HH:MM:SS Verify: missing " + part + ", " + lostId)) << report();
    EXPECT_TRUE(hasLine(lines, "HH:MM:SS Verify: posted " + part + " again as " + newId));
    EXPECT_NE(document.find(">" + newId.substr(1, newId.size() - 2) + "</segment>"), std::string::npos);
    EXPECT_EQ(document.find(lostId.substr(1, lostId.size() - 2)), std::string::npos);
  }
  const bool complete = c.outcome == RunOutcome::Finished;
  EXPECT_EQ(report().find("(incomplete") == std::string::npos, complete);
  EXPECT_EQ(document.find("<segment") != std::string::npos, c.forget != NntpServerDouble::kAlways);
  // The JSON report agrees: articles still missing are failed parts.
  const std::string json = readFile(dir.file(session->reportFileName().substr(0, 8) + ".json"));
  ASSERT_FALSE(json.empty());
  EXPECT_EQ(json.find("Missing on the verify server") != std::string::npos, !complete);
}

INSTANTIATE_TEST_SUITE_P(
    Verify, Drops,
    ::testing::Values(
        DropCase{
            "AllFound", "yEnc", 0, false, 4, 4, {"Verify: 4 articles checked on @, 0 missing."}, RunOutcome::Finished},
        DropCase{"LostPartFoundAgainYenc",
                 "yEnc",
                 1,
                 false,
                 5,
                 5,
                 {"Verify: 4 articles checked on @, 1 missing.", "Verify: posting 1 article again (round 1 of 2).",
                  "Verify: 1 article checked on @, 0 missing."},
                 RunOutcome::Finished},
        DropCase{"LostPartFoundAgainThreeConnections",
                 "yEnc",
                 1,
                 false,
                 5,
                 5,
                 {"Posting with 3 connections.", "Verify: 4 articles checked on @, 1 missing.",
                  "Verify: posting 1 article again (round 1 of 2).", "Verify: 1 article checked on @, 0 missing."},
                 RunOutcome::Finished,
                 "3"},
        DropCase{"LostPartFoundAgainUuencode",
                 "uuencode",
                 1,
                 false,
                 6,
                 6,
                 {"Verify: 5 articles checked on @, 1 missing.", "Verify: 1 article checked on @, 0 missing."},
                 RunOutcome::Finished},
        DropCase{
            "StatRefusedHeadForAll",
            "yEnc",
            1,
            true,
            5,
            5,
            {"Verify: @ refused STAT (500 What?); asking with HEAD.", "Verify: 1 article checked on @, 0 missing."},
            RunOutcome::Finished},
        DropCase{"LostEveryTime",
                 "yEnc",
                 NntpServerDouble::kAlways,
                 false,
                 12,
                 12,
                 {"Verify: posting 4 articles again (round 2 of 2).", "Verify: 4 articles checked on @, 4 missing.",
                  "Verify: 4 articles are missing on @; the NZB leaves them out."},
                 RunOutcome::FinishedWithFailures}),
    [](const ::testing::TestParamInfo<DropCase>& param) { return std::string(param.param.name); });

// Fast posting posts again through links as well: when every one of them
// fails, posting again ends early and the article stays missing.
TEST_F(VerifySession, PostingAgainOnLinksThatAllFailEndsEarly) {
  configureVerify("yEnc");
  setting("FastPosting", "TRUE");
  server.forgetAccepted(1, 1);                                                    // a.bin part 2
  server.onConnect(Response::reply("200 tidewell test server (posting ok)"), 2);  // the run, the check
  server.onConnect(Response::reply("502 no more"));
  start();
  ASSERT_TRUE(postAndWait());
  EXPECT_EQ(session->outcome(), RunOutcome::FinishedWithFailures);
  EXPECT_EQ(server.articles().size(), 4U);
  const std::vector<std::string> lines = reportLines();
  for (const char* expected :
       {"Verify: posting again ended early.", "Verify: a.bin part 2 of 3 could not be posted again."}) {
    EXPECT_TRUE(hasLine(lines, std::string("HH:MM:SS ") + expected)) << expected << "\n" << report();
  }
}

}  // namespace
}  // namespace tidewell::test

namespace tidewell::test {
namespace {

// The verify server is another one (VerifyHost): it is asked, the posting
// server is not; when it cannot be used the run says so once and keeps the
// posting's outcome.
struct VerifyServerCase {
  const char* name;
  std::function<void(NntpServerDouble&)> script;
  std::string line;   // the Verify line expected; @: the verify server
  std::size_t asked;  // STAT commands the verify server received
};

// A table's row is shown by its name.
template <typename Case>
requires requires(const Case& c) {
  c.name;
}
void PrintTo(const Case& c, std::ostream* out) {
  *out << c.name;
}

// A run with a verify server of its own, `checker`, over a table of cases.
template <typename Case>
class WithVerifyServer : public VerifySession, public ::testing::WithParamInterface<Case> {
 protected:
  NntpServerDouble checker{run.loop};
};

using OtherServer = WithVerifyServer<VerifyServerCase>;

TEST_P(OtherServer, IsAskedOrReportedOnce) {
  const VerifyServerCase& c = GetParam();
  configureVerify("yEnc");
  setting("VerifyHost", checker.address());
  setting("VerifyUsername", "checker");
  setting("VerifyPassword", "secret");
  c.script(checker);
  start();
  ASSERT_TRUE(postAndWait(400));
  EXPECT_EQ(session->outcome(), RunOutcome::Finished);
  EXPECT_EQ(commandsOf(server, "STAT").size(), 0U);
  EXPECT_EQ(commandsOf(checker, "STAT <").size(), c.asked);
  EXPECT_EQ(commandsOf(checker, "post").size(), 0U);
  if (c.asked > 0) {
    EXPECT_EQ(commandsOf(checker, "authinfo user checker").size(), 1U);  // VerifyUsername, not Username
  }
  std::string expected = c.line;
  expected.replace(expected.find('@'), 1, checker.address());
  const std::vector<std::string> lines = reportLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "HH:MM:SS " + expected), 1) << report();
  EXPECT_EQ(countStarting(lines, "HH:MM:SS Verify: missing"), 0U);
  EXPECT_EQ(report().find("(incomplete"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Verify, OtherServer,
    ::testing::Values(
        VerifyServerCase{"FindsEverything",
                         [](NntpServerDouble& s) { s.onCommand("stat", Response::reply("223 0 <found@x>")); },
                         "Verify: 4 articles checked on @, 0 missing.", 4},
        VerifyServerCase{"Unreachable", [](NntpServerDouble& s) { s.refuseConnections(true); },
                         "Verify: could not check the articles on @.", 0},
        VerifyServerCase{
            "RefusesLogin",
            [](NntpServerDouble& s) { s.onCommand("authinfo pass", Response::reply("481 Authentication failed")); },
            "Verify: could not check the articles on @.", 0},
        VerifyServerCase{"FallsSilent", [](NntpServerDouble& s) { s.onCommand("stat", Response::silence()); },
                         "Verify: could not check the articles on @.", 1},
        VerifyServerCase{"AnswersNonsense",
                         [](NntpServerDouble& s) { s.onCommand("stat", Response::reply("503 program fault")); },
                         "Verify: could not check the articles on @.", 1}),
    [](const ::testing::TestParamInfo<VerifyServerCase>& param) { return std::string(param.param.name); });

// The verify server's keys are checked as the posting server's are, and
// its dialogue fails in the posting connection's words: the lines from
// "Verify: connecting" on ("*" in a line: any text there).
struct RefusalLinesCase {
  const char* name;
  std::vector<std::pair<const char*, const char*>> settings;
  std::function<void(NntpServerDouble&)> script;
  std::vector<std::string> lines;
};

using VerifyFailureLines = WithVerifyServer<RefusalLinesCase>;

TEST_P(VerifyFailureLines, AreThePostingConnections) {
  const RefusalLinesCase& c = GetParam();
  configureVerify("yEnc");
  setting("VerifyHost", checker.address());
  for (const auto& [key, value] : c.settings) {
    setting(key, value);
  }
  c.script(checker);
  start();
  ASSERT_TRUE(postAndWait());
  EXPECT_EQ(session->outcome(), RunOutcome::Finished);
  const std::vector<std::string> lines = reportLines();
  auto at = std::find(lines.begin(), lines.end(), "HH:MM:SS Verify: connecting to " + checker.address() + "...");
  ASSERT_NE(at, lines.end()) << report();
  std::vector<std::string> expected = c.lines;
  expected.push_back("Verify: could not check the articles on " + checker.address() + ".");
  for (const std::string& line : expected) {
    ASSERT_NE(++at, lines.end()) << report();
    const std::size_t star = std::min(line.find('*'), line.size());
    EXPECT_EQ(at->rfind("HH:MM:SS " + line.substr(0, star), 0), 0U) << *at;
    EXPECT_TRUE(star == line.size() ? *at == "HH:MM:SS " + line : at->ends_with(line.substr(star + 1))) << *at;
  }
  EXPECT_EQ(checker.received().find("authinfo"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Verify, VerifyFailureLines,
    ::testing::Values(
        RefusalLinesCase{"BadPort",
                         {{"VerifyPort", "70000"}},
                         [](NntpServerDouble&) {},
                         {"VerifyPort must be a number from 1 to 65535.  Configure with SETTINGS."}},
        RefusalLinesCase{"BadEncryption",
                         {{"VerifyEncryption", "SSL"}},
                         [](NntpServerDouble&) {},
                         {"VerifyEncryption must be None, TLS or STARTTLS.  Configure with SETTINGS."}},
        RefusalLinesCase{"StartTlsRefused",
                         {{"VerifyEncryption", "STARTTLS"}, {"VerifyUsername", "checker"}},
                         [](NntpServerDouble& s) { s.onCommand("starttls", Response::reply("580 Can not now")); },
                         {"STARTTLS refused: 580 Can not now"}},
        RefusalLinesCase{"TlsToAPlainServer",
                         {{"VerifyEncryption", "TLS"}, {"VerifyPort", "119"}, {"VerifyUsername", "checker"}},
                         [](NntpServerDouble&) {},
                         {"Securing the connection (TLS)...",
                          "Secure connection failed.  The TLS handshake failed: *  Communication terminated."}}),
    [](const ::testing::TestParamInfo<RefusalLinesCase>& param) { return std::string(param.param.name); });

// VerifyDelay is loop time: each round waits it out on the fake clock
// before Verify's link connects to the verify server.
TEST_F(VerifySession, WaitsVerifyDelayBeforeEachRound) {
  configureVerify("yEnc");
  setting("VerifyDelay", "30");
  server.forgetAccepted(1, 1);
  start();
  std::vector<std::int64_t> waits;
  std::int64_t since = -1;
  session->setStateTrace([&](SessionState, SessionState to, std::string_view) {
    if (to == SessionState::VerifyWait) {
      since = run.clock.monotonicMs();
    }
  });
  session->setLinkTrace([&](int, std::string_view to) {
    if (to == "Connecting" && since >= 0) {
      waits.push_back(run.clock.monotonicMs() - since);
      since = -1;
    }
  });
  ASSERT_TRUE(postAndWait());
  EXPECT_EQ(session->outcome(), RunOutcome::Finished);
  ASSERT_EQ(waits.size(), 2U);
  for (const std::int64_t wait : waits) {
    EXPECT_GE(wait, 30000);
    EXPECT_LT(wait, 31000);
  }
  EXPECT_TRUE(hasLine(reportLines(), "HH:MM:SS Verify: waiting 30 seconds before asking."));
}

// Stop while the delay runs ends the run there: the verify server is never
// asked, not even when the delay would have been over.
TEST_F(VerifySession, StopDuringTheDelayEndsTheRun) {
  configureVerify("yEnc");
  setting("VerifyDelay", "600");
  start();
  session->post();
  ASSERT_TRUE(runUntil([this] { return state() == static_cast<int>(SessionState::VerifyWait); }));
  session->stopOrQuit();
  ASSERT_TRUE(waitForRunEnd());
  EXPECT_EQ(session->outcome(), RunOutcome::EndedWithoutFinishing);
  run.clock.advanceMs(700 * 1000);  // the delay would be over
  settle();
  EXPECT_EQ(server.connectionCount(), 1U);
  EXPECT_EQ(commandsOf(server, "STAT").size(), 0U);
}

}  // namespace
}  // namespace tidewell::test

namespace tidewell::test {
namespace {

// Posting again fails: the article refused, or "post" refused (which ends
// the connection). The part counts as missing; the run still ends with its
// summary.
struct RefusalCase {
  const char* name;
  std::function<void(NntpServerDouble&)> script;  // for the fifth article on
};

void PrintTo(const RefusalCase& c, std::ostream* out) {
  *out << c.name;
}

class RepostRefused : public VerifySession, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RepostRefused, LeavesThePartMissing) {
  configureVerify("yEnc");
  server.forgetAccepted(1, 1);
  GetParam().script(server);
  start();
  ASSERT_TRUE(postAndWait());
  EXPECT_EQ(session->outcome(), RunOutcome::FinishedWithFailures);
  const std::vector<std::string> lines = reportLines();
  EXPECT_TRUE(hasLine(lines, "HH:MM:SS Verify: a.bin part 2 of 3 could not be posted again.")) << report();
  EXPECT_TRUE(
      hasLine(lines, "HH:MM:SS Verify: 1 article is missing on " + server.address() + "; the NZB leaves it out."));
  EXPECT_TRUE(hasLine(lines, "Articles Failed    : 1"));
  EXPECT_EQ(commandsOf(server, "STAT <").size(), 4U);  // nothing posted again to ask for
}

INSTANTIATE_TEST_SUITE_P(Verify, RepostRefused,
                         ::testing::Values(RefusalCase{"ArticleRefused",
                                                       [](NntpServerDouble& s) {
                                                         s.onArticle(Response::reply("240 ok"), 4);
                                                         s.onArticle(Response::reply("441 refused"));
                                                       }},
                                           RefusalCase{"PostRefused",
                                                       [](NntpServerDouble& s) {
                                                         s.onCommand("post", Response::reply("340 go"), 4);
                                                         s.onCommand("post",
                                                                     Response::reply("440 posting not allowed"));
                                                       }}),
                         [](const ::testing::TestParamInfo<RefusalCase>& param) {
                           return std::string(param.param.name);
                         });

}  // namespace
}  // namespace tidewell::test
