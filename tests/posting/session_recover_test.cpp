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

// Three parts; the second one's acknowledgement is lost (`script`).
struct LostAck {
  std::string name;
  Script script;
  std::vector<int> copies;  // copies of parts 1..3 the server keeps in the end
  int ok = 3;               // "Ok." lines, and "Articles Ok"
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
  ASSERT_TRUE(postAndWait());
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
  // The new connection starts at the second part (or, without ids, the first).
  ASSERT_EQ(server.connectionCount(), 2U);
  EXPECT_EQ(partOf(server.connection(1).articles.front()), c.messageIds ? 2 : 1);

  const std::vector<std::string> lines = reportLines();
  const auto okLines = std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
    return line.find(" a.bin ... Ok. (") != std::string::npos;
  });
  EXPECT_EQ(okLines, c.ok);
  EXPECT_NE(report().find("Articles Ok        : " + std::to_string(c.ok) + "\r\nArticles Failed    : 0\r\n"),
            std::string::npos);
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
  std::vector<LostAck> table{
      // Cut off while the second part was under way: the server never had it.
      {"ResetInPartTwo", cutInPartTwo(Response::reset()), {1, 1, 1}},
      {"CloseInPartTwo", cutInPartTwo(Response::close()), {1, 1, 1}},
      {"YencResetInPartTwo", cutInPartTwo(Response::reset()), {1, 1, 1}, 3, true, true},
      // Without Message-IDs the file is posted again from its first part.
      {"NoMessageIds",
       [](auto& s) {
         s.onArticle(Response::reply("240 ok"), 1);
         s.onArticle(Response::reset(), 1);
       },
       {2, 2, 1},
       4,
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

}  // namespace
}  // namespace tidewell::test
