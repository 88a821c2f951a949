#include "upload/run_journal.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/file_io.h"
#include "support/temp_dir.h"
#include "upload/crc32.h"

namespace tidewell {
namespace {

constexpr std::string_view kB = "two words%\n.bin";
const JournalSettings kSettings = {{"Directory", "~/uploads"}, {"PartSize", "50000"}, {"BodyComment", ""}};

// A journal of two files: the first wholly accepted, the second with part 1
// accepted and part 2 in flight.
std::string writeSample(const test::TempDir& dir) {
  const std::string path = dir.file("Tidewell.INI.journal");
  RunJournal journal;
  EXPECT_TRUE(journal.create(path, kSettings));
  EXPECT_TRUE(journal.startFile("a.bin", 100, 7, 1));
  EXPECT_TRUE(journal.noteSubject("a.bin", "Holiday - a.bin (1/1)", 1700000000));
  EXPECT_TRUE(journal.noteInFlight("a.bin", 1, 1000, "<a1@x>"));
  EXPECT_TRUE(journal.startFile("two words%\n.bin", 200000, 1700000000123456789, 2));
  EXPECT_TRUE(journal.noteAccepted("a.bin", 1, 900, "<a1@x>"));  // records of two files interleave
  EXPECT_TRUE(journal.noteInFlight(kB, 1, 1000, "<b1@x>"));
  EXPECT_TRUE(journal.noteAccepted(kB, 1, 50900, "<b1@x>"));
  EXPECT_TRUE(journal.noteInFlight(kB, 2, 1000, "<b2@x>"));
  return path;
}

TEST(RunJournalTest, ReadsBackWhatWasWritten) {
  const test::TempDir dir;
  const auto contents = readJournal(writeSample(dir));
  ASSERT_TRUE(contents);
  EXPECT_TRUE(contents->matches(kSettings));
  ASSERT_EQ(contents->files.size(), 2u);
  const JournalFile* a = contents->findFile("a.bin", 100, 7);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->subject, "Holiday - a.bin (1/1)");
  EXPECT_EQ(a->date, 1700000000);
  EXPECT_EQ(a->partCount, 1);
  ASSERT_EQ(a->accepted.size(), 1u);
  EXPECT_EQ(a->accepted.at(1).messageId, "<a1@x>");
  EXPECT_EQ(a->accepted.at(1).bytes, 900);
  EXPECT_TRUE(a->inFlight.empty());
  const JournalFile* b = contents->findFile("two words%\n.bin", 200000, 1700000000123456789);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->accepted.size(), 1u);
  ASSERT_EQ(b->inFlight.size(), 1u);
  EXPECT_EQ(b->inFlight.at(2).messageId, "<b2@x>");
  EXPECT_EQ(contents->acceptedCount(), 2);
}

// Each part keeps the check sum of its in-flight record; a journal of an
// older version (records without sums) is read with none.
TEST(RunJournalTest, KeepsEachPartsCheckSum) {
  const test::TempDir dir;
  const std::string path = writeSample(dir);  // no sums: as an older version wrote
  RunJournal journal;
  ASSERT_TRUE(journal.reopen(path));
  ASSERT_TRUE(journal.startFile("c.bin", 300, 9, 3));
  ASSERT_TRUE(journal.noteInFlight("c.bin", 1, 10, "<c1@x>", 0xDEADBEEF));
  ASSERT_TRUE(journal.noteAccepted("c.bin", 1, 10, "<c1@x>"));
  ASSERT_TRUE(journal.noteInFlight("c.bin", 2, 10, "<c2@x>", 0x00000001));
  ASSERT_TRUE(journal.noteAccepted("c.bin", 2, 10, "<other@x>"));  // not the article sent: no sum
  ASSERT_TRUE(journal.noteInFlight("c.bin", 3, 10, "<c3@x>", 0x12345678));
  const auto contents = readJournal(path);
  ASSERT_TRUE(contents);
  const JournalFile* c = contents->findFile("c.bin", 300, 9);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->accepted.at(1).sourceCrc, 0xDEADBEEF);
  EXPECT_EQ(c->accepted.at(2).sourceCrc, std::nullopt);
  EXPECT_EQ(c->inFlight.at(3).sourceCrc, 0x12345678u);
  EXPECT_EQ(c->inFlight.at(3).messageId, "<c3@x>");
  const JournalFile* old = contents->findFile("two words%\n.bin", 200000, 1700000000123456789);
  ASSERT_NE(old, nullptr);
  EXPECT_EQ(old->accepted.at(1).sourceCrc, std::nullopt);
  EXPECT_EQ(old->accepted.at(1).bytes, 50900);
}

