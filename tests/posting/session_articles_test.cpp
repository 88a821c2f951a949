// The article loop: what goes on the wire, the acknowledgements, the
// report, and the files skipped or posted again after failures.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "posting/session_fixture.h"
#include "posting/session_state.h"

namespace tidewell::test {
namespace {

using Articles = SessionTest;

// uuencode (sharutils) of `data`: the data lines and the closing line, with
// CR LF line ends, as an independent reference for the encoded text.
std::string referenceEncoding(const std::string& data, const TempDir& dir) {
  const std::string source = dir.write("reference.bin", data);
  const std::string command = "uuencode '" + source + "' reference.bin";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::string out;
  char buffer[4096];
  while (pipe && fgets(buffer, sizeof buffer, pipe.get()) != nullptr) {
    out += buffer;
  }
  // Keep the lines between "begin" and "end", with CR LF.
  std::string body;
  std::size_t start = out.find('\n') + 1;
  const std::size_t end = out.rfind("end\n");
  for (std::size_t at = start; at < end;) {
    const std::size_t lf = out.find('\n', at);
    body += out.substr(at, lf - at) + "\r\n";
    at = lf + 1;
  }
  return body;
}

std::string headers(const std::string& subject) {
  return "From: poster@example.com\r\nSubject: " + subject +
         "\r\nOrganization: The Usenet Upload Circle\r\nReply-To: \r\nNewsgroups: alt.test\r\n\r\n";
}

TEST_F(Articles, TwoPartBinaryAndTextFileGoOnTheWireExactly) {
  configure();
  setting("PartSize", "126");  // two full lines a part
  std::string data(180, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) {
    data[i] = static_cast<char>(i * 7 + 3);
  }
  addFile("DATA.BIN", data);
  addFile("notes.txt", ".hidden\nplain\n");
  start();
  ASSERT_TRUE(postAndWait());
  ASSERT_EQ(session->outcome(), RunOutcome::Finished);

  const std::string encoded = referenceEncoding(data, dir);
  ASSERT_EQ(encoded.size(), 4 * 63 + 3U);
  const std::string cut = "--- CUT HERE --- Cut Here --- cut here --- data.bin\r\n";
  const std::string first = headers("Test - data.bin (1/2) 180 bytes") + "\r\n\r\nBEGIN " + cut +
                            "\r\nbegin 644 data.bin\r\n" + encoded.substr(0, 126) + "\r\n.\r\n";
  const std::string second =
      headers("Test - data.bin (2/2) 180 bytes") + encoded.substr(126) + "end\r\nEND " + cut + "\r\n.\r\n";
  const std::string text = headers("Test - notes.txt (1/1) 14 bytes") + "\r\n\r\n..hidden\r\nplain\r\n\r\n.\r\n";
  EXPECT_EQ(server.received(), "mode reader\r\npost\r\n" + first + "post\r\n" + second + "post\r\n" + text);
  EXPECT_EQ(display.fileLines.size(), 3U);
  EXPECT_EQ(display.fileLines[0].substr(0, 31), "001 data.bin ... Ok. (1/2 - 0:0");
  EXPECT_EQ(display.fileLines[1].substr(0, 31), "001 data.bin ... Ok. (2/2 - 0:0");
  EXPECT_EQ(display.fileLines[2].substr(0, 32), "002 notes.txt ... Ok. (1/1 - 0:0");
}

TEST_F(Articles, WholeRunReportLineByLine) {
  configure();
  addFile("a.bin", "first");
  addFile("b.bin", "second");
  server.onArticle(Response::reply("441 435 Duplicate"), 1);
  start();
  ASSERT_TRUE(postAndWait());
  EXPECT_EQ(session->outcome(), RunOutcome::FinishedWithFailures);
  std::vector<std::string> lines = reportLines();
  // Mask the figures that depend on time.
  for (std::string& line : lines) {
    const std::size_t ok = line.find("Ok. (");
    if (ok != std::string::npos) {
      line = line.substr(0, ok) + "Ok. (...)";
    }
  }
  const std::string description = sockets.Description();
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "Tidewell Version 1.01ZRB.32bit",
                       "Winsock Detected is " + description,
                       "Using Config File " + settings.configFilePath(),
                       "",
                       "HH:MM:SS Starting Posting Session",
                       "HH:MM:SS Building upload list...",
                       "HH:MM:SS Generating Estimates...",
                       "HH:MM:SS Connecting to the news server..",
                       "HH:MM:SS Setting to READER mode...",
                       "HH:MM:SS Posting Start.",
                       "",
                       "HH:MM:SS 001 a.bin ... Failed. 441 435 Duplicate",
                       "",
                       "HH:MM:SS 002 b.bin ... Ok. (...)",
                       "         Test - b.bin (1/1) 6 bytes",
                       "",
                       "HH:MM:SS Posting Finished.",
                       "",
                       "Total Articles     : 2",
                       "Articles Ok        : 1",
                       "Articles Failed    : 1",
                       "Server Reconnects  : 0",
                       lines.back(),
                   }));
  EXPECT_EQ(lines.back().substr(0, 21), "Total Posting Time : ");
  EXPECT_NE(display.outboundTexts.back().find("\r\nSubject: Test - b.bin (1/1) 6 bytes\r\n"), std::string::npos);
}

