// A connection that breaks while an article is under way: with our own
// Message-IDs, the parts the server took are never posted again, and the
// article cut off is asked for with STAT before anything else is posted.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
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

std::string headerOf(const std::string& article, const std::string& name) {
  const std::size_t at = article.find("\r\n" + name + ": ");
  if (at == std::string::npos) {
    return {};
  }
  const std::size_t start = at + name.size() + 4;
  return article.substr(start, article.find("\r\n", start) - start);
}

// The part number in the subject: "... (k/3) ...".
int partOf(const std::string& article) {
  const std::string subject = headerOf(article, "Subject");
  int part = 0;
  const std::size_t at = subject.rfind(" (");
  return at != std::string::npos && std::sscanf(subject.c_str() + at, " (%d/", &part) == 1 ? part : 0;
}

std::string patterned(std::size_t size) {
  std::string data(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    data[i] = static_cast<char>(i * 131 + i / 7);
  }
  return data;
}

constexpr const char* kFoundByStat = "Ok. (2/3 - found on the server by STAT)";

// Three parts; the second one's acknowledgement is lost (`script`).
struct LostAck {
  std::string name;
  Script script;
  std::vector<int> copies;  // copies of parts 1..3 the server keeps in the end
  int ok = 3;               // "Ok." lines, and "Articles Ok"
  // Part 2's line when it is not the usual acknowledgement (kFoundByStat:
  // it was not posted again).
  const char* part2 = nullptr;
  const char* note = nullptr;  // the report's note on a STAT refused
  bool messageIds = true;
  bool yenc = false;
  bool fast = false;
};

void PrintTo(const LostAck& c, std::ostream* out) {
  *out << c.name;
}

class LostAcknowledgement : public SessionTest, public ::testing::WithParamInterface<LostAck> {};

