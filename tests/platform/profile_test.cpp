#include "platform/profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace tidewell {
namespace {

using test::TempDir;

constexpr std::size_t kLimit = 4095;

std::string readKey(const std::string& path, std::string_view key, std::string_view section = "Settings") {
  return readProfileString(path, section, key, "<default>", kLimit);
}

TEST(ProfileRead, HandWrittenFileWithBlanksCrlfAndCommentsReadsLikeTheProfileApi) {
  TempDir dir;
  const std::string path = dir.write("t.ini",
                                     "; comment at the top\r\n"
                                     "[Other]\r\n"
                                     "Host=other.example\r\n"
                                     "\r\n"
                                     "  [ settings ]  \r\n"
                                     "# Host=commented.example\r\n"
                                     ";Host=also.commented\r\n"
                                     "  HOST   =   news.example.org  \r\n"
                                     "Host=second.example\r\n"
                                     "Empty=\r\n"
                                     "Blank =    \r\n"
                                     "NoEquals\r\n"
                                     "Quoted=\"  two blanks  \"\r\n"
                                     "Single='x'\r\n"
                                     "Lonely=\"half\r\n"
                                     "Inner=a \"b\" c\r\n"
                                     "Last=no final newline");
  // Case-insensitive section and key; the first of two equal keys counts; the
  // same key in another section and commented lines do not.
  EXPECT_EQ(readKey(path, "host"), "news.example.org");
  EXPECT_EQ(readKey(path, "Host", "SETTINGS"), "news.example.org");
  EXPECT_EQ(readKey(path, "Host", "other"), "other.example");
  // Present but empty is empty, not the default; absent is the default.
  EXPECT_EQ(readKey(path, "Empty"), "");
  EXPECT_EQ(readKey(path, "Blank"), "");
  EXPECT_EQ(readKey(path, "NoEquals"), "<default>");
  EXPECT_EQ(readKey(path, "Missing"), "<default>");
  EXPECT_EQ(readKey(path, "Host", "Nowhere"), "<default>");
  // One pair of matching quotes is taken off; anything else is kept.
  EXPECT_EQ(readKey(path, "Quoted"), "  two blanks  ");
  EXPECT_EQ(readKey(path, "Single"), "x");
  EXPECT_EQ(readKey(path, "Lonely"), "\"half");
  EXPECT_EQ(readKey(path, "Inner"), "a \"b\" c");
  EXPECT_EQ(readKey(path, "Last"), "no final newline");
}

TEST(ProfileRead, KeysBeforeTheFirstSectionBelongToNone) {
  TempDir dir;
  const std::string path = dir.write("t.ini", "Host=loose\n[Settings]\nPort=1\n");
  EXPECT_EQ(readKey(path, "Host"), "<default>");
}

TEST(ProfileRead, ByteOrderMarkBeforeTheFirstSectionIsIgnored) {
  TempDir dir;
  const std::string path = dir.write("t.ini", "\xEF\xBB\xBF[Settings]\nHost=bom.example\n");
  EXPECT_EQ(readKey(path, "Host"), "bom.example");
  ASSERT_TRUE(writeProfileString(path, "Settings", "From", "me"));
  EXPECT_EQ(dir.read("t.ini"), "\xEF\xBB\xBF[Settings]\nHost=bom.example\nFrom=me\n");
}

TEST(ProfileRead, ReadLimitCutsALongValueAndTheDefault) {
  TempDir dir;
  const std::string value(40000, 'g');
  const std::string path = dir.write("t.ini", "[Settings]\nNewsgroup=" + value + "\n");
  EXPECT_EQ(readProfileString(path, "Settings", "Newsgroup", "", 33999), value.substr(0, 33999));
  EXPECT_EQ(readProfileString(path, "Settings", "Newsgroup", "", 100000), value);
  EXPECT_EQ(readProfileString(path, "Settings", "Absent", "0123456789", 4), "0123");
}

TEST(ProfileRead, MissingOrUnreadableFileReadsAsDefaults) {
  TempDir dir;
  EXPECT_EQ(readKey(dir.file("absent.ini"), "Host"), "<default>");
  // A directory where the file should be cannot be read, even by root.
  ASSERT_EQ(mkdir(dir.file("dir.ini").c_str(), 0700), 0);
  EXPECT_EQ(readKey(dir.file("dir.ini"), "Host"), "<default>");
}

TEST(ProfileWrite, ReplacesOnlyTheFirstMatchingKeyAndKeepsEveryOtherByte) {
  TempDir dir;
  const std::string before =
      "; Tidewell settings\r\n"
      "[Other]\r\n"
      "host = stays\r\n"
      "\r\n"
      "[SETTINGS]\r\n"
      "  hOsT = old.example  ; not a comment, part of the value\r\n"
      "Host=duplicate\r\n"
      "\tUsername =  someone\r\n"
      "\r\n"
      "[Tail]\r\n"
      "x=1";
  const std::string path = dir.write("t.ini", before);
  ASSERT_TRUE(writeProfileString(path, "Settings", "HOST", "new.example"));
  // The key keeps its spelling in the file; the blanks around "=" of the
  // rewritten line go, every other line stays byte for byte.
  EXPECT_EQ(dir.read("t.ini"),
            "; Tidewell settings\r\n"
            "[Other]\r\n"
            "host = stays\r\n"
            "\r\n"
            "[SETTINGS]\r\n"
            "hOsT=new.example\r\n"
            "Host=duplicate\r\n"
            "\tUsername =  someone\r\n"
            "\r\n"
            "[Tail]\r\n"
            "x=1");
  EXPECT_EQ(readKey(path, "Host"), "new.example");
}

TEST(ProfileWrite, AddsKeyAtTheEndOfItsSectionWithTheFilesLineEnds) {
  TempDir dir;
  const std::string path = dir.write("t.ini", "[Settings]\r\nHost=h\r\n\r\n[Next]\r\nA=1\r\n");
  ASSERT_TRUE(writeProfileString(path, "settings", "From", "me@example.org"));
  EXPECT_EQ(dir.read("t.ini"), "[Settings]\r\nHost=h\r\nFrom=me@example.org\r\n\r\n[Next]\r\nA=1\r\n");
}

TEST(ProfileWrite, AddsSectionAfterALastLineWithoutNewline) {
  TempDir dir;
  const std::string path = dir.write("t.ini", "[Other]\nA=1");
  ASSERT_TRUE(writeProfileString(path, "Settings", "X", "-12"));
  EXPECT_EQ(dir.read("t.ini"), "[Other]\nA=1\n[Settings]\nX=-12\n");
  ASSERT_TRUE(writeProfileString(path, "Other", "B", "2"));
  EXPECT_EQ(dir.read("t.ini"), "[Other]\nA=1\nB=2\n[Settings]\nX=-12\n");
}

TEST(ProfileWrite, CreatesAMissingFileReadableByItsOwnerOnly) {
  TempDir dir;
  const std::string path = dir.file("new.ini");
  ASSERT_TRUE(writeProfileString(path, "Settings", "Password", "secret"));
  EXPECT_EQ(dir.read("new.ini"), "[Settings]\nPassword=secret\n");
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST(ProfileWrite, KeepsTheModeOfAnExistingFileAndWritesThroughASymlink) {
  TempDir dir;
  const std::string real = dir.write("real.ini", "[Settings]\nA=1\n");
  ASSERT_EQ(chmod(real.c_str(), 0640), 0);
  const std::string link = dir.file("link.ini");
  ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
  ASSERT_TRUE(writeProfileString(link, "Settings", "A", "2"));
  struct stat st {};
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(dir.read("real.ini"), "[Settings]\nA=2\n");
  ASSERT_EQ(stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(ProfileWrite, ALinkPlantedAtATemporaryNameNeverReceivesTheFile) {
  TempDir dir;
  const std::string path = dir.write("t.ini", "[Settings]\nHost=h\n");
  const std::string victim = dir.write("victim.txt", "untouched");
  const std::string planted = path + ".tmp-" + std::to_string(getpid());
  ASSERT_EQ(symlink(victim.c_str(), planted.c_str()), 0);
  ASSERT_TRUE(writeProfileString(path, "Settings", "Password", "secret"));
  EXPECT_EQ(dir.read("victim.txt"), "untouched");
  struct stat st {};
  ASSERT_EQ(lstat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(dir.read("t.ini"), "[Settings]\nHost=h\nPassword=secret\n");
}

TEST(ProfileWrite, RefusesAFileItCannotReadAndLeavesNoTemporaryFile) {
  TempDir dir;
  ASSERT_EQ(mkdir(dir.file("dir.ini").c_str(), 0700), 0);
  EXPECT_FALSE(writeProfileString(dir.file("dir.ini"), "Settings", "Host", "h"));
  struct stat st {};
  ASSERT_EQ(stat(dir.file("dir.ini").c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(dir.read("dir.ini"), "");
  EXPECT_FALSE(writeProfileString(dir.file("no/such/folder.ini"), "Settings", "Host", "h"));
}

TEST(ProfileWrite, ValuesReadBackExactlyAsWritten) {
  TempDir dir;
  const std::string path = dir.file("t.ini");
  const std::vector<std::string> values = {"plain",    "",   " leading", "trailing\t", "\"quoted\"",
                                           "'single'", "\"", "a=b;c#d",  "C:\\TEMP",   std::string(40000, 'v')};
  for (const std::string& value : values) {
    ASSERT_TRUE(writeProfileString(path, "Settings", "Key", value));
    EXPECT_EQ(readProfileString(path, "Settings", "Key", "<default>", 100000), value) << value.substr(0, 20);
  }
  // Only the quoted forms are written with quotes.
  ASSERT_TRUE(writeProfileString(path, "Settings", "Key", " x"));
  EXPECT_EQ(dir.read("t.ini"), "[Settings]\nKey=\" x\"\n");
}

TEST(ProfileWrite, AValueIsCutAtItsFirstLineBreak) {
  TempDir dir;
  const std::string path = dir.file("t.ini");
  ASSERT_TRUE(writeProfileString(path, "Settings", "Subject", "first\r\n[Evil]\nHost=x"));
  EXPECT_EQ(dir.read("t.ini"), "[Settings]\nSubject=first\n");
}

}  // namespace
}  // namespace tidewell
