// Connections=N with FastPosting: several connections post the list's
// articles at once; the report keeps one line per article in list order,
// and a lost acknowledgement is asked for with STAT, never posted twice.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>

#include "posting/session_fixture.h"

namespace tidewell::test {
namespace {

using Script = std::function<void(NntpServerDouble&)>;

// "NNN name ... Ok. (k/n" of the report's article lines, in order.
std::vector<std::string> articleLines(const std::vector<std::string>& lines) {
  std::vector<std::string> found;
  for (const std::string& line : lines) {
    const std::size_t at = line.find(" ... ");
    if (line.rfind("HH:MM:SS ", 0) == 0 && at != std::string::npos) {
      const std::size_t cut = line.find(" - ", at);
      found.push_back(line.substr(9, cut == std::string::npos ? std::string::npos : cut - 9));
    }
  }
  return found;
}

std::vector<std::string> expectedLines(int parts) {
  std::vector<std::string> lines;
  for (int k = 1; k <= parts; ++k) {
    lines.push_back("001 a.bin ... Ok. (" + std::to_string(k) + "/" + std::to_string(parts));
  }
  return lines;
}

bool reportHas(const std::vector<std::string>& lines, std::string_view text) {
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) { return line.find(text) != line.npos; });
}

struct ParallelCase {
  std::string name;
  Script script;
  std::size_t articlesOnServer;  // articles the server received, all of them
  std::size_t distinct;          // articles the server keeps (distinct Message-IDs)
  std::string note;              // a report line that must be there; empty: none
  long stats = 0;                // STAT commands sent
};

class Parallel : public SessionTest, public ::testing::WithParamInterface<ParallelCase> {};

constexpr int kParts = 10;

TEST_P(Parallel, ArticlesInListOrderEachOnce) {
  const ParallelCase& c = GetParam();
  configure();
  setting("FastPosting", "TRUE");
  setting("Connections", "3");
  setting("MessageIDs", "TRUE");
  setting("PartSize", "630");  // ten lines, 450 source bytes, a part
  addFile("a.bin", patterned(450 * kParts));
  c.script(server);
  start();
  ASSERT_TRUE(postAndWait());
  EXPECT_EQ(session->outcome(), RunOutcome::Finished);
  const std::vector<std::string> lines = reportLines();
  EXPECT_EQ(articleLines(lines), expectedLines(kParts));
  EXPECT_TRUE(reportHas(lines, "Articles Ok        : 10"));
  if (!c.note.empty()) {
    EXPECT_TRUE(reportHas(lines, c.note)) << report();
  }
  const std::vector<std::string> articles = server.articles();
  EXPECT_EQ(articles.size(), c.articlesOnServer);
  EXPECT_EQ(std::set<std::string>(articles.begin(), articles.end()).size(), c.distinct);
  // The articles went out over more than one connection.
  std::size_t posting = 0;
  for (std::size_t i = 0; i < server.connectionCount(); ++i) {
    posting += server.connection(i).articles.empty() ? 0 : 1;
  }
  EXPECT_GE(posting, 2U);
  const std::vector<std::string> commands = server.commands();
  EXPECT_EQ(std::count_if(commands.begin(), commands.end(),
                          [](const std::string& line) { return line.starts_with("STAT <"); }),
            c.stats);
  if (::testing::Test::HasFailure()) {
    ADD_FAILURE() << report();
  }
}

std::vector<ParallelCase> parallelCases() {
  return {
      {"ThreeConnections", [](auto&) {}, kParts, kParts, "Posting with 3 connections."},
      // The first acknowledgement is lost: STAT finds the article, and it is
      // not posted again.
      {"AckLostFoundByStat", [](auto& s) { s.onArticle(Response::reset(), 1); }, kParts, kParts,
       "Attempting Reconnection.", 1},
      // Not found: posted again under the same id (the server keeps one).
      {"AckLostNotFound",
       [](auto& s) {
         s.onArticle(Response::reset(), 1);
         s.onCommand("STAT", Response::reply("430 No such article"));
       },
       kParts + 1, kParts, "", 1},
      {"AckLostStatRefused",
       [](auto& s) {
         s.onArticle(Response::reset(), 1);
         s.onCommand("STAT", Response::reply("500 What?"));
       },
       kParts + 1, kParts, "would not answer STAT (500 What?): <", 1},
      // One connection is refused for good; the others do its work.
      {"OneConnectionRefused", [](auto& s) { s.onConnect(Response::reply("502 No posting for you"), 1); }, kParts,
       kParts, "failed: 502 No posting for you  The other connections take over its work."},
  };
}