TEST_P(LostAcknowledgement, NoPartIsPostedTwiceUnlessTheServerCannotSay) {
  const LostAck& c = GetParam();
  configure();
  setting("FastPosting", c.fast ? "TRUE" : "FALSE");
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
  EXPECT_EQ(copies, c.copies);
  // The new connection starts at the first part not on the server (without ids, at the first).
  ASSERT_EQ(server.connectionCount(), 2U);
  EXPECT_EQ(partOf(server.connection(1).articles.front()), c.part2 == kFoundByStat ? 3 : c.messageIds ? 2 : 1);

  const std::vector<std::string> lines = reportLines();
  const auto okLines = std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
    return line.find(" a.bin ... Ok. (") != std::string::npos;
  });
  EXPECT_EQ(okLines, c.ok);
  EXPECT_NE(report().find("Articles Ok        : " + std::to_string(c.ok) + "\r\nArticles Failed    : 0\r\n"),
            std::string::npos);
  if (c.part2 != nullptr) {
    EXPECT_NE(report().find(std::string("001 a.bin ... ") + c.part2 + "\r\n"), std::string::npos);
  }
  EXPECT_EQ(report().find(c.note != nullptr ? c.note : "would not answer STAT") != std::string::npos,
            c.note != nullptr);
  std::vector<std::string> stats;
  for (const std::string& command : server.commands()) {
    if (command.rfind("STAT ", 0) == 0) {
      stats.push_back(command);
    }
  }
  EXPECT_EQ(stats, c.messageIds ? std::vector<std::string>{"STAT " + *ids[2].begin()} : std::vector<std::string>{});
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
  // The second article arrives whole; its acknowledgement does not.
  const auto lose = [](Response ending, const char* statReply = nullptr) {
    return [ending, statReply](NntpServerDouble& s) {
      s.onArticle(Response::reply("240 ok"), 1);
      s.onArticle(ending, 1);
      if (statReply != nullptr) {
        s.onCommand("stat", Response::reply(statReply), 1);
      }
    };
  };
  const char* refused = "The server would not answer STAT (500 What?): <";
  std::vector<LostAck> table{
      // STAT 223: the article is there and is not posted again.
      {"ResetAfterPartTwo", lose(Response::reset()), {1, 1, 1}, 3, kFoundByStat},
      {"CloseAfterPartTwo", lose(Response::close()), {1, 1, 1}, 3, kFoundByStat},
      {"TimeoutAfterPartTwo", lose(Response::silence()), {1, 1, 1}, 3, kFoundByStat},
      {"YencResetAfterPartTwo", lose(Response::reset()), {1, 1, 1}, 3, kFoundByStat, nullptr, true, true},
      // STAT 430: cut off while the second part was under way, the server never had it.
      {"ResetInPartTwo", cutInPartTwo(Response::reset()), {1, 1, 1}},
      {"CloseInPartTwo", cutInPartTwo(Response::close()), {1, 1, 1}},
      {"YencResetInPartTwo", cutInPartTwo(Response::reset()), {1, 1, 1}, 3, nullptr, nullptr, true, true},
      // A server that says 430 for what it has gets it twice, under one id.
      {"TimeoutStatNotFound", lose(Response::silence(), "430 No such article"), {1, 2, 1}},
      // STAT refused: posted again, with a note.
      {"ResetStatRefused", lose(Response::reset(), "500 What?"), {1, 2, 1}, 3, nullptr, refused},
      {"CloseStatRefused", lose(Response::close(), "500 What?"), {1, 2, 1}, 3, nullptr, refused},
      {"TimeoutStatRefused", lose(Response::silence(), "500 What?"), {1, 2, 1}, 3, nullptr, refused},
      // ... unless the server refuses the second copy by its id: it has the article.
      {"StatRefusedDuplicateRefused",
       [lose](auto& s) {
         lose(Response::reset(), "500 What?")(s);
         s.onArticle(Response::reply("441 435 Duplicate"), 1);
       },
       {1, 1, 1},
       3,
       "Ok. (2/3 - already on the server: 441 435 Duplicate)",
       refused},
      // Without Message-IDs the file is posted again from its first part.
      {"NoMessageIds",
       [](auto& s) {
         s.onArticle(Response::reply("240 ok"), 1);
         s.onArticle(Response::reset(), 1);
       },
       {2, 2, 1},
       4,
       nullptr,
       nullptr,
       false},
  };
  std::vector<LostAck> both;
  for (LostAck c : table) {
    both.push_back(c);
    c.name += "Fast";
    c.fast = true;
    both.push_back(c);
  }
  return both;
}

INSTANTIATE_TEST_SUITE_P(Breaks, LostAcknowledgement, ::testing::ValuesIn(lostAcks()),
                         [](const auto& param) { return param.param.name; });

// The last part's acknowledgement is lost and STAT finds it: the file is
// done without posting anything of it again, and the next file keeps the
// numbering of the lines.
TEST_F(Recovery, AFileWhoseLastPartIsFoundIsDone) {
  configure();
  setting("MessageIDs", "TRUE");
  addFile("a.bin", "first");
  addFile("b.bin", "second");
  server.onArticle(Response::reset(), 1);
  start();
  ASSERT_TRUE(postAndWait());
  EXPECT_EQ(session->outcome(), RunOutcome::Finished);
  EXPECT_EQ(server.storedArticles().size(), 2U);
  EXPECT_EQ(server.connection(1).articles.size(), 1U);  // b.bin alone
  const std::vector<std::string>& lines = display.fileLines;
  ASSERT_EQ(lines.size(), 4U);
  EXPECT_EQ(lines[0], "001 a.bin ... Interrupted.");
  EXPECT_EQ(lines[2], "001 a.bin ... Ok. (1/1 - found on the server by STAT)");
  EXPECT_EQ(lines[3].substr(0, 19), "002 b.bin ... Ok. (");
  EXPECT_NE(report().find("Total Articles     : 2\r\nArticles Ok        : 2\r\nArticles Failed    : 0\r\n"),
            std::string::npos);
}

}  // namespace
}  // namespace tidewell::test
