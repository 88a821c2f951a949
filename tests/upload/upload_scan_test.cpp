#include "upload/upload_scan.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "settings/settings_store.h"
#include "support/scripted_prompt.h"
#include "support/temp_dir.h"
#include "upload/files_bbs.h"
#include "upload/upload_list.h"

namespace tidewell {
namespace {

class UploadScanTest : public ::testing::Test {
 protected:
  UploadScanTest() : settings(config.file("Tidewell.INI")) {
    std::filesystem::create_directory(directory());
    settings.write("Directory", directory());
  }

  [[nodiscard]] std::string directory() const { return config.file("source"); }
  void put(const std::string& name, std::string_view content = "data") const {
    test::writeFile(directory() + "/" + name, content);
  }
  void useBbs(std::string_view lines) {
    settings.write("UseBBS", "TRUE");
    put("FILES.BBS", lines);
  }
  int scan() { return buildUploadList(list, directory(), settings, prompt); }

  [[nodiscard]] std::vector<std::string> names() const {
    std::vector<std::string> result;
    for (const nodeClass& entry : list) {
      result.push_back(*entry.getName());
    }
    return result;
  }
  [[nodiscard]] std::optional<std::string> descriptionOf(std::string_view name) const {
    for (const nodeClass& entry : list) {
      if (entry.getName() == name) {
        return entry.getDescription();
      }
    }
    ADD_FAILURE() << name << " not listed";
    return std::nullopt;
  }
  [[nodiscard]] std::vector<std::string> messages() const {
    std::vector<std::string> texts;
    for (const auto& asked : prompt.asked) {
      EXPECT_EQ(asked.caption, "Tidewell Error");
      EXPECT_EQ(asked.buttons, PromptButtons::Ok);
      EXPECT_EQ(asked.icon, PromptIcon::None);
      texts.push_back(asked.text);
    }
    return texts;
  }

