#include "upload/journal_path.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <optional>
#include <string>

#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "upload/run_journal.h"

namespace tidewell::test {
namespace {

mode_t modeOf(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

TEST(JournalPath, LivesInTheStateFolderOnePerConfigurationFile) {
  TempDir dir;
  const ScopedEnv state("XDG_STATE_HOME", dir.file("state/deep"));
  const std::string work = dir.file("work");
  ASSERT_EQ(mkdir(work.c_str(), 0755), 0);
  ASSERT_EQ(mkdir(dir.file("other").c_str(), 0755), 0);
  const ScopedChdir inWork(work);

  const std::string path = resolveJournalPath(work + "/Tidewell.INI");
  const std::string folder = dir.file("state/deep/tidewell");
  ASSERT_EQ(path.substr(0, folder.size() + 1), folder + "/");
  EXPECT_EQ(path.substr(folder.size() + 1, 13), "Tidewell.INI-");
  EXPECT_EQ(path.substr(path.size() - 8), ".journal");
  EXPECT_EQ(modeOf(folder), 0700U);
  EXPECT_EQ(modeOf(dir.file("state")), 0700U) << "missing parents are made owner-only too";

  EXPECT_EQ(resolveJournalPath("Tidewell.INI"), path) << "a relative path names the same file";
  EXPECT_EQ(resolveJournalPath("./../work/Tidewell.INI"), path);
  EXPECT_NE(resolveJournalPath(dir.file("other/Tidewell.INI")), path) << "same name, another folder";
  EXPECT_NE(resolveJournalPath(work + "/Work.ini"), path);
}

TEST(JournalPath, AJournalBesideTheConfigurationIsStillUsed) {
  TempDir dir;
  const std::string config = dir.file("Tidewell.INI");
  const struct {
    const char* name;
    std::optional<std::string> stateHome;
    bool journalBeside;
    bool expectBeside;
  } cases[] = {
      {"journal of an earlier version", dir.file("state"), true, true},
      {"no journal yet", dir.file("state"), false, false},
      {"state folder cannot be made", dir.file("Tidewell.INI/state"), false, true},
  };
  writeFile(config, "[Settings]\n");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ScopedEnv state("XDG_STATE_HOME", c.stateHome);
    if (c.journalBeside) {
      writeFile(journalPathFor(config), "TIDEWELL-JOURNAL 1\n");
    }
    EXPECT_EQ(resolveJournalPath(config) == journalPathFor(config), c.expectBeside) << resolveJournalPath(config);
    std::remove(journalPathFor(config).c_str());
  }
}

}  // namespace
}  // namespace tidewell::test
