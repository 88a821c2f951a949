// A run with Encoding=yEnc, our own Message-IDs and the NZB: what goes on
// the wire, and that the NZB names exactly the articles the server took.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "posting/session_fixture.h"

namespace tidewell::test {
namespace {

using YencSession = SessionTest;

// The bytes of the yEnc lines between =ypart and =yend, decoded.
std::string yencData(const std::string& article) {
  std::string data;
  std::size_t at = article.find("\r\n", article.find("=ypart ")) + 2;
  const std::size_t end = article.find("=yend ");
  for (; at < end; ++at) {
    char c = article[at];
    if (c == '\r' || c == '\n') {
      continue;
    }
    if (c == '=') {
      c = static_cast<char>(article[++at] - 64);
    }
    data += static_cast<char>(c - 42);
  }
  return data;
}

std::string nzbText(const PostingSession& session) {
  std::string text;
  static_cast<void>(readWholeFile(session.nzbFileName(), text));
  return text;
}

TEST_F(YencSession, PartsTextFileAndNzbFollowWhatWasPosted) {
  configure();
  setting("Encoding", "yEnc");
  setting("NZB", "TRUE");  // brings Message-IDs with it
  setting("PartSize", "1000");
  setting("LineLength", "64");
  setting("Subject", "Q&A <\"x\">");
  setting("Newsgroup", "alt.test, tidewell.test");
  setting("BodyComment", "comment");
  std::string data(2500, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) {
    data[i] = static_cast<char>(i * 13 + 7);
  }
  const std::string name = "Art \"plan\" \xC3\xBC.bin";
  addFile(name, data);
  addFile("notes.txt", ".dot\nline\n");
  start();
  ASSERT_TRUE(postAndWait());
  ASSERT_EQ(session->outcome(), RunOutcome::Finished);

  const std::vector<std::string> articles = server.articles();
  ASSERT_EQ(articles.size(), 4U);
  std::string joined;
  for (int k = 1; k <= 3; ++k) {
    const std::string& article = articles[static_cast<std::size_t>(k - 1)];
    SCOPED_TRACE(article.substr(0, 400));
    EXPECT_EQ(headerOf(article, "Subject"),
              "Q&A <\"x\"> - \"Art 'plan' \xC3\xBC.bin\" yEnc (" + std::to_string(k) + "/3) 2500 bytes");
    EXPECT_TRUE(
        std::regex_match(headerOf(article, "Message-ID"), std::regex("<[-_A-Za-z0-9]{24}@tidewell\\.invalid>")));
    EXPECT_NE(article.find("\r\n=ybegin part=" + std::to_string(k) + " total=3 line=64 size=2500 name=" + name +
                           "\r\n=ypart begin=" + std::to_string(1 + (k - 1) * 1000) + " end="),
              std::string::npos);
    EXPECT_EQ(article.find("begin 644"), std::string::npos);
    EXPECT_EQ(article.find("comment\r\n") != std::string::npos, k == 1);
    EXPECT_EQ(article.find(" crc32=") != std::string::npos, k == 3);  // the file's CRC rides on the last part
    joined += yencData(article);
  }
  EXPECT_EQ(joined, data);
  // A text file is yEnc-encoded like any file: its bytes unchanged (LF line
  // ends, the leading dot escaped), its subject numbered like a binary's.
  EXPECT_EQ(headerOf(articles[3], "Subject"), "Q&A <\"x\"> - \"notes.txt\" yEnc (1/1) 10 bytes");
  EXPECT_NE(articles[3].find("\r\n=ybegin part=1 total=1 line=64 size=10 name=notes.txt\r\n"), std::string::npos);
  EXPECT_EQ(yencData(articles[3]), ".dot\nline\n");
  EXPECT_FALSE(headerOf(articles[3], "Message-ID").empty());

  const std::string nzb = nzbText(*session);
  EXPECT_NE(
      nzb.find("subject=\"Q&amp;A &lt;&quot;x&quot;&gt; - &quot;Art &apos;plan&apos; \xC3\xBC.bin&quot; yEnc (1/3) "
               "2500 bytes\""),
      std::string::npos);
  EXPECT_NE(nzb.find("poster=\"poster@example.com\""), std::string::npos);
  EXPECT_NE(nzb.find("<group>alt.test</group>"), std::string::npos);
  EXPECT_NE(nzb.find("<group>tidewell.test</group>"), std::string::npos);
  for (std::size_t k = 0; k < articles.size(); ++k) {
    const std::string id = headerOf(articles[k], "Message-ID");
    const std::string number = k < 3 ? std::to_string(k + 1) : "1";
    EXPECT_NE(nzb.find("number=\"" + number + "\">" + id.substr(1, id.size() - 2) + "</segment>"), std::string::npos)
        << id;
  }
  const std::string reportText = report();
  EXPECT_NE(reportText.find("NZB File           : " + session->nzbFileName() + "\r\n"), std::string::npos);
  EXPECT_EQ(session->nzbFileName(), session->reportFileName().substr(0, 8) + ".nzb");
}

// NzbName writes the same document once more beside ReportNN.nzb, which is
// still written; the metadata keys make its <head>.
TEST_F(YencSession, NzbNameWritesASecondCopyWithTheMetadata) {
  configure();
  setting("Encoding", "yEnc");
  setting("NZB", "TRUE");
  setting("NzbName", " Show \"S01\" \xC3\xBC ");
  setting("NzbTitle", "Show & <Co>");
  setting("NzbPassword", "secret");
  addFile("a.bin", std::string(250, 'a'));
  start();
  ASSERT_TRUE(postAndWait());
  ASSERT_EQ(session->outcome(), RunOutcome::Finished);

  const std::string nzb = nzbText(*session);
  EXPECT_EQ(session->nzbFileName(), session->reportFileName().substr(0, 8) + ".nzb");
  EXPECT_NE(nzb.find("<nzb xmlns=\"http://www.newzbin.com/DTD/2003/nzb\">\n <head>\n"
                     "  <meta type=\"title\">Show &amp; &lt;Co&gt;</meta>\n"
                     "  <meta type=\"password\">secret</meta>\n </head>\n <file "),
            std::string::npos)
      << nzb;
  std::string named;
  ASSERT_EQ(readWholeFile("Show \"S01\" \xC3\xBC.nzb", named), FileRead::Read);
  EXPECT_EQ(named, nzb);
  EXPECT_NE(report().find("NZB File (NzbName) : Show \"S01\" \xC3\xBC.nzb\r\n"), std::string::npos) << report();
}

// A name that is no file name of its own, written into the settings file
// by hand, is refused in the report; ReportNN.nzb is written all the same.
TEST_F(YencSession, AnNzbNameWithASlashIsRefused) {
  configure();
  setting("Encoding", "yEnc");
  setting("NZB", "TRUE");
  setting("NzbName", "../escape");
  addFile("a.bin", std::string(250, 'a'));
  start();
  ASSERT_TRUE(postAndWait());
  ASSERT_EQ(session->outcome(), RunOutcome::Finished);
  EXPECT_FALSE(nzbText(*session).empty());
  EXPECT_EQ(nzbText(*session).find("<head>"), std::string::npos);
  std::string named;
  EXPECT_EQ(readWholeFile("../escape.nzb", named), FileRead::Missing);
  EXPECT_NE(report().find("NZB File (NzbName) : ../escape refused: The NZB NAME must be"), std::string::npos)
      << report();
}

TEST_F(YencSession, RefusedDuplicateIdIsReportedAndLeftOutOfTheNzb) {
  configure();
  setting("Encoding", "yEnc");
  setting("NZB", "TRUE");
  setting("PartSize", "100");
  addFile("a.bin", std::string(250, 'a'));
  server.onArticle(Response::reply("240 ok"), 1);
  server.onArticle(Response::reply("441 435 Duplicate"), 1);
  start();
  ASSERT_TRUE(postAndWait());
  EXPECT_EQ(session->outcome(), RunOutcome::FinishedWithFailures);

  const std::vector<std::string> articles = server.articles();
  ASSERT_EQ(articles.size(), 3U);
  const std::string refused = headerOf(articles[1], "Message-ID");
  const std::string reportText = report();
  EXPECT_NE(reportText.find("Failed.  [Message-ID " + refused + " exists on the server] 441 435 Duplicate\r\n"),
            std::string::npos);
  EXPECT_NE(reportText.find(" (incomplete: it lists only the articles the server accepted)\r\n"), std::string::npos);
  const std::string nzb = nzbText(*session);
  EXPECT_NE(nzb.find("number=\"1\""), std::string::npos);
  EXPECT_EQ(nzb.find("number=\"2\""), std::string::npos);
  EXPECT_NE(nzb.find("number=\"3\""), std::string::npos);
}

TEST_F(YencSession, MessageIdsAloneKeepUuencodeAndWriteNoNzb) {
  const struct {
    const char* domain;
    const char* expected;
  } cases[] = {{"example.org", "example\\.org"}, {"bad domain", "tidewell\\.invalid"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.domain);
    configure();
    setting("MessageIDs", "TRUE");
    setting("MessageIDDomain", c.domain);
    addFile("a.bin", "payload");
    start();
    ASSERT_TRUE(postAndWait());
    const std::string article = server.articles().back();
    EXPECT_TRUE(std::regex_match(headerOf(article, "Message-ID"),
                                 std::regex(std::string("<[-_A-Za-z0-9]{24}@") + c.expected + ">")));
    EXPECT_NE(article.find("begin 644 a.bin"), std::string::npos);
    EXPECT_TRUE(session->nzbFileName().empty());
  }
}

}  // namespace
}  // namespace tidewell::test