// Power loss mid-write leaves a torn last line, and a disk may hand back a
// damaged one: both are left out, the records before them kept, and the
// next run's records start on a line of their own.
TEST(RunJournalTest, LeavesOutTornAndDamagedLines) {
  const struct {
    const char* name;
    std::string tail;
  } cases[] = {
      {"torn", "1A2B3C4D A 2 50900 <b2"},
      {"torn sum", "1A2B"},
      {"bad sum", "00000000 A 2 50900 <b2@x>\n"},
      {"zeros", std::string(40, '\0')},
  };
  for (const auto& c : cases) {
    const test::TempDir dir;
    const std::string path = writeSample(dir);
    ASSERT_TRUE(appendToFile(path, c.tail)) << c.name;
    auto contents = readJournal(path);
    ASSERT_TRUE(contents) << c.name;
    EXPECT_EQ(contents->acceptedCount(), 2) << c.name;
    EXPECT_EQ(contents->files.back().inFlight.size(), 1u) << c.name;

    RunJournal journal;
    ASSERT_TRUE(journal.reopen(path)) << c.name;
    ASSERT_TRUE(journal.noteAccepted(kB, 2, 1000, "<b2@x>")) << c.name;
    contents = readJournal(path);
    ASSERT_TRUE(contents) << c.name;
    EXPECT_EQ(contents->acceptedCount(), 3) << c.name;
    EXPECT_TRUE(contents->files.back().inFlight.empty()) << c.name;
  }
}

// What a journal holds, on one line to compare.
std::string summaryOf(const JournalContents& contents) {
  std::string text =
      std::to_string(contents.settings.size()) + ' ' + contents.disguisedFrom + '|' + contents.disguisedIdDomain;
  for (const JournalFile& f : contents.files) {
    text += ' ' + f.name + ':' + std::to_string(f.size) + ':' + f.subject + ':' + std::to_string(f.date) + ':' +
            f.disguisedName + ':' + std::to_string(f.accepted.size()) + '/' + std::to_string(f.inFlight.size());
  }
  return text;
}

// A whole line with a matching check sum whose record cannot be read is
// left out; the journal around it still counts.
TEST(RunJournalTest, LeavesOutRecordsItCannotRead) {
  const char* const records[] = {
      "Z 1 2",                                           // unknown kind
      "A",                                               // no kind and space
      "S key",                                           // a setting without its value
      "S bad%ZZ value",                                  // a broken escape
      "F 10 x 1 c.bin",                                  // a time that is no number
      "D  zz.net",                                       // an empty From
      "N nameofx missing.bin",                           // a file never started
      "N  a.bin",                                        // an empty disguised name
      "T soon a.bin Other",                              // a date that is no number
      "A 2 1000 <b2@x> 1234567 two%20words%25%0A.bin",   // a part's sum one digit short
      "A 2 1000 <b2@x> 1234567G two%20words%25%0A.bin",  // a part's sum not hexadecimal
      "A x 1000 <b2@x> two%20words%25%0A.bin",           // a part that is no number
      "I 3 1000 <b3@x> missing.bin",                     // a part of a file never started
  };
  const test::TempDir dir;
  const std::string expected = summaryOf(*readJournal(writeSample(dir)));
  for (const std::string record : records) {
    const std::string path = writeSample(dir);
    char sum[10];
    std::snprintf(sum, sizeof sum, "%08X ", static_cast<unsigned>(crc32Update(0, record.data(), record.size())));
    ASSERT_TRUE(appendToFile(path, sum + record + '\n')) << record;
    const auto contents = readJournal(path);
    ASSERT_TRUE(contents) << record;
    EXPECT_EQ(summaryOf(*contents), expected) << record;
  }
}

