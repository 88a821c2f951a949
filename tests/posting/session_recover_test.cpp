// A connection that breaks while an article is under way: with our own
// Message-IDs, the parts the server took are never posted again, and the
// article cut off is asked for with STAT before anything else is posted.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "posting/session_fixture.h"
#include "upload/crc32.h"

namespace tidewell::test {
namespace {

using Script = std::function<void(NntpServerDouble&)>;
using Recovery = SessionTest;

// The part number in the subject: "... (k/3) ...".
int partOf(const std::string& article) {
  const std::string subject = headerOf(article, "Subject");
  int part = 0;
  const std::size_t at = subject.rfind(" (");
  return at != std::string::npos && std::sscanf(subject.c_str() + at, " (%d/", &part) == 1 ? part : 0;
}

constexpr const char* kFoundByStat = "Ok. (2/3 - found on the server by STAT)";

// Three parts; the second one's acknowledgement is lost (`script`).
struct LostAck {
  std::string name;
  Script script;
  std::vector<int> copies = {1, 1, 1};  // copies of parts 1..3 the server keeps in the end
  int ok = 3;                           // "Ok." lines, and "Articles Ok"
  // Part 2's line when it is not the usual acknowledgement (kFoundByStat:
  // it was not posted again).
  const char* part2 = nullptr;
  const char* note = nullptr;  // the report's note on a STAT refused
  bool messageIds = true;
  bool yenc = false;
  bool fast = false;
  std::size_t connections = 2;  // a STAT that times out costs one more
  int links = 1;                // 3: the articles go out over three links at once
  // The script answers articles in the order they arrive: with three links
  // the article after the lost one may be another part.
  bool orderFree = true;
};

void PrintTo(const LostAck& c, std::ostream* out) {
  *out << c.name;
}

class LostAcknowledgement : public SessionTest, public ::testing::WithParamInterface<LostAck> {};

TEST_P(LostAcknowledgement, NoPartIsPostedTwiceUnlessTheServerCannotSay) {
  const LostAck& c = GetParam();
  configure();
  setting("FastPosting", c.fast ? "TRUE" : "FALSE");
  useConnections(c.links);
  if (c.messageIds) {
    setting("MessageIDs", "TRUE");
    setting("NZB", "TRUE");
  }
  const std::string data = patterned(c.yenc ? 2500 : 270);
  setting("Encoding", c.yenc ? "yEnc" : "UUEncode");
  setting("PartSize", c.yenc ? "1000" : "126");
  addFile("a.bin", data);
  c.script(server);
  start();
  session->post();
  // Ticks of 5 s of loop time: the reply timeout (305 s) passes in 61.
  const auto over = [this] { return session->isIdle() && session->outcome() != RunOutcome::NotRun; };
  for (int tick = 0; tick < 200 && !settle(over); ++tick) {
    run.clock.advanceMs(5000);
  }
  ASSERT_TRUE(over());
  EXPECT_EQ(session->outcome(), RunOutcome::Finished);

  std::map<int, std::set<std::string>> ids;
  std::vector<int> copies(3, 0);
  for (const std::string& article : server.storedArticles()) {
    const int part = partOf(article);
    ASSERT_TRUE(part >= 1 && part <= 3) << article.substr(0, 300);
    ++copies[static_cast<std::size_t>(part - 1)];
    ids[part].insert(headerOf(article, "Message-ID"));
    if (c.yenc && part == 3) {  // the whole file's CRC, though the earlier parts were not composed again
      char crc[24];
      std::snprintf(crc, sizeof crc, "crc32=%08x", crc32Update(0, data.data(), data.size()));
      EXPECT_NE(article.find(crc), std::string::npos);
    }
  }
  const std::vector<std::string> lines = reportLines();
  const auto okLines = std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
    return line.find(" a.bin ... Ok. (") != std::string::npos;
  });
  EXPECT_EQ(report().find(c.note != nullptr ? c.note : "would not answer STAT") != std::string::npos,
            c.note != nullptr);
  if (c.links > 1) {
    // Which article loses its acknowledgement is the one that arrives second:
    // the same outcome, whichever part it is. Only that article is posted again.
    std::vector<int> sorted = copies;
    std::sort(sorted.begin(), sorted.end());
    std::vector<int> expected = c.messageIds ? c.copies : std::vector<int>{1, 2, 1};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(sorted, expected);
    EXPECT_EQ(okLines, 3);
    EXPECT_NE(report().find("Articles Ok        : 3\r\nArticles Failed    : 0\r\n"), std::string::npos);
    if (c.part2 != nullptr) {
      const std::string said = std::string(c.part2).substr(8);  // "Ok. (2/3" cut: the part may be another
      EXPECT_EQ(
          std::count_if(lines.begin(), lines.end(), [&](const std::string& line) { return line.ends_with(said); }), 1)
          << report();
    }
    return;
  }
  EXPECT_EQ(copies, c.copies);
  // The new connection starts at the first part not on the server (without ids, at the first).
  ASSERT_EQ(server.connectionCount(), c.connections);
  EXPECT_EQ(partOf(server.connection(c.connections - 1).articles.front()), c.part2 == kFoundByStat  ? 3
                                                                           : c.messageIds || c.fast ? 2
                                                                                                    : 1);

