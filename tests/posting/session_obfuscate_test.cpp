// Obfuscate=TRUE: nothing the server keeps names the files, the upload or
// the poster; the NZB and the report keep the real names.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "platform/text.h"
#include "posting/session_fixture.h"

namespace tidewell::test {
namespace {

using ObfuscatedSession = SessionTest;

// On one connection and on three, with settings full of identifying text:
// the articles carry random text alone, the NZB and the report the names.
TEST_F(ObfuscatedSession, NoArticleNamesTheFilesOrThePoster) {
  const std::map<std::string, std::size_t> files = {
      {"Holiday Photos 2026.JPG", 4000}, {"Quarterly Ledger.ods", 3000}, {"Wedding Speech Draft", 2000}};
  const struct {
    int connections;
    const char* domain;  // MessageIDDomain; the usual one is replaced
    const char* idPattern;
  } cases[] = {{1, "tidewell.invalid", "<[-_A-Za-z0-9]{24}@[a-z2-7]{8}\\.net>"},
               {3, "ids.example.net", "<[-_A-Za-z0-9]{24}@ids\\.example\\.net>"},
               {1, "bad domain", "<[-_A-Za-z0-9]{24}@[a-z2-7]{8}\\.net>"}};
  for (const auto& [name, size] : files) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
      data[i] = static_cast<char>(i * 31 + name.size());
    }
    addFile(name, data);
  }
  std::set<std::string> runFroms;  // each run makes its own
  for (const auto& c : cases) {
    SCOPED_TRACE(c.connections);
    configure();
    useConnections(c.connections);
    setting("Encoding", "yEnc");
    setting("NZB", "TRUE");
    setting("Obfuscate", "TRUE");
    setting("PartSize", "1000");
    setting("MessageIDDomain", c.domain);
    setting("Subject", "Secret Voyage Upload");
    setting("From", "Alice Realname <alice@realmail.example>");
    setting("Organization", "The Usenet Upload Circle");
    setting("ReplyTo", "replyhere@realmail.example");
    setting("BodyComment", "a comment");
    setting("ShowCount", "TRUE");
    const std::size_t before = server.articles().size();
    start();
    ASSERT_TRUE(postAndWait());
    ASSERT_EQ(session->outcome(), RunOutcome::Finished);
    const std::vector<std::string> all = server.articles();
    const std::vector<std::string> articles(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
    ASSERT_EQ(articles.size(), 9U);

    const std::regex shape(std::string("From: ([a-z2-7]{10}@[a-z2-7]{8}\\.com)\r\nSubject: ([a-z2-7]{32})\r\n"
                                       "Newsgroups: alt\\.test\r\nMessage-ID: ") +
                           c.idPattern +
                           "\r\n\r\n=ybegin part=\\d+ total=\\d+ line=128 size=\\d+ name=([a-z2-7]{24})\r\n");
    std::set<std::string> subjects;
    std::set<std::string> froms;
    std::map<std::string, std::size_t> partsByName;
    for (const std::string& article : articles) {
      std::smatch match;
      ASSERT_TRUE(std::regex_search(article, match, shape, std::regex_constants::match_continuous))
          << article.substr(0, 400);
      froms.insert(match[1]);
      subjects.insert(match[2]);
      ++partsByName[match[3]];
    }
    EXPECT_EQ(subjects.size(), articles.size());
    ASSERT_EQ(froms.size(), 1U);
    const std::string from = *froms.begin();
    EXPECT_TRUE(runFroms.insert(from).second);
    // One name for all the parts of a file, another for every file.
    std::multiset<std::size_t> partCounts;
    for (const auto& [name, count] : partsByName) {
      partCounts.insert(count);
    }
    EXPECT_EQ(partCounts, (std::multiset<std::size_t>{2, 3, 4}));

    std::string nzb;
    ASSERT_EQ(readWholeFile(session->nzbFileName(), nzb), FileRead::Read);
    EXPECT_NE(nzb.find("poster=\"" + from + "\""), std::string::npos);
    EXPECT_EQ(nzb.find("Alice"), std::string::npos);
    for (const auto& [name, size] : files) {
      const std::string entry = "subject=\"&quot;" + name + "&quot; yEnc (1/" + std::to_string(size / 1000) + ")\"";
      EXPECT_NE(nzb.find(entry), std::string::npos) << entry;
    }
    const std::string reportText = report();
    EXPECT_NE(reportText.find("Obfuscated: the server gets random subjects"), std::string::npos);
    EXPECT_NE(reportText.find("Obfuscate=TRUE without Par2=TRUE"), std::string::npos);
    EXPECT_NE(reportText.find(toLowerAscii("Holiday Photos 2026.JPG")), std::string::npos);
  }
}

// Obfuscation is a yEnc disguise: with uuencode (the file edited by hand)
// the run is refused before anything is posted.
TEST_F(ObfuscatedSession, WithoutYencTheRunIsRefused) {
  for (const char* encoding : {"uuencode", ""}) {
    SCOPED_TRACE(encoding);
    configure();
    setting("Encoding", encoding);
    setting("Obfuscate", "TRUE");
    addFile("Private Name.bin", "payload");
    start();
    ASSERT_TRUE(postAndWait());
    EXPECT_EQ(session->outcome(), RunOutcome::EndedWithoutFinishing);
    EXPECT_TRUE(server.articles().empty());
    EXPECT_NE(report().find("Obfuscate=TRUE needs Encoding=yEnc"), std::string::npos) << report();
  }
}

}  // namespace
}  // namespace tidewell::test