TEST(RunJournalTest, MatchesOnlyTheSameSettings) {
  const test::TempDir dir;
  const auto contents = readJournal(writeSample(dir));
  ASSERT_TRUE(contents);
  const struct {
    JournalSettings settings;
    bool matches;
  } cases[] = {
      {{{"BodyComment", ""}, {"PartSize", "50000"}, {"Directory", "~/uploads"}}, true},
      {{{"Directory", "~/uploads"}, {"PartSize", "60000"}, {"BodyComment", ""}}, false},
      {{{"Directory", "~/other"}, {"PartSize", "50000"}, {"BodyComment", ""}}, false},
      {{{"Directory", "~/uploads"}, {"PartSize", "50000"}}, false},
      {{{"Directory", "~/uploads"}, {"PartSize", "50000"}, {"BodyComment", ""}, {"Subject", "x"}}, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(contents->matches(c.settings), c.matches) << c.settings.size() << c.settings[1].second;
  }
  EXPECT_FALSE(readJournal(dir.write("other", "Directory=~/uploads\n")));
  EXPECT_FALSE(readJournal(dir.file("missing")));
}

// A file whose size or time differs is another file: nothing of it counts
// as posted, and started again in the journal it starts over.
TEST(RunJournalTest, AChangedFileIsNotTheJournalsFile) {
  const test::TempDir dir;
  const std::string path = writeSample(dir);
  const auto contents = readJournal(path);
  ASSERT_TRUE(contents);
  EXPECT_EQ(contents->findFile("a.bin", 101, 7), nullptr);
  EXPECT_EQ(contents->findFile("a.bin", 100, 8), nullptr);
  EXPECT_EQ(contents->findFile("A.BIN", 100, 7), nullptr);

  RunJournal journal;
  ASSERT_TRUE(journal.reopen(path));
  ASSERT_TRUE(journal.noteDisguise("q7@rnd.com", "zz.net"));
  ASSERT_TRUE(journal.noteDisguisedName("a.bin", "nameofa"));
  ASSERT_TRUE(journal.noteDisguisedName(kB, "nameofb"));
  ASSERT_TRUE(journal.startFile("a.bin", 100, 7, 1));  // the same file again keeps its parts and name
  ASSERT_TRUE(journal.startFile("two words%\n.bin", 200001, 1700000000123456789, 3));
  const auto after = readJournal(path);
  ASSERT_TRUE(after);
  EXPECT_EQ(after->findFile("a.bin", 100, 7)->accepted.size(), 1u);
  EXPECT_EQ(after->findFile("a.bin", 100, 7)->disguisedName, "nameofa");
  EXPECT_EQ(after->disguisedFrom + " " + after->disguisedIdDomain, "q7@rnd.com zz.net");
  const JournalFile* changed = after->findFile("two words%\n.bin", 200001, 1700000000123456789);
  ASSERT_NE(changed, nullptr);
  EXPECT_TRUE(changed->accepted.empty());
  EXPECT_TRUE(changed->inFlight.empty());
  EXPECT_TRUE(changed->disguisedName.empty()) << "a changed file is posted whole under a name noted again";
  EXPECT_EQ(after->acceptedCount(), 1);
}

TEST(RunJournalTest, IsOwnerOnlyAndNeverWritesThroughALink) {
  const test::TempDir dir;
  const mode_t old = umask(0);
  const std::string target = dir.write("target", "keep");
  const std::string path = dir.file("j");
  ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
  RunJournal journal;
  const bool created = journal.create(path, kSettings);
  umask(old);
  ASSERT_TRUE(created);
  struct stat info {};
  ASSERT_EQ(lstat(path.c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(dir.read("target"), "keep");

  ASSERT_EQ(chmod(path.c_str(), 0644), 0);
  ASSERT_TRUE(journal.reopen(path));
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  ASSERT_TRUE(journal.finish());
  EXPECT_NE(access(path.c_str(), F_OK), 0);
}

}  // namespace
}  // namespace tidewell
