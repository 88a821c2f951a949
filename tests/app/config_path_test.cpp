#include "app/config_path.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/temp_dir.h"

namespace tidewell {
namespace {

using test::TempDir;

TEST(ConfigPath, FileInTheCurrentDirectoryWins) {
  TempDir dir;
  dir.write("Tidewell.INI", "[Settings]\n");
  const ConfigLocations where{dir.path(), "/xdg", "/home/me"};
  EXPECT_EQ(defaultConfigFilePath(where), dir.path() + "/Tidewell.INI");
}

TEST(ConfigPath, OtherwiseTheConfigurationFolderWhetherOrNotTheFileExists) {
  TempDir dir;
  dir.write("tidewell.ini", "[Settings]\n");  // another letter case is another file
  EXPECT_EQ(defaultConfigFilePath({dir.path(), "/xdg/", "/home/me"}), "/xdg/tidewell/Tidewell.INI");
  EXPECT_EQ(defaultConfigFilePath({dir.path(), "", "/home/me"}), "/home/me/.config/tidewell/Tidewell.INI");
  // A relative XDG_CONFIG_HOME is not valid and is passed over.
  EXPECT_EQ(defaultConfigFilePath({dir.path(), "relative", "/home/me/"}), "/home/me/.config/tidewell/Tidewell.INI");
}

TEST(ConfigPath, WithoutAnyFolderTheBareNameIsUsed) {
  EXPECT_EQ(defaultConfigFilePath({"", "", ""}), "Tidewell.INI");
  EXPECT_EQ(configFolder({"/x", "", ""}), "");
}

TEST(ConfigPath, TheConfigurationFolderIsCreatedPrivateButNoOtherFolder) {
  TempDir dir;
  const ConfigLocations where{dir.path(), dir.file("xdg"), "/nonexistent"};
  const std::string path = defaultConfigFilePath(where);
  ASSERT_EQ(path, dir.file("xdg/tidewell/Tidewell.INI"));
  prepareConfigFolder(path, where);
  struct stat st {};
  ASSERT_EQ(stat(dir.file("xdg/tidewell").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  // A file named on the command line lives where the user put it.
  prepareConfigFolder(dir.file("elsewhere/my.ini"), where);
  EXPECT_NE(stat(dir.file("elsewhere").c_str(), &st), 0);
}

}  // namespace
}  // namespace tidewell