  EXPECT_EQ(okLines, c.ok);
  EXPECT_NE(report().find("Articles Ok        : " + std::to_string(c.ok) + "\r\nArticles Failed    : 0\r\n"),
            std::string::npos);
  if (c.part2 != nullptr) {
    EXPECT_NE(report().find(std::string("001 a.bin ... ") + c.part2 + "\r\n"), std::string::npos);
  }
  std::vector<std::string> stats;
  for (const std::string& command : server.commands()) {
    if (command.rfind("STAT ", 0) == 0) {
      stats.push_back(command);
    }
  }
  // One STAT on each new connection, for the second part's id.
  EXPECT_EQ(stats, std::vector<std::string>(c.messageIds ? c.connections - 1 : 0, "STAT " + *ids[2].begin()));
  if (c.messageIds) {
    std::string nzb;
    static_cast<void>(readWholeFile(session->nzbFileName(), nzb));
    for (int part = 1; part <= 3; ++part) {
      ASSERT_EQ(ids[part].size(), 1U) << "part " << part << " went out under one id";
      const std::string& id = *ids[part].begin();
      std::string segment = id.substr(1, id.size() - 2);  // without its brackets
      segment += "</segment>";
      EXPECT_NE(nzb.find(segment), std::string::npos) << segment;
    }
  }
}