  test::TempDir config;
  SettingsStore settings;
  ScriptedPrompt prompt;
  nodeManagerClass list;
};

TEST_F(UploadScanTest, ListsNonEmptyVisibleFilesInNameOrder) {
  for (const char* name :
       {"b.zip", "A.ZIP", "_x.zip", "c.txt", "Report07.TXT", "reports.zip", "files.Bbs", ".hidden.zip"}) {
    put(name);
  }
  put("empty.zip", "");
  std::filesystem::create_directory(directory() + "/folder.zip");
  put("folder.zip/inner.zip");
  ASSERT_EQ(mkfifo((directory() + "/pipe.zip").c_str(), 0644), 0);  // must not block the scan
  list.insertSorted(std::make_unique<nodeClass>(std::string("stale"), std::nullopt));

  EXPECT_EQ(scan(), kScanOk);
  EXPECT_EQ(names(), (std::vector<std::string>{"A.ZIP", "b.zip", "c.txt", "_x.zip"}));
  for (const nodeClass& entry : list) {
    EXPECT_FALSE(entry.getDescription()) << "UseBBS is off";
  }
  EXPECT_TRUE(prompt.asked.empty());
}

TEST_F(UploadScanTest, KeepsAFileItCannotOpenSoTheRunReportsIt) {
  put("a.zip");
  put("empty.zip", "");
  put("locked.zip");
  const std::string locked = directory() + "/locked.zip";
  ASSERT_EQ(chmod(locked.c_str(), 0), 0);
  // Root opens any file: the scan runs with an ordinary user's file access
  // (setfsuid changes only that, for this thread).
  ASSERT_EQ(chmod(config.path().c_str(), 0755), 0);
  ASSERT_EQ(chmod(directory().c_str(), 0755), 0);
  const bool root = geteuid() == 0;
  if (root) {
    setfsuid(65534);
  }
  const int probe = open(locked.c_str(), O_RDONLY);
  const int result = probe < 0 ? scan() : -1;
  if (root) {
    setfsuid(0);
  }
  if (probe >= 0) {
    close(probe);
    GTEST_SKIP() << "the file stays readable here";
  }
  EXPECT_EQ(result, kScanOk);
  EXPECT_EQ(names(), (std::vector<std::string>{"a.zip", "locked.zip"}));
}

TEST_F(UploadScanTest, EmptyOrMissingDirectoryGivesAnEmptyList) {
  put("a.zip");
  EXPECT_EQ(buildUploadList(list, "", settings, prompt), kScanOk);
  EXPECT_TRUE(list.isEmpty());
  EXPECT_EQ(buildUploadList(list, config.file("nowhere"), settings, prompt), kScanOk);
  EXPECT_TRUE(list.isEmpty());
}

TEST(ReportFileName, MatchesTheProgramsReportsInAnyCase) {
  EXPECT_TRUE(isReportFileName("Report07.TXT"));
  EXPECT_TRUE(isReportFileName("reports.zip"));
  EXPECT_TRUE(isReportFileName("  REPORT"));
  EXPECT_FALSE(isReportFileName("myreport.zip"));
  EXPECT_FALSE(isReportFileName("repo.zip"));
}

TEST(FileSize, CountsRegularFilesOnly) {
  test::TempDir dir;
  EXPECT_EQ(fileSizeOf(dir.write("five", "12345")), 5);
  EXPECT_EQ(fileSizeOf(dir.file("missing")), 0);
  EXPECT_EQ(fileSizeOf(dir.path()), 0);
}

TEST_F(UploadScanTest, DescriptionsAreCutAtTabsAndDoubleSpaces) {
  put("game.zip");
  put("arcade.zip");
  put("a.zip");
  put("skip.zip");
  useBbs(
      " skip.zip indented lines never match\r\n"
      "\tskip.zip nor do tabbed ones\r\n"
      "\r\n"
      "DATA.ZIP Some data\r\n"
      "GAME.ZIP  Great game   Version 2\r\n"
      "ARCADE.ZIP\tArcade\tFree\n"
      "a.zip Its own line\r\n"
      "skip.zip   \r\n");
  EXPECT_EQ(scan(), kScanOk);
  EXPECT_EQ(descriptionOf("game.zip"), "Great game");
  EXPECT_EQ(descriptionOf("arcade.zip"), "Arcade");
  EXPECT_EQ(descriptionOf("a.zip"), "Its own line");  // not the earlier DATA.ZIP line
  EXPECT_EQ(descriptionOf("skip.zip"), "");
  EXPECT_TRUE(messages().empty());
}

TEST_F(UploadScanTest, ALineDescribesTheFileItNamesWholeAtItsStart) {
  const struct {
    const char* file;
    std::optional<std::string> description;
  } rows[] = {
      {"a.zip", std::nullopt},       // only inside "ba.zip" and in a description
      {"readme.txt", std::nullopt},  // only mentioned in a description
      {"GAME.zip", "Great game"},   {"my file.zip", "Spaced name"}, {"solo.zip", ""}, {"twice.zip", "First"},
  };
  for (const auto& row : rows) {
    put(row.file);
  }
  useBbs(
      "ba.zip  Bad archive\r\n"
      "notes.txt  See readme.txt first, and a.zip\r\n"
      "a.zipper  Longer name\r\n"
      "game.ZIP  Great game\r\n"
      "my file.zip\tSpaced name\r\n"
      "solo.zip\r\n"
      "twice.zip First\r\n"
      "twice.zip Second\r\n");
  EXPECT_EQ(scan(), kScanWarnings);
  for (const auto& row : rows) {
    EXPECT_EQ(descriptionOf(row.file), row.description) << row.file;
  }
  EXPECT_EQ(messages().size(), 2u);
}

TEST_F(UploadScanTest, NamesThatDifferOnlyInLetterCaseKeepTheirLetters) {
  for (const char* name : {"Photo.JPG", "photo.jpg", "PHOTO.jpg", "Other.ZIP"}) {
    put(name);
  }
  EXPECT_EQ(scan(), kScanOk);
  std::vector<std::string> texts;
  for (const nodeClass& entry : list) {
    texts.push_back(entry.textName());
  }
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(texts, (std::vector<std::string>{"PHOTO.jpg", "Photo.JPG", "other.zip", "photo.jpg"}));
}

// With the working directory or the configuration folder as Directory, the
// program's own files are never posted, however the directory is spelt.
TEST_F(UploadScanTest, NeverListsTheProgramsOwnFiles) {
  const std::string folder = config.file("conf");
  std::filesystem::create_directory(folder);
  const std::string configFile = folder + "/Tidewell.INI";
  test::writeFile(configFile, "[Settings]\r\nPassword=secret\r\n");
  test::writeFile(folder + "/pic.jpg", "data");
  for (const char* name : {"LOGGIT.TXT", "TIDEWELL.ENC", "TIDEWELL.ART", "tidewell.lock", "Report07.TXT",
                           "Report07.nzb", "report12.json", "keep.zip"}) {
    put(name);
  }
  std::filesystem::create_symlink(configFile, directory() + "/settings.ini");
  std::filesystem::create_directory_symlink(directory(), config.file("link"));
  const std::vector<std::string> own{configFile, "LOGGIT.TXT", "TIDEWELL.ENC", "TIDEWELL.ART",
                                     directory() + "/tidewell.lock"};
  const test::ScopedChdir working(directory());
  for (const std::string& spelling :
       {std::string("."), std::string("./"), directory(), directory() + "/", config.file("link") + "/"}) {
    EXPECT_EQ(buildUploadList(list, spelling, settings, prompt, own), kScanOk);
    EXPECT_EQ(names(), std::vector<std::string>{"keep.zip"}) << spelling;
  }
  EXPECT_EQ(buildUploadList(list, folder, settings, prompt, own), kScanOk);
  EXPECT_EQ(names(), std::vector<std::string>{"pic.jpg"});
}

TEST_F(UploadScanTest, FindsTheLookupFileUnderAnyLetterCase) {
  settings.write("UseBBS", "TRUE");
  put("files.bbs", "pic.jpg Harbour at dusk\r\n");
  put("Pic.JPG");
  EXPECT_EQ(scan(), kScanOk);
  EXPECT_EQ(names(), std::vector<std::string>{"Pic.JPG"});
  EXPECT_EQ(descriptionOf("Pic.JPG"), "Harbour at dusk");
}

TEST_F(UploadScanTest, LongLinesAreReadInPieces) {
  put("far.zip");
  put("near.zip");
  // The second piece of the long line starts with a space: it is ignored
  // like any indented line, so far.zip finds nothing there.
  useBbs(std::string(4095, 'x') + " far.zip hidden\r\nnear.zip Near " + std::string(5000, 'y') + "\r\n");
  EXPECT_EQ(scan(), kScanWarnings);
  EXPECT_FALSE(descriptionOf("far.zip"));
  EXPECT_EQ(descriptionOf("near.zip")->size(), 4095u - 9u);
}

TEST_F(UploadScanTest, MissingDescriptionsWarnFourTimesThenOnce) {
  for (int i = 1; i <= 7; ++i) {
    put("File" + std::to_string(i) + ".zip");
  }
  useBbs("other.zip Something else\r\n");
  EXPECT_EQ(scan(), kScanWarnings);
  EXPECT_EQ(list.size(), 7u);
  // The first four files in listing order are named, then one notice.
  const std::vector<std::string> shown = messages();
  ASSERT_EQ(shown.size(), 5u);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_TRUE(shown[i].starts_with("file")) << shown[i];
    EXPECT_TRUE(shown[i].ends_with(".zip not found in lookup file FILES.BBS")) << shown[i];
    EXPECT_EQ(std::count(shown.begin(), shown.end(), shown[i]), 1);
  }
  EXPECT_EQ(shown[4], "Not displaying further warnings.");
  // A new scan counts from zero again.
  prompt.asked.clear();
  EXPECT_EQ(scan(), kScanWarnings);
  EXPECT_EQ(prompt.asked.size(), 5u);
}

TEST_F(UploadScanTest, LookupProblemsStopTheScan) {
  put("a.zip");
  settings.write("UseBBS", "TRUE");
  EXPECT_EQ(scan(), kScanFatal);
  EXPECT_TRUE(list.isEmpty());
  EXPECT_EQ(messages(), std::vector<std::string>{"FILES.BBS file does not exist or is not accessible."});

  // A directory named FILES.BBS exists but cannot be read as a file (this
  // holds for root too, unlike file permissions).
  prompt.asked.clear();
  std::filesystem::create_directory(directory() + "/FILES.BBS");
  EXPECT_EQ(scan(), kScanFatal);
  EXPECT_EQ(messages(), std::vector<std::string>{"FILES.BBS could not be opened."});

  prompt.asked.clear();
  settings.write("Directory", config.file("gone"));
  EXPECT_EQ(scan(), kScanFatal);
  EXPECT_EQ(messages(), std::vector<std::string>{"Specified Directory does not exist or is not accessible."});

  prompt.asked.clear();
  settings.write("Directory", "");
  EXPECT_EQ(scan(), kScanFatal);
  EXPECT_EQ(messages(), std::vector<std::string>{"No Directory has been set."});
}

TEST_F(UploadScanTest, AFatalProblemKeepsTheFilesTakenBefore) {
  put("a.zip");
  put("b.zip");
  useBbs("a.zip first\r\nb.zip second\r\n");
  DescriptionLookup lookup(settings, prompt);
  EXPECT_EQ(lookup.lookupDescription("B.ZIP"), "second");
  std::filesystem::remove(directory() + "/FILES.BBS");
  EXPECT_FALSE(lookup.lookupDescription("B.ZIP"));
  EXPECT_EQ(lookup.lookupStatus(), kLookupFatal);
}

TEST_F(UploadScanTest, TemplateListsEveryFileAndScansWithoutWarnings) {
  put("x.zip");
  put("y.zip");
  put("Report01.TXT");
  put("empty.zip", "");
  put("files.bbs", "old content\r\n");  // replaced, whatever its letter case
  ASSERT_TRUE(createFilesBbsTemplate(directory(), prompt));
  EXPECT_FALSE(std::filesystem::exists(directory() + "/FILES.BBS"));
  const std::string text = test::readFile(directory() + "/files.bbs");
  const std::string header =
      " Generic FILES.BBS Template File\r\n"
      " --------------------------------------------\r\n"
      " (Add descriptions of each file to each line)\r\n"
      "\r\n";
  ASSERT_TRUE(text.starts_with(header)) << text;
  std::vector<std::string> lines;
  for (std::size_t at = header.size(); at < text.size();) {
    const std::size_t end = text.find("\r\n", at);
    ASSERT_NE(end, std::string::npos);
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(lines, (std::vector<std::string>{"Report01.TXT ", "x.zip ", "y.zip "}));

  settings.write("UseBBS", "TRUE");
  EXPECT_EQ(scan(), kScanOk);
  EXPECT_EQ(descriptionOf("x.zip"), "");
  EXPECT_EQ(descriptionOf("y.zip"), "");
  EXPECT_TRUE(prompt.asked.empty());
}

TEST_F(UploadScanTest, TemplateThatCannotBeCreatedIsReported) {
  EXPECT_FALSE(createFilesBbsTemplate(config.file("missing"), prompt));
  EXPECT_EQ(messages(),
            std::vector<std::string>{"Error, unable to create FILES.BBS in the 'Files From Dir' directory."});
}

}  // namespace
}  // namespace tidewell