TEST_F(Articles, RefusedPostEndsTheSessionAndDropsTheFile) {
  configure();
  addFile("a.bin", "first");
  addFile("b.bin", "second");
  server.onCommand("post", Response::reply("440 posting not allowed"));
  start();
  ASSERT_TRUE(postAndWait());
  EXPECT_EQ(session->outcome(), RunOutcome::EndedWithoutFinishing);
  EXPECT_EQ(display.fileLines, (std::vector<std::string>{"001 a.bin ... Failed."}));
  EXPECT_EQ(reportLines().back(), "HH:MM:SS 001 a.bin ... Failed. [Server not accepting POST]");
  EXPECT_EQ(uploadList.size(), 1U);
  EXPECT_TRUE(prompt.asked.empty());
}

TEST_F(Articles, TimeoutCountsDownThenReconnectsWithoutTheSilentFile) {
  configure();
  addFile("a.bin", "first");
  addFile("b.bin", "second");
  server.onArticle(Response::silence(), 1);
  start();
  session->post();
  ASSERT_TRUE(runUntil([&] {
    return !display.inboundTexts.empty() && display.inboundTexts.back() == "Waiting Server's Ack For Article.";
  }));
  display.inboundTexts.clear();
  ASSERT_TRUE(runUntil([&] { return server.connectionCount() == 2; }, 320));
  std::vector<std::string> countdown;
  for (const std::string& text : display.inboundTexts) {
    if (text.rfind("Timeout", 0) == 0) {
      countdown.push_back(text);
    }
  }
  ASSERT_EQ(countdown.size(), 62U);
  EXPECT_EQ(countdown.front(), "Timeout in 300 seconds...");
  EXPECT_EQ(countdown[1], "Timeout in 295 seconds...");
  EXPECT_EQ(countdown[60], "Timeout in 0 seconds...");
  EXPECT_EQ(countdown[61], "Timeout occurred with news server.");
  ASSERT_TRUE(runUntil([&] { return session->isIdle() && session->outcome() != RunOutcome::NotRun; }));
  EXPECT_EQ(display.fileLines,
            (std::vector<std::string>{"001 a.bin ... Failed.", "Error Experienced.  Attempting Reconnection.",
                                      display.fileLines[2]}));
  EXPECT_EQ(display.fileLines[2].substr(0, 20), "001 b.bin ... Ok. (1");
  EXPECT_EQ(server.articles().size(), 2U);
  EXPECT_NE(report().find(" 001 a.bin ... Failed.  [Timeout]\r\n"), std::string::npos);
  EXPECT_NE(report().find("Articles Failed    : 1\r\nServer Reconnects  : 1\r\n"), std::string::npos);
}

