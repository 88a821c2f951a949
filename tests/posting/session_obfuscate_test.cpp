// Obfuscate=TRUE: nothing the server keeps names the files, the upload or
// the poster; the NZB and the report keep the real names.
#include <gtest/gtest.h>

#include <algorithm>
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

// Everything of an article but its yEnc data lines: the header block and
// the =ybegin, =ypart and =yend lines.
std::string visibleText(const std::string& article) {
  const std::size_t bodyStart = article.find("\r\n\r\n");
  std::string text = article.substr(0, bodyStart);
  for (const char* keyword : {"\r\n=ybegin ", "\r\n=ypart ", "\r\n=yend "}) {
    const std::size_t at = article.find(keyword, bodyStart);
    if (at != std::string::npos) {
      text += article.substr(at, article.find("\r\n", at + 2) - at);
    }
  }
  return text;
}

std::vector<std::string> headerNames(const std::string& article) {
  std::vector<std::string> names;
  const std::string block = article.substr(0, article.find("\r\n\r\n"));
  for (std::size_t at = 0; at < block.size(); at = block.find("\r\n", at) + 2) {
    names.push_back(block.substr(at, block.find(':', at) - at));
    if (block.find("\r\n", at) == std::string::npos) {
      break;
    }
  }
  return names;
}

std::string yencName(const std::string& article) {
  const std::size_t at = article.find(" name=", article.find("=ybegin ")) + 6;
  return article.substr(at, article.find("\r\n", at) - at);
}

// On one connection and on three: every text the server keeps is scanned
// for anything of the files' names or the settings.
TEST_F(ObfuscatedSession, NoArticleNamesTheFilesOrThePoster) {
  const std::map<std::string, std::size_t> files = {
      {"Holiday Photos 2026.JPG", 4000}, {"Quarterly Ledger.ods", 3000}, {"Wedding Speech Draft", 2000}};
  const std::vector<std::string> secrets = {"holiday",  "photos",    "quarterly", "ledger",   "wedding",
                                            "speech",   "draft",     "jpg",       "ods",      "Alice",
                                            "Realname", "realmail",  "Secret",    "Voyage",   "Upload",
                                            "Circle",   "replyhere", "comment",   "tidewell", "Post-Count"};
  const struct {
    int connections;
    const char* domain;  // MessageIDDomain; the usual one is replaced
    const char* idPattern;
  } cases[] = {{1, "tidewell.invalid", "<[-_A-Za-z0-9]{24}@[a-z2-7]{8}\\.net>"},
               {3, "ids.example.net", "<[-_A-Za-z0-9]{24}@ids\\.example\\.net>"}};
  for (const auto& [name, size] : files) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
      data[i] = static_cast<char>(i * 31 + name.size());
    }
    addFile(name, data);
  }
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

    std::set<std::string> subjects;
    std::set<std::string> froms;
    std::map<std::string, std::size_t> partsByName;
    for (const std::string& article : articles) {
      const std::string visible = toLowerAscii(visibleText(article));
      for (const std::string& secret : secrets) {
        ASSERT_EQ(visible.find(toLowerAscii(secret)), std::string::npos) << secret << " in\n" << visible;
      }
      ASSERT_EQ(headerNames(article), (std::vector<std::string>{"From", "Subject", "Newsgroups", "Message-ID"}));
      ASSERT_TRUE(std::regex_match(headerOf(article, "Subject"), std::regex("[a-z2-7]{32}")));
      ASSERT_TRUE(std::regex_match(headerOf(article, "Message-ID"), std::regex(c.idPattern)));
      ASSERT_TRUE(std::regex_match(yencName(article), std::regex("[a-z2-7]{24}"))) << visibleText(article);
      ASSERT_NE(article.find("\r\n\r\n=ybegin "), std::string::npos);  // no comment before the yEnc text
      subjects.insert(headerOf(article, "Subject"));
      froms.insert(article.substr(6, article.find("\r\n") - 6));  // the first header: "From: ..."
      ++partsByName[yencName(article)];
    }
    EXPECT_EQ(subjects.size(), articles.size());
    ASSERT_EQ(froms.size(), 1U);
    const std::string from = *froms.begin();
    EXPECT_TRUE(std::regex_match(from, std::regex("[a-z2-7]{10}@[a-z2-7]{8}\\.com")));
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
