// Resume=TRUE: a run started over a journal of a cut-short run posts only
// what the journal does not hold, after asking the server about the
// articles that were in flight.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <string>

#include "platform/file_io.h"
#include "posting/session_fixture.h"
#include "support/scoped_env.h"
#include "upload/encoder.h"
#include "upload/part_checksum.h"
#include "upload/run_journal.h"

namespace tidewell::test {
namespace {

class ResumeSession : public SessionTest {
 protected:
  // New journals go to the sandbox's state folder; the earlier runs' below
  // sit beside the configuration file, where earlier versions kept them.
  ScopedEnv stateHome{"XDG_STATE_HOME", dir.file("state")};

  // The journal of an earlier run of a file of 3 parts (PartSize=1000) that
  // was cut short: the parts `accepted` on the server as
  // <pK@tidewell.invalid>, and part 3 in flight when `inFlight3`; each with
  // the check sum of its bytes as they are now, or (an older version's
  // journal) none.
  void writeEarlierJournal(const std::string& path, const std::set<int>& accepted, bool inFlight3,
                           PartSource kind = PartSource::Yenc, bool withSums = true) {
    const std::string name = path.substr(path.rfind('/') + 1);
    std::int64_t size = 0;
    std::int64_t mtime = 0;
    ASSERT_TRUE(fileStamp(path, size, mtime));
    const std::string encoded = dir.file("encoded-for-sums");
    ASSERT_EQ(encodeFile(uploads, name, encoded), kEncodeOk);
    const PartSums sums(kind, path, encoded, 1000, 3);
    const auto sumOf = [&](int part) { return withSums ? sums.sumOf(part) : std::nullopt; };
    RunJournal journal;
    ASSERT_TRUE(journal.create(journalPathFor(settings.configFilePath()), journalSettings(settings)));
    ASSERT_TRUE(journal.startFile(name, size, mtime, 3));
    ASSERT_TRUE(journal.noteSubject(name, "Test - " + name + " (1/3) 2500 bytes", 1700000000));
    for (const int part : accepted) {
      ASSERT_TRUE(
          journal.noteAccepted(name, part, 1200, "<p" + std::to_string(part) + "@tidewell.invalid>", sumOf(part)));
    }
    if (inFlight3) {
      ASSERT_TRUE(journal.noteInFlight(name, 3, 700, "<p3@tidewell.invalid>", sumOf(3)));
    }
    journal.close();
  }
};

// Sets or clears the immutable attribute (root on ext4 and the like): not
// even root may then open the file for writing.
bool setImmutable(const std::string& path, bool on) {
  const FileDescriptor file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
  int flags = 0;
  if (!file.isOpen() || ioctl(file.get(), FS_IOC_GETFLAGS, &flags) != 0) {
    return false;
  }
  flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
  return ioctl(file.get(), FS_IOC_SETFLAGS, &flags) == 0;
}

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
      {"in flight, on the server, part 2 to post",
       {1},
       true,
       "223 0 <x>",
       false,
       false,
       PromptAnswer::Yes,
       {2},
       "Resumed: 1 of 3"},
      {"in flight, not there, parts 2 and 3 to post",
       {1},
       true,
       "430 no",
       false,
       false,
       PromptAnswer::Yes,
       {2, 3},
       "Resumed: 1 of 3"},
      {"file changed, part 3 in flight",
       {1, 2},
       true,
       "",
       true,
       false,
       PromptAnswer::Yes,
       {1, 2, 3},
       "Resumed: 0 of 3"},
  };
  // With one connection and with three: a link asks for the article in flight first.
  for (const std::string connections : {"1", "3"}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(c.name + (" on " + connections));
      if (*c.statReply != '\0') {
        server.onCommand("stat", Response::reply(c.statReply), 1);
      }
      configure();
      setting("Encoding", "yEnc");
      setting("NZB", "TRUE");
      setting("FastPosting", "TRUE");
      setting("PartSize", "1000");
      setting("Resume", "TRUE");
      setting("Connections", connections);
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

// With Par2, the parts the journal holds are not posted again. yEnc never
// reads them: the set reads just those bytes. uuencode encodes the whole
// file into the spool all the same, so the set reads nothing of its own.
// Either way the set verifies.
TEST_F(ResumeSession, TheRecoverySetReadsThePartsAlreadyPosted) {
  if (std::system("command -v par2 >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "Debian's par2 is not installed";
  }
  const struct {
    const char* encoding;
    const char* file;
    std::size_t size;
    PartSource kind;
    const char* extra;
  } cases[] = {
      {"yEnc", "a.bin", 2500, PartSource::Yenc, "; 2000 bytes read only for the set."},
      {"uuencode", "u.bin", 2025, PartSource::Uuencode, "; 0 bytes read only for the set."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.encoding);
    configure();
    setting("Encoding", c.encoding);
    setting("PartSize", "1000");
    setting("Resume", "TRUE");
    setting("Par2", "TRUE");
    setting("Par2Keep", "TRUE");
    setting("Par2Name", "set");
    std::string data(c.size, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) {
      data[i] = static_cast<char>(i * 31 + i / 7);
    }
    const std::string path = addFile(c.file, data);
    ASSERT_NO_FATAL_FAILURE(writeEarlierJournal(path, {1, 2}, false, c.kind));
    prompt.answers.push_back(PromptAnswer::Yes);
    start();
    ASSERT_TRUE(postAndWait());
    ASSERT_EQ(session->outcome(), RunOutcome::Finished) << report();
    const std::string text = report();
    EXPECT_NE(text.find(c.extra), std::string::npos) << text;
    EXPECT_EQ(count(text, std::string(c.file) + " ... Ok."), 1U) << text;
    const std::string folder = session->reportFileName().substr(0, 8) + ".par2";
    const std::string command = "par2 verify -q -B'" + uploads + "' '" + folder + "/set.par2' >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << text;
    std::filesystem::remove(path);
    session.reset();
    uploadList.clear();
  }
}

// A run cut short while its set was posted: the run resuming it posts the
// set's missing article from the files the first run wrote, without
// computing the set again.
TEST_F(ResumeSession, TheSetOfTheRunResumedIsNotComputedAgain) {
  configure();
  setting("Encoding", "yEnc");
  setting("PartSize", "1000");
  setting("Resume", "TRUE");
  setting("Par2", "TRUE");
  setting("Par2Name", "set");
  addFile("a.bin", std::string(2500, 'q'));
  server.onArticle(Response::reply("240 ok"), 4);              // a.bin's 3 parts and set.par2
  server.onArticle(Response::reply("441 posting failed"), 1);  // part 1 of set.vol0+1.par2's 2
  start();
  ASSERT_TRUE(postAndWait());
  ASSERT_EQ(server.articles().size(), 6U) << report();

  prompt.answers.push_back(PromptAnswer::Yes);
  start();
  ASSERT_TRUE(postAndWait());
  const std::string text = report();
  EXPECT_EQ(session->outcome(), RunOutcome::Finished) << text;
  EXPECT_NE(text.find("Recovery: the set the resumed run wrote is posted from "), std::string::npos) << text;
  EXPECT_EQ(text.find("read only for the set"), std::string::npos) << text;
  ASSERT_EQ(server.articles().size(), 7U) << text;
  EXPECT_NE(server.articles().back().find("=ybegin part=1 total=2 "), std::string::npos);
  EXPECT_NE(server.articles().back().find("name=set.vol0+1.par2"), std::string::npos);
  const auto body = [](const std::string& article) { return article.substr(article.find("\r\n\r\n")); };
  EXPECT_EQ(body(server.articles().back()), body(server.articles()[4])) << "the same data as the refused article";
}

// A file whose bytes changed while its size and modification time were put
// back (cp -p, rsync -t), and a file of a journal without check sums, are
// posted whole from part 1; the articles of the run alone decode to the
// file as it is now.
TEST_F(ResumeSession, AChangedFileUnderItsOldStampIsPostedWhole) {
  const struct {
    const char* name;
    const char* file;
    const char* encoding;
    std::string content;
    PartSource kind;
    bool change;
    bool withSums;
    std::set<int> posted;
    const char* note;  // empty: none
  } cases[] = {
      {"yEnc, bytes changed",
       "a.bin",
       "yEnc",
       std::string(2500, 'x'),
       PartSource::Yenc,
       true,
       true,
       {1, 2, 3},
       "Resumed: a.bin has changed since its parts were posted: it is posted again from part 1."},
      {"uuencode, bytes changed",
       "u.bin",
       "uuencode",
       std::string(2025, 'x'),
       PartSource::Uuencode,
       true,
       true,
       {1, 2, 3},
       "Resumed: u.bin has changed since its parts were posted: it is posted again from part 1."},
      {"uuencode, unchanged", "u.bin", "uuencode", std::string(2025, 'x'), PartSource::Uuencode, false, true, {3}, ""},
      {"text, bytes changed",
       "t.txt",
       "uuencode",
       [] {
         std::string text;
         for (int i = 0; i < 400; ++i) {
           text += "abcd\n";
         }
         return text;
       }(),
       PartSource::Text,
       true,
       true,
       {1, 2, 3},
       "Resumed: t.txt has changed since its parts were posted: it is posted again from part 1."},
      {"journal without sums",
       "a.bin",
       "yEnc",
       std::string(2500, 'x'),
       PartSource::Yenc,
       false,
       false,
       {1, 2, 3},
       "Resumed: the journal holds no check sums of the parts of a.bin (an older version wrote it): it is posted "
       "again from part 1."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    configure();
    setting("Encoding", c.encoding);
    setting("PartSize", "1000");
    setting("Resume", "TRUE");
    const std::string path = addFile(c.file, c.content);
    ASSERT_NO_FATAL_FAILURE(writeEarlierJournal(path, {1, 2}, false, c.kind, c.withSums));
    std::string now = c.content;
    if (c.change) {
      std::int64_t size = 0;
      std::int64_t mtime = 0;
      ASSERT_TRUE(fileStamp(path, size, mtime));
      now[10] = 'y';  // in part 1
      writeFile(path, now);
      const struct timespec times[2] = {{0, UTIME_OMIT}, {mtime / 1000000000, mtime % 1000000000}};
      ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }
    prompt.answers.push_back(PromptAnswer::Yes);
    const std::size_t before = server.articles().size();
    start();
    ASSERT_TRUE(postAndWait());
    EXPECT_EQ(session->outcome(), RunOutcome::Finished);
    const std::vector<std::string> all = server.articles();
    const std::vector<std::string> posted(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
    EXPECT_EQ(posted.size(), c.posted.size());
    const std::string text = report();
    EXPECT_EQ(count(text, "posted again from part 1."), *c.note != '\0' ? 1U : 0U) << text;
    EXPECT_EQ(*c.note == '\0' || text.find(std::string(c.note) + "\r\n") != std::string::npos, true) << text;
    if (c.kind != PartSource::Text && posted.size() == 3) {
      // uudeview, an independent decoder, reads both encodings.
      const std::string articles = dir.file("articles");
      const std::string decoded = dir.file("decoded");
      std::filesystem::remove_all(articles);
      std::filesystem::remove_all(decoded);
      std::filesystem::create_directories(articles);
      std::filesystem::create_directories(decoded);
      for (std::size_t k = 0; k < posted.size(); ++k) {
        writeFile(articles + "/" + std::to_string(k), posted[k]);
      }
      const std::string command = "uudeview -i -o -q -n -p " + decoded + "/ " + articles + "/* >/dev/null 2>&1";
      ASSERT_EQ(std::system(command.c_str()), 0);
      EXPECT_TRUE(readFile(decoded + "/" + c.file) == now) << "decoded as the file is now";
    }
    std::filesystem::remove(path);
    session.reset();
    uploadList.clear();
  }
}

// A journal is read only when it is ours: anything else at its name (which
// another local user may plant in a shared folder to make the run skip
// files) is not used, the report says why, and every file is posted. So is
// a journal that cannot be opened for appending.
TEST_F(ResumeSession, AJournalThatIsNotOursIsNotUsed) {
  const bool root = geteuid() == 0;
  const struct {
    const char* name;
    std::function<bool(const std::string& journal)> spoil;
    const char* reason;
  } cases[] = {
      {"symbolic link",
       [&](const std::string& journal) {
         return std::rename(journal.c_str(), dir.file("elsewhere").c_str()) == 0 &&
                symlink(dir.file("elsewhere").c_str(), journal.c_str()) == 0;
       },
       "it is a symbolic link"},
      {"another user's", [](const std::string& journal) { return chown(journal.c_str(), 65534, 65534) == 0; },
       "it belongs to another user"},
      {"mode 0666", [](const std::string& journal) { return chmod(journal.c_str(), 0666) == 0; },
       "other users may write to it"},
      {"group-writable", [](const std::string& journal) { return chmod(journal.c_str(), 0620) == 0; },
       "other users may write to it"},
      {"directory",
       [](const std::string& journal) { return unlink(journal.c_str()) == 0 && mkdir(journal.c_str(), 0700) == 0; },
       "it is not a regular file"},
      {"FIFO",
       [](const std::string& journal) { return unlink(journal.c_str()) == 0 && mkfifo(journal.c_str(), 0600) == 0; },
       "it is not a regular file"},
      {"not openable for appending",
       [&](const std::string& journal) {
         return root ? setImmutable(journal, true) : chmod(journal.c_str(), 0400) == 0;
       },
       "it cannot be opened for appending ("},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    configure();
    setting("Encoding", "yEnc");
    setting("PartSize", "1000");
    setting("Resume", "TRUE");
    const std::string path = addFile("a.bin", std::string(2500, 'x'));
    ASSERT_NO_FATAL_FAILURE(writeEarlierJournal(path, {1, 2}, false));
    const std::string journal = journalPathFor(settings.configFilePath());
    if (!root && std::string_view(c.name) == "another user's") {
      continue;  // only root can give a file away
    }
    if (!c.spoil(journal)) {
      // Root needs the immutable attribute, which not every file system has.
      ASSERT_EQ(std::string_view(c.name), "not openable for appending");
      std::filesystem::remove(journal);
      continue;
    }
    const std::size_t before = server.articles().size();
    start();
    ASSERT_TRUE(postAndWait());
    EXPECT_EQ(session->outcome(), RunOutcome::Finished);
    EXPECT_EQ(server.articles().size() - before, 3U) << "every part";
    EXPECT_TRUE(std::none_of(prompt.asked.begin(), prompt.asked.end(),
                             [](const ScriptedPrompt::Asked& asked) { return asked.caption == "Tidewell Resume"; }));
    const std::string text = report();
    EXPECT_NE(text.find("The journal " + journal + " is not used (" + c.reason), std::string::npos) << text;
    EXPECT_EQ(text.find("Resumed:"), std::string::npos) << text;
    static_cast<void>(setImmutable(journal, false));
    std::filesystem::remove_all(journal);
    std::filesystem::remove(dir.file("elsewhere"));
    prompt.asked.clear();
    session.reset();
    uploadList.clear();
  }
}

// Obfuscate=TRUE: the resumed run goes on under the earlier run's disguise,
// so every part of a file shows one name and every article one poster and
// one id domain; subjects stay new for every article. A journal made with
// Obfuscate other than now is not resumed.
TEST_F(ResumeSession, AnObfuscatedRunKeepsItsDisguise) {
  const struct {
    bool before;
    bool now;
  } cases[] = {{true, true}, {false, true}, {true, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.before) + " then " + std::to_string(c.now));
    configure();
    setting("Encoding", "yEnc");
    setting("PartSize", "1000");
    setting("Resume", "TRUE");
    setting("Obfuscate", c.before ? "TRUE" : "FALSE");
    addFile("a.bin", std::string(2500, 'a'));
    addFile("b.bin", std::string(2600, 'b'));
    const std::size_t before = server.articles().size();
    server.onArticle(Response::reply("240 ok"), 1);
    server.onArticle(Response::reply("441 posting failed"), 1);  // a.bin's part 2
    server.onArticle(Response::reply("240 ok"), 3);
    server.onArticle(Response::reply("441 posting failed"), 1);  // b.bin's part 3
    start();
    ASSERT_TRUE(postAndWait());
    ASSERT_NE(session->outcome(), RunOutcome::Finished);

    setting("Obfuscate", c.now ? "TRUE" : "FALSE");
    prompt.answers.push_back(PromptAnswer::Yes);
    start();
    ASSERT_TRUE(postAndWait());
    EXPECT_EQ(session->outcome(), RunOutcome::Finished) << report();
    const std::vector<std::string> all = server.articles();
    if (c.before != c.now) {
      EXPECT_EQ(report().find("Resumed:"), std::string::npos);
      EXPECT_EQ(all.size() - before, 12U) << "every part again";
      continue;
    }
    ASSERT_EQ(all.size() - before, 8U) << report();
    std::map<std::string, std::set<std::string>> namesBySize;
    std::set<std::string> froms;
    std::set<std::string> domains;
    std::set<std::string> subjects;
    const std::regex yenc("=ybegin part=\\d+ total=3 line=\\d+ size=(\\d+) name=(\\S+)\r\n");
    for (auto article = all.begin() + static_cast<std::ptrdiff_t>(before); article != all.end(); ++article) {
      std::smatch match;
      ASSERT_TRUE(std::regex_search(*article, match, yenc)) << article->substr(0, 400);
      namesBySize[match[1]].insert(match[2]);
      froms.insert(headerOf("\r\n" + *article, "From"));
      subjects.insert(headerOf("\r\n" + *article, "Subject"));
      const std::string id = headerOf("\r\n" + *article, "Message-ID");
      domains.insert(id.substr(id.find('@')));
    }
    EXPECT_EQ(namesBySize["2500"].size(), 1U);
    EXPECT_EQ(namesBySize["2600"].size(), 1U);
    EXPECT_NE(namesBySize["2500"], namesBySize["2600"]);
    EXPECT_EQ(froms.size(), 1U);
    EXPECT_EQ(domains.size(), 1U);
    EXPECT_EQ(subjects.size(), 8U);
  }
}

}  // namespace
}  // namespace tidewell::test