std::vector<LostAck> lostAcks() {
  const auto cutInPartTwo = [](Response cut) {
    return [cut](NntpServerDouble& s) {
      s.onArticleBytes(150, Response::silence(), 1);  // passes over the first part
      s.onArticleBytes(150, cut, 1);
    };
  };
  // The second article arrives whole; its acknowledgement does not. Then
  // the first STAT and the article posted again may be answered otherwise.
  const auto lose = [](Response ending, std::optional<Response> stat = {}, std::optional<Response> again = {}) {
    return [=](NntpServerDouble& s) {
      s.onArticle(Response::reply("240 ok"), 1);
      s.onArticle(ending, 1);
      if (stat) {
        s.onCommand("stat", *stat, 1);
      }
      if (again) {
        s.onArticle(*again, 1);
      }
    };
  };
  const Response refuse = Response::reply("500 What?");
  const char* refused = "The server would not answer STAT (500 What?): <";
  std::vector<LostAck> table{
      // STAT 223: the article is there and is not posted again.
      {.name = "ResetAfterPartTwo", .script = lose(Response::reset()), .part2 = kFoundByStat},
      {.name = "CloseAfterPartTwo", .script = lose(Response::close()), .part2 = kFoundByStat},
      {.name = "TimeoutAfterPartTwo", .script = lose(Response::silence()), .part2 = kFoundByStat},
      {.name = "YencResetAfterPartTwo", .script = lose(Response::reset()), .part2 = kFoundByStat, .yenc = true},
      // A STAT without answer times out like any command; the next connection asks again.
      {.name = "StatUnanswered",
       .script = lose(Response::reset(), Response::silence()),
       .part2 = kFoundByStat,
       .connections = 3},
      // STAT 430: cut off while the second part was under way, the server never had it.
      {.name = "ResetInPartTwo", .script = cutInPartTwo(Response::reset())},
      {.name = "CloseInPartTwo", .script = cutInPartTwo(Response::close())},
      {.name = "YencResetInPartTwo", .script = cutInPartTwo(Response::reset()), .yenc = true},
      // A server that says 430 for what it has gets it twice, under one id.
      {.name = "TimeoutStatNotFound",
       .script = lose(Response::silence(), Response::reply("430 No such article")),
       .copies = {1, 2, 1}},
      // STAT refused: posted again, with a note ...
      {.name = "ResetStatRefused", .script = lose(Response::reset(), refuse), .copies = {1, 2, 1}, .note = refused},
      {.name = "CloseStatRefused", .script = lose(Response::close(), refuse), .copies = {1, 2, 1}, .note = refused},
      {.name = "TimeoutStatRefused", .script = lose(Response::silence(), refuse), .copies = {1, 2, 1}, .note = refused},
      // ... unless the server refuses the second copy by its id: it has the article.
      {.name = "StatRefusedDuplicateRefused",
       .script = lose(Response::reset(), refuse, Response::reply("441 435 Duplicate")),
       .part2 = "Ok. (2/3 - already on the server: 441 435 Duplicate)",
       .note = refused,
       .orderFree = false},
      // Without Message-IDs the file is posted again from its first part.
      {.name = "NoMessageIds", .script = lose(Response::reset()), .copies = {2, 2, 1}, .ok = 4, .messageIds = false},
  };
  std::vector<LostAck> all;
  for (LostAck c : table) {
    all.push_back(c);
    c.name += "Fast";
    c.fast = true;
    if (!c.messageIds) {
      c.copies = {1, 2, 1};  // a link posts again only the article it held
      c.ok = 3;
    }
    all.push_back(c);
    if (c.orderFree) {
      c.name += "ThreeLinks";
      c.links = 3;
      all.push_back(c);
    }
  }
  return all;
}

INSTANTIATE_TEST_SUITE_P(Breaks, LostAcknowledgement, ::testing::ValuesIn(lostAcks()),
                         [](const auto& param) { return param.param.name; });

// The last part's acknowledgement is lost and STAT finds it: the file is
// done without posting anything of it again, and the next file keeps the
// numbering of the lines.
using LastPartFound = SessionOnLinks;

TEST_P(LastPartFound, TheFileIsDone) {
  configure();
  useConnections(GetParam());
  setting("MessageIDs", "TRUE");
  addFile("a.bin", "first");
  addFile("b.bin", "second");
  server.onArticle(Response::reset(), 1);
  start();
  ASSERT_TRUE(postAndWait());
  EXPECT_EQ(session->outcome(), RunOutcome::Finished);
  EXPECT_EQ(server.storedArticles().size(), 2U);
  EXPECT_EQ(server.articles().size(), 2U);  // nothing posted again
  const std::vector<std::string>& lines = display.fileLines;
  if (GetParam() > 1) {  // a line comes with its outcome; the article cut off may be either file's
    ASSERT_EQ(lines.size(), 2U);
    EXPECT_EQ(lines[0].substr(0, 19), "001 a.bin ... Ok. (");
    EXPECT_EQ(lines[1].substr(0, 19), "002 b.bin ... Ok. (");
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) { return line.ends_with("found on the server by STAT)"); }),
              1);
  } else {
    EXPECT_EQ(server.connection(1).articles.size(), 1U);  // b.bin alone
    ASSERT_EQ(lines.size(), 4U);
    EXPECT_EQ(lines[0], "001 a.bin ... Interrupted.");
    EXPECT_EQ(lines[2], "001 a.bin ... Ok. (1/1 - found on the server by STAT)");
    EXPECT_EQ(lines[3].substr(0, 19), "002 b.bin ... Ok. (");
  }
  EXPECT_NE(report().find("Total Articles     : 2\r\nArticles Ok        : 2\r\nArticles Failed    : 0\r\n"),
            std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Connections, LastPartFound, ::testing::Values(1, 3));

}  // namespace
}  // namespace tidewell::test
