// Resume=TRUE: a run started over a journal of a cut-short run posts only
// what the journal does not hold, after asking the server about the
// articles that were in flight.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <string>

#include "platform/file_io.h"
#include "posting/session_fixture.h"
#include "support/scoped_env.h"
#include "upload/run_journal.h"

namespace tidewell::test {
namespace {

class ResumeSession : public SessionTest {
 protected:
  // New journals go to the sandbox's state folder; the earlier runs' below
  // sit beside the configuration file, where earlier versions kept them.
  ScopedEnv stateHome{"XDG_STATE_HOME", dir.file("state")};

  // The journal of an earlier run of a.bin (3 parts) that was cut short:
  // the parts `accepted` on the server as <pK@tidewell.invalid>, and part 3
  // in flight when `inFlight3`.
  void writeEarlierJournal(const std::string& path, const std::set<int>& accepted, bool inFlight3) {
    std::int64_t size = 0;
    std::int64_t mtime = 0;
    ASSERT_TRUE(fileStamp(path, size, mtime));
    RunJournal journal;
    ASSERT_TRUE(journal.create(journalPathFor(settings.configFilePath()), journalSettings(settings)));
    ASSERT_TRUE(journal.startFile("a.bin", size, mtime, 3));
    ASSERT_TRUE(journal.noteSubject("a.bin", "Test - a.bin (1/3) 2500 bytes", 1700000000));
    for (const int part : accepted) {
      ASSERT_TRUE(journal.noteAccepted("a.bin", part, 1200, "<p" + std::to_string(part) + "@tidewell.invalid>"));
    }
    if (inFlight3) {
      ASSERT_TRUE(journal.noteInFlight("a.bin", 3, 700, "<p3@tidewell.invalid>"));
    }
    journal.close();
  }
};

std::set<int> postedParts(const std::vector<std::string>& articles) {
  std::set<int> parts;
  for (const std::string& article : articles) {
    const std::size_t at = article.find("=ybegin part=");
    parts.insert(at == std::string::npos ? 0 : std::stoi(article.substr(at + 13)));
  }
  return parts;
}

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++n;
  }
  return n;
}