INSTANTIATE_TEST_SUITE_P(Session, Parallel, ::testing::ValuesIn(parallelCases()),
                         [](const auto& param) { return param.param.name; });

// Every link connects through the host connector: an IPv6 host is reached
// by several connections as by one, and a host that is not of the address
// family asked for stops the run before any link connects.
struct HostCase {
  const char* name;
  bool ipv6;
  const char* family;
  RunOutcome outcome;
  const char* note;
};

class SeveralConnectionsHost : public SessionTest, public ::testing::WithParamInterface<HostCase> {};

TEST_P(SeveralConnectionsHost, ReachTheServerOrSayWhyNot) {
  const HostCase& c = GetParam();
  if (c.ipv6 && !server.listenOnIpv6Loopback()) {
    GTEST_SKIP() << "no ::1 on this machine (errno " << server.bindError() << ")";
  }
  configure();
  useConnections(3);
  setting("AddressFamily", c.family);
  setting("PartSize", "630");
  addFile("a.bin", patterned(450 * kParts));
  start();
  ASSERT_TRUE(postAndWait());
  EXPECT_EQ(session->outcome(), c.outcome);
  const std::vector<std::string> lines = reportLines();
  EXPECT_TRUE(reportHas(lines, c.note)) << report();
  if (c.outcome == RunOutcome::Finished) {
    EXPECT_EQ(articleLines(lines), expectedLines(kParts));
    EXPECT_EQ(server.articles().size(), static_cast<std::size_t>(kParts));
  } else {
    EXPECT_EQ(server.connectionCount(), 0U);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Session, SeveralConnectionsHost,
    ::testing::Values(HostCase{"Ipv6", true, "Any", RunOutcome::Finished, "Posting with 3 connections."},
                      HostCase{"Ipv6Only", true, "IPv6", RunOutcome::Finished, "Posting with 3 connections."},
                      HostCase{"NotOfTheFamily", false, "IPv6", RunOutcome::EndedWithoutFinishing,
                               "The HOST is not an address of the ADDRESS FAMILY.  Configure with SETTINGS."}),
    [](const auto& param) { return std::string(param.param.name); });

// Every link refused: the run ends, each refusal reported once, and each
// file not posted has one line, as the default mode's connection lists them
// when its reconnections are spent.
TEST_F(SessionTest, EveryConnectionRefusedEndsTheRun) {
  struct Case {
    const char* connections;
    std::size_t parts;  // of a.bin: with 2 and three links, every article is composed when they fail
  };
  for (const Case& c : {Case{"1", kParts}, Case{"3", 2}}) {
    const char* const connections = c.connections;
    SCOPED_TRACE(connections);
    configure();
    setting("FastPosting", "TRUE");
    setting("Connections", connections);
    setting("PartSize", "630");
    addFile("a.bin", patterned(450 * c.parts));
    addFile("b.bin", patterned(450));
    server.onConnect(Response::reply("502 No posting for you"));
    const std::size_t before = server.connectionCount();
    start();
    ASSERT_TRUE(postAndWait());
    EXPECT_EQ(session->outcome(), RunOutcome::EndedWithoutFinishing);
    EXPECT_EQ(server.connectionCount() - before, std::stoul(connections));
    EXPECT_TRUE(server.articles().empty());
    const std::vector<std::string> lines = reportLines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) { return line.find(" failed: 502 ") != line.npos; }),
              std::stol(connections));
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
      return line == "HH:MM:SS Error Experienced.  Every connection failed.";  // stamped like every such line
    }));
    EXPECT_EQ(articleLines(lines),
              (std::vector<std::string>{"001 a.bin ... Failed.  [Not posted]", "002 b.bin ... Failed.  [Not posted]"}));
    session.reset();
  }
}

