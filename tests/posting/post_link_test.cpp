// A link's pacing, against the NNTP server double: when it takes replies,
// how it cuts the article into writes, and how its reply timeout runs; and
// a link that asks: its questions and every reply line.
#include "posting/post_link.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/socket_manager.h"
#include "posting/nntp_dialogue.h"
#include "support/loop_runner.h"
#include "support/nntp_server_double.h"
#include "support/temp_dir.h"
#include "upload/article_spool.h"

namespace tidewell::test {
namespace {

struct LinkRig {
  // `asking`: the link asks `questions` (one per ask) and answers each reply
  // line with the next of `nexts`.
  explicit LinkRig(LinkPacing pacing, bool asking = false) {
    settings.hostName = server.address();
    settings.port = NntpServerDouble::kNntpPort;
    PostLink::Events events;
    events.take = [this] { return std::exchange(article, nullptr); };
    events.finished = [this](std::shared_ptr<LinkArticle>, const LinkOutcome& outcome) { acknowledged = outcome.code; };
    events.giveBack = [](std::shared_ptr<LinkArticle>) {};
    events.sent = [this](std::int64_t bytes) { writes.push_back(bytes); };
    events.note = [this](std::string_view text) { notes += std::string(text) + "\n"; };
    events.reconnecting = [] { return 0; };
    events.log = [](std::string_view) {};
    events.lost = [](PostLink&) {};
    events.timeoutLeft = [this](std::int64_t seconds) { timeoutSteps.push_back(seconds); };
    events.stateTrace = [this](int, std::string_view state) { lastState = state; };
    if (asking) {
      events.ask = [this] {
        std::string next;
        if (!questions.empty()) {
          next = questions.front();
          questions.erase(questions.begin());
        }
        return next;
      };
      events.answer = [this](long, const std::string& line) {
        answers.push_back(line);
        return answers.size() <= nexts.size() ? nexts[answers.size() - 1] : PostLink::Next::Stop;
      };
    }
    link = std::make_unique<PostLink>(run.loop, sockets, settings, 1, std::move(events), pacing);
  }

  // An article of `bodyBytes` body bytes, held in memory.
  void queueArticle(std::size_t bodyBytes) {
    std::string text = "Newsgroups: alt.test\r\nSubject: pace\r\nMessage-ID: <pace@test>\r\n\r\n";
    while (text.size() < bodyBytes) {
      text += std::string(62, 'x') + "\r\n";
    }
    text += ".\r\n";
    ArticleSpool spool(dir.file("spool"));
    spool.useMemory(true);
    spool.resetArticleSpool();
    ASSERT_TRUE(spool.appendToArticleSpool(text));
    article = std::make_shared<LinkArticle>();
    article->messageId = "<pace@test>";
    ASSERT_TRUE(article->wire.holdFrom(spool));
    articleBytes = static_cast<std::int64_t>(text.size());
  }