TEST_F(Articles, ResetInAMultiPartFilePostsAllItsPartsAgain) {
  configure();
  setting("PartSize", "126");
  addFile("big.bin", std::string(450, 'x'));  // 10 lines: five parts
  server.onArticle(Response::reply("240 ok"), 2);
  server.onArticle(Response::reset(), 1);  // the third article is never acknowledged
  start();
  ASSERT_TRUE(postAndWait());
  EXPECT_EQ(session->outcome(), RunOutcome::Finished);
  const std::vector<std::string>& lines = display.fileLines;
  ASSERT_EQ(lines.size(), 9U);
  EXPECT_EQ(lines[2], "001 big.bin ... Interrupted.");
  EXPECT_EQ(lines[3], "Error Experienced.  Attempting Reconnection.");
  EXPECT_EQ(lines[4].substr(0, 22), "001 big.bin ... Ok. (1");
  EXPECT_EQ(lines[8].substr(0, 22), "001 big.bin ... Ok. (5");
  EXPECT_EQ(server.connectionCount(), 2U);
  EXPECT_EQ(server.connection(1).articles.size(), 5U);
  EXPECT_NE(report().find("Articles Ok        : 7\r\nArticles Failed    : 0\r\nServer Reconnects  : 1"),
            std::string::npos);
}

TEST_F(Articles, FourthErrorEndsTheRunEvenAfterAcceptedArticles) {
  configure();
  for (const char* name : {"a.bin", "b.bin", "c.bin", "d.bin", "e.bin"}) {
    addFile(name, name);
  }
  // Each connection takes one article, then breaks off at the next.
  for (int i = 0; i < 4; ++i) {
    server.onArticle(Response::reply("240 ok"), 1);
    server.onArticle(Response::reset(), 1);
  }
  start();
  ASSERT_TRUE(postAndWait());
  EXPECT_EQ(session->outcome(), RunOutcome::EndedWithoutFinishing);
  // e.bin, cut off on the fourth connection, ends with a line of its own.
  EXPECT_EQ(std::vector<std::string>(display.fileLines.end() - 2, display.fileLines.end()),
            (std::vector<std::string>{"Error Experienced.  Maximum Reconnects Failed.", "002 e.bin ... Failed."}));
  EXPECT_EQ(server.connectionCount(), 4U);
  EXPECT_EQ(server.articles().size(), 8U);
  EXPECT_EQ(report().find("Total Articles"), std::string::npos);
  ASSERT_EQ(prompt.asked.size(), 1U);
}

TEST_F(Articles, EncodingFailureFailsThatFileOnly) {
  configure();
  addFile("a.bin", "first");
  start();
  session->post();
  settle();
  // The file goes away between the listing and its encoding.
  std::remove((uploads + "/a.bin").c_str());
  ASSERT_TRUE(runUntil([&] { return session->isIdle() && session->outcome() != RunOutcome::NotRun; }));
  EXPECT_EQ(session->outcome(), RunOutcome::FinishedWithFailures);
  EXPECT_EQ(display.outboundTexts.back(), "Error - Can't encode a.bin [-103].");
  EXPECT_TRUE(server.articles().empty());
}

// The spool the article streams from vanishes half way: that article fails
// in the words of an unreadable spool, and the run reconnects and goes on.
TEST_F(Articles, SpoolThatVanishesWhileStreamingFailsTheArticle) {
  configure();
  addFile("a.bin", patterned(40000));
  addFile("b.bin", "second");
  start();
  session->post();
  ASSERT_TRUE(runUntil([this] { return state() == static_cast<int>(SessionState::StreamArticle); }));
  ASSERT_EQ(std::remove("TIDEWELL.ART"), 0);
  ASSERT_TRUE(waitForRunEnd());
  EXPECT_EQ(session->outcome(), RunOutcome::FinishedWithFailures);
  const std::string text = report();
  EXPECT_NE(text.find("001 a.bin ... Failed.  [Error reading UUE file.(2)]"), std::string::npos) << text;
  EXPECT_NE(text.find("Error Experienced.  Attempting Reconnection."), std::string::npos) << text;
  EXPECT_NE(text.find("001 b.bin ... Ok. (1/1"), std::string::npos) << text;
}

}  // namespace
}  // namespace tidewell::test