// With Logging on, every link's dialogue is in LOGGIT.TXT, each line marked
// with its link, the password masked, the file its owner's alone.
TEST_F(SessionTest, EveryLinkLogsItsDialogue) {
  configure();
  setting("FastPosting", "TRUE");
  setting("Connections", "3");
  setting("Logging", "TRUE");
  setting("Username", "tester");
  setting("Password", "s3cret-word");
  setting("PartSize", "630");
  addFile("a.bin", patterned(450 * kParts));
  start();
  std::map<int, std::vector<std::string>> linkStates;
  session->setLinkTrace([&](int link, std::string_view state) { linkStates[link].emplace_back(state); });
  ASSERT_TRUE(postAndWait());
  const std::string log = readFile("LOGGIT.TXT");
  for (const std::string mark : {"[1] ", "[2] ", "[3] "}) {
    for (const std::string line : {"authinfo user tester\r\n", "authinfo pass ********\r\n", "< 281 ",
                                   "mode reader\r\n", "post\r\n", "< 240 "}) {
      EXPECT_NE(log.find(mark + line), std::string::npos) << mark << line;
    }
  }
  EXPECT_EQ(log.find("s3cret-word"), std::string::npos);
  // Each link went through the whole dialogue, its states traced.
  for (int link = 1; link <= 3; ++link) {
    const std::vector<std::string>& states = linkStates[link];
    ASSERT_GE(states.size(), 6U) << link;
    EXPECT_EQ(std::vector<std::string>(states.begin(), states.begin() + 6),
              (std::vector<std::string>{"Connecting", "Greeting", "User", "Pass", "Mode", "Ready"}))
        << link;
  }
  struct stat info {};
  ASSERT_EQ(stat("LOGGIT.TXT", &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600U);
}

// A run reconnects at most three times, whatever its number of connections:
// links that break once the three are spent fail for good, and when every
// link has failed the run ends.
TEST_F(SessionTest, ThreeReconnectionsPerRunWhateverTheConnections) {
  configure();
  setting("FastPosting", "TRUE");
  setting("Connections", "3");
  setting("PartSize", "630");
  addFile("a.bin", patterned(450 * kParts));
  server.onArticle(Response::reset());
  start();
  ASSERT_TRUE(postAndWait());
  EXPECT_EQ(session->outcome(), RunOutcome::EndedWithoutFinishing);
  EXPECT_EQ(server.connectionCount(), 6U);
  const std::string text = report();
  const auto count = [&text](std::string_view what) {
    std::size_t found = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
      ++found;
    }
    return found;
  };
  EXPECT_EQ(count("Attempting Reconnection."), 3U);
  EXPECT_EQ(count("Maximum Reconnects Failed."), 3U);
  EXPECT_EQ(count("Every connection failed."), 1U);
}

// Stop while every link waits for an acknowledgement: the links are closed
// and the session is idle at once.
TEST_F(SessionTest, StopEndsEveryConnection) {
  configure();
  setting("FastPosting", "TRUE");
  setting("Connections", "3");
  setting("PartSize", "630");
  addFile("a.bin", patterned(450 * kParts));
  server.onArticle(Response::silence());
  start();
  session->post();
  ASSERT_TRUE(settle([this] { return server.articles().size() == 3; }));
  session->stopOrQuit();
  EXPECT_TRUE(session->isIdle());
  EXPECT_TRUE(settle([this] { return server.openConnections() == 0; }));
  EXPECT_EQ(session->outcome(), RunOutcome::EndedWithoutFinishing);
}

// Connections=1 with FastPosting (a pool of one link), or several without
// it (the default mode's one connection): one connection either way; the
// second says once that it uses one connection.
TEST_F(SessionTest, OneConnectionUnlessFastPosting) {
  struct Case {
    const char* connections;
    const char* fast;
    bool note;
  };
  for (const Case& c : {Case{"1", "TRUE", false}, Case{"4", "FALSE", true}}) {
    SCOPED_TRACE(c.connections);
    configure();
    setting("FastPosting", c.fast);
    setting("Connections", c.connections);
    setting("PartSize", "630");
    addFile("a.bin", patterned(450 * 3));
    const std::size_t before = server.connectionCount();
    start();
    ASSERT_TRUE(postAndWait());
    EXPECT_EQ(server.connectionCount() - before, 1U);
    EXPECT_EQ(articleLines(reportLines()), expectedLines(3));
    const std::string text = report();
    const std::string note = "Connections=4 needs FastPosting=TRUE: this run uses one connection.";
    EXPECT_EQ(text.find(note) != std::string::npos, c.note);
    EXPECT_EQ(text.find(note), text.rfind(note));
    session.reset();
  }
}

}  // namespace
}  // namespace tidewell::test