  TempDir dir;
  LoopRunner run;
  NntpServerDouble server{run.loop};
  SocketManager sockets{run.loop, 1, 1, 1};
  LinkSettings settings;
  std::unique_ptr<PostLink> link;
  std::shared_ptr<LinkArticle> article;
  std::int64_t articleBytes = 0;
  long acknowledged = 0;
  std::vector<std::int64_t> writes;
  std::vector<std::int64_t> timeoutSteps;
  std::string notes;
  std::string lastState;
  std::vector<std::string> questions;
  std::vector<PostLink::Next> nexts;
  std::vector<std::string> answers;
};

std::string pacingName(LinkPacing pacing) {
  return pacing == LinkPacing::OnTick ? "OnTick" : "AsTheyArrive";
}

struct PacingCase {
  LinkPacing pacing;
  int ticks;                  // live ticks the dialogue takes: one per reply, or none
  std::int64_t largestWrite;  // of a 3000-byte article; 0: all of it at once
};

void PrintTo(const PacingCase& c, std::ostream* out) {
  *out << pacingName(c.pacing);
}

class LinkPacingTest : public ::testing::TestWithParam<PacingCase> {};

// With OnTick a whole reply stays unread until the tick: the link is seen
// holding it before each tick (greeting, mode reader, post, the article).
TEST_P(LinkPacingTest, RepliesAndWritesFollowThePacing) {
  const PacingCase& pace = GetParam();
  LinkRig rig(pace.pacing);
  if (!rig.server.listening()) {
    GTEST_SKIP() << "cannot listen on port 119 (errno " << rig.server.bindError() << ")";
  }
  rig.queueArticle(3000);
  rig.link->start();
  int ticks = 0;
  while (rig.acknowledged == 0) {
    ASSERT_TRUE(rig.run.waitFor([&] { return rig.acknowledged != 0 || rig.link->replyWaiting(); }));
    if (rig.acknowledged == 0) {
      ASSERT_EQ(pace.pacing, LinkPacing::OnTick) << "a reply waited in " << rig.lastState;
      rig.link->tick();
      ++ticks;
    }
  }
  EXPECT_EQ(rig.acknowledged, 240);
  EXPECT_EQ(ticks, pace.ticks);
  EXPECT_EQ(*std::max_element(rig.writes.begin(), rig.writes.end()),
            pace.largestWrite == 0 ? rig.articleBytes : pace.largestWrite);
  std::int64_t total = 0;
  for (const std::int64_t bytes : rig.writes) {
    total += bytes;
  }
  EXPECT_EQ(total, rig.articleBytes);
  ASSERT_EQ(rig.server.storedArticles().size(), 1U);
  EXPECT_EQ(rig.server.commands(), (std::vector<std::string>{"mode reader", "post"}));
}

// A refusal just before the server closes is taken at once, tick or not:
// the link fails with the server's words, not as a broken connection.
TEST_P(LinkPacingTest, LastWordsBeforeACloseAreTaken) {
  LinkRig rig(GetParam().pacing);
  if (!rig.server.listening()) {
    GTEST_SKIP() << "cannot listen on port 119 (errno " << rig.server.bindError() << ")";
  }
  rig.server.onConnect(Response::close("502 no posting here"));
  rig.link->start();
  ASSERT_TRUE(rig.run.waitFor([&] { return rig.link->isLost(); }));
  EXPECT_EQ(rig.link->lostReason().rfind("502 no posting here", 0), 0U) << rig.link->lostReason();
}

INSTANTIATE_TEST_SUITE_P(Link, LinkPacingTest,
                         ::testing::Values(PacingCase{LinkPacing::AsTheyArrive, 0, 0},
                                           PacingCase{LinkPacing::OnTick, 4, 448}),
                         [](const auto& param) { return pacingName(param.param.pacing); });

struct TimeoutCase {
  LinkPacing pacing;
  std::size_t steps;  // reported countdown steps
};

void PrintTo(const TimeoutCase& c, std::ostream* out) {
  *out << pacingName(c.pacing);
}

class LinkTimeoutTest : public ::testing::TestWithParam<TimeoutCase> {};

// A silent server: the link gives up after the reply timeout either way;
// with OnTick the countdown is reported every kTimeoutTickMs, down to 0.
TEST_P(LinkTimeoutTest, SilentServerTimesOut) {
  LinkRig rig(GetParam().pacing);
  if (!rig.server.listening()) {
    GTEST_SKIP() << "cannot listen on port 119 (errno " << rig.server.bindError() << ")";
  }
  rig.server.onConnect(Response::silence());
  rig.link->start();
  ASSERT_TRUE(rig.run.waitFor([&] { return rig.lastState == "Greeting"; }));
  rig.run.advance(kReplyTimeoutMs - 1);
  EXPECT_FALSE(rig.link->isLost());
  rig.run.advance(kReplyTimeoutMs);
  EXPECT_TRUE(rig.link->isLost());
  EXPECT_NE(rig.notes.find("Timeout occurred with news server."), std::string::npos) << rig.notes;
  EXPECT_EQ(rig.link->loss(), PostLink::Loss::TimedOut);
  ASSERT_EQ(rig.timeoutSteps.size(), GetParam().steps);
  if (!rig.timeoutSteps.empty()) {
    EXPECT_EQ(rig.timeoutSteps.front(), (kReplyTimeoutMs - kTimeoutTickMs) / 1000);
    EXPECT_EQ(rig.timeoutSteps.back(), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Link, LinkTimeoutTest,
                         ::testing::Values(TimeoutCase{LinkPacing::AsTheyArrive, 0},
                                           TimeoutCase{LinkPacing::OnTick, kReplyTimeoutMs / kTimeoutTickMs}),
                         [](const auto& param) { return pacingName(param.param.pacing); });

using Next = PostLink::Next;

struct AskCase {
  const char* name;
  std::function<void(NntpServerDouble&)> script;
  std::vector<std::string> questions;
  std::vector<Next> nexts;
  std::vector<std::string> answers;   // every reply line the link handed on
  std::vector<std::string> commands;  // what the server received
};

void PrintTo(const AskCase& c, std::ostream* out) {
  *out << c.name;
}

class AskingLink : public ::testing::TestWithParam<AskCase> {};

// Questions sent together are answered line by line; a header block is read
// to its end; Stop asks nothing more. The link stays connected and idle.
TEST_P(AskingLink, HandsOnEveryReplyLine) {
  const AskCase& c = GetParam();
  LinkRig rig(LinkPacing::AsTheyArrive, true);
  if (!rig.server.listening()) {
    GTEST_SKIP() << "cannot listen on port 119 (errno " << rig.server.bindError() << ")";
  }
  c.script(rig.server);
  rig.questions = c.questions;
  rig.nexts = c.nexts;
  rig.link->start();
  ASSERT_TRUE(rig.run.waitFor([&] { return rig.answers.size() >= c.answers.size() && rig.link->idle(); }));
  EXPECT_EQ(rig.answers, c.answers);
  EXPECT_EQ(rig.server.commands(), c.commands);
  EXPECT_TRUE(rig.link->idle());
}

INSTANTIATE_TEST_SUITE_P(
    Link, AskingLink,
    ::testing::Values(AskCase{"PipelinedStat",
                              [](NntpServerDouble& s) { s.onCommand("stat", Response::reply("223 0 <x@y>")); },
                              {"STAT <a@t>\r\nSTAT <b@t>\r\n", "STAT <c@t>\r\n"},
                              {Next::ReadOn, Next::AskNext, Next::AskNext},
                              {"223 0 <x@y>\r\n", "223 0 <x@y>\r\n", "223 0 <x@y>\r\n"},
                              {"mode reader", "STAT <a@t>", "STAT <b@t>", "STAT <c@t>"}},
                      AskCase{"HeadBlock",
                              [](NntpServerDouble& s) {
                                s.onCommand("head", Response::reply("221 0 <x@y>\r\nSubject: s\r\n."));
                              },
                              {"HEAD <a@t>\r\n"},
                              {Next::ReadOn, Next::ReadOn, Next::AskNext},
                              {"221 0 <x@y>\r\n", "Subject: s\r\n", ".\r\n"},
                              {"mode reader", "HEAD <a@t>"}},
                      AskCase{"Stops",
                              [](NntpServerDouble& s) { s.onCommand("stat", Response::reply("503 fault")); },
                              {"STAT <a@t>\r\n", "STAT <b@t>\r\n"},
                              {Next::Stop},
                              {"503 fault\r\n"},
                              {"mode reader", "STAT <a@t>"}}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace tidewell::test