TEST_F(ResumeSession, PostsOnlyWhatTheJournalDoesNotHold) {
  const struct {
    const char* name;
    std::set<int> accepted;
    bool inFlight3;
    const char* statReply;
    bool touchFile;
    bool otherSubject;
    PromptAnswer answer;
    std::set<int> posted;
    const char* resumedLine;  // empty: none
    const char* connections = "1";
  } cases[] = {
      {"in flight, on the server", {1, 2}, true, "223 0 <x>", false, false, PromptAnswer::Yes, {}, "Resumed: 2 of 3"},
      {"in flight, not there",
       {1, 2},
       true,
       "430 no such article",
       false,
       false,
       PromptAnswer::Yes,
       {3},
       "Resumed: 2 of 3"},
      {"STAT refused", {1}, true, "500 what?", false, false, PromptAnswer::Yes, {2, 3}, "Resumed: 1 of 3"},
      {"file changed", {1, 2}, false, "", true, false, PromptAnswer::Yes, {1, 2, 3}, "Resumed: 0 of 3"},
      {"user starts afresh", {1, 2}, false, "", false, false, PromptAnswer::No, {1, 2, 3}, ""},
      {"other settings", {1, 2}, false, "", false, true, PromptAnswer::Yes, {1, 2, 3}, ""},
      // Several connections: the link asks for the article in flight first.
      {"3 connections, on the server",
       {1},
       true,
       "223 0 <x>",
       false,
       false,
       PromptAnswer::Yes,
       {2},
       "Resumed: 1 of 3",
       "3"},
      {"3 connections, not there",
       {1},
       true,
       "430 no",
       false,
       false,
       PromptAnswer::Yes,
       {2, 3},
       "Resumed: 1 of 3",
       "3"},
      {"3 connections, file changed",
       {1, 2},
       true,
       "",
       true,
       false,
       PromptAnswer::Yes,
       {1, 2, 3},
       "Resumed: 0 of 3",
       "3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (*c.statReply != '\0') {
      server.onCommand("stat", Response::reply(c.statReply), 1);
    }
    configure();
    setting("Encoding", "yEnc");
    setting("NZB", "TRUE");
    setting("FastPosting", "TRUE");
    setting("PartSize", "1000");
    setting("Resume", "TRUE");
    setting("Connections", c.connections);
    const std::string path = addFile("a.bin", std::string(2500, 'x'));

    ASSERT_NO_FATAL_FAILURE(writeEarlierJournal(path, c.accepted, c.inFlight3));
    if (c.touchFile) {
      const struct timespec times[2] = {{0, UTIME_OMIT}, {1000, 0}};
      ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }
    if (c.otherSubject) {
      setting("Subject", "Other");
    }
    if (!c.otherSubject) {
      prompt.answers.push_back(c.answer);  // the question whether to resume
    }
    const std::size_t before = server.articles().size();
    const auto statsOfP3 = [this] {
      const std::vector<std::string> commands = server.commands();
      return std::count(commands.begin(), commands.end(), "STAT <p3@tidewell.invalid>");
    };
    const auto statsBefore = statsOfP3();
    start();
    ASSERT_TRUE(postAndWait());
    EXPECT_EQ(session->outcome(), RunOutcome::Finished);
    const std::vector<std::string> all = server.articles();
    EXPECT_EQ(postedParts({all.begin() + static_cast<std::ptrdiff_t>(before), all.end()}), c.posted);
    EXPECT_EQ(all.size() - before, c.posted.size()) << "each part once";
    EXPECT_EQ(statsOfP3() - statsBefore, *c.statReply != '\0' ? 1 : 0);

    const std::vector<std::string> lines = reportLines();
    const std::string text = report();
    EXPECT_EQ(text.find("Resumed: ") != std::string::npos, *c.resumedLine != '\0') << text;
    EXPECT_EQ(text.find("(<p3@tidewell.invalid>) found on the server by STAT.") != std::string::npos,
              std::string_view(c.statReply).starts_with("223"))
        << text;
    if (*c.resumedLine != '\0') {
      EXPECT_EQ(lines.at(4), std::string(c.resumedLine) + " articles were already posted.") << text;
    }
    std::string nzb;
    ASSERT_EQ(readWholeFile(session->nzbFileName(), nzb), FileRead::Read);
    EXPECT_EQ(count(nzb, "<segment "), 3U) << nzb;
    EXPECT_NE(access(journalPathFor(settings.configFilePath()).c_str(), F_OK), 0) << "the journal is removed";
    // The run's closing figures count the file posted, whatever part of it
    // the earlier run had posted.
    const RunProgress& figures = display.lastRunProgress;
    EXPECT_TRUE(figures.ended && figures.filesListed == 1 && figures.filesDone == 1 && figures.filesPosted == 1 &&
                figures.articlesFailed == 0)
        << figures.filesListed << " " << figures.filesDone << " " << figures.filesPosted << " "
        << figures.articlesFailed;
    session.reset();
    uploadList.clear();
  }
}

// Verify asks for the earlier run's articles too: the NZB lists them. Here
// the server has lost both, so both are posted again.
TEST_F(ResumeSession, VerifyAsksForTheArticlesOfTheRunResumed) {
  configure();
  setting("Encoding", "yEnc");
  setting("PartSize", "1000");
  setting("Resume", "TRUE");
  setting("Verify", "TRUE");
  const std::string path = addFile("a.bin", std::string(2500, 'x'));
  ASSERT_NO_FATAL_FAILURE(writeEarlierJournal(path, {1, 2}, false));
  prompt.answers.push_back(PromptAnswer::Yes);
  start();
  ASSERT_TRUE(postAndWait());
  const std::string text = report();
  EXPECT_NE(text.find("Verify: 3 articles checked on"), std::string::npos) << text;
  EXPECT_NE(text.find("Verify: missing a.bin part 1 of 3, <p1@tidewell.invalid>"), std::string::npos) << text;
  EXPECT_EQ(postedParts(server.articles()), (std::set<int>{1, 2, 3}));
  EXPECT_EQ(server.articles().size(), 3U) << "part 3 now, parts 1 and 2 again";
}

}  // namespace
}  // namespace tidewell::test
