#include "app/command_line.h"

#include <gtest/gtest.h>

namespace tidewell {
namespace {

TEST(CommandLine, NoArgumentsMeansNoSwitchesAndNoConfigurationFile) {
  const CommandLine line = parseCommandLine({});
  EXPECT_FALSE(line.postAtStart);
  EXPECT_FALSE(line.quitWhenDone);
  EXPECT_FALSE(line.headless);
  EXPECT_FALSE(line.configFilePath.has_value());
}

TEST(CommandLine, SwitchesMatchInAnyLetterCaseAndAnyOrder) {
  const CommandLine line = parseCommandLine({"/AUTOQUIT", "ignored", "/TideWell", "--Headless"});
  EXPECT_TRUE(line.postAtStart);
  EXPECT_TRUE(line.quitWhenDone);
  EXPECT_TRUE(line.headless);
}

TEST(CommandLine, SwitchesMustBeWholeArguments) {
  const CommandLine line = parseCommandLine({"/tidewellx", "x/autoquit", "/tidewell ", "tidewell", "-headless"});
  EXPECT_FALSE(line.postAtStart);
  EXPECT_FALSE(line.quitWhenDone);
  EXPECT_FALSE(line.headless);
}

TEST(CommandLine, FirstArgumentContainingIniIsTheConfigurationFileWithItsCaseKept) {
  const CommandLine line = parseCommandLine({"/tidewell", "/Home/Me/My.INI", "second.ini"});
  EXPECT_EQ(line.configFilePath, "/Home/Me/My.INI");
  EXPECT_TRUE(line.postAtStart);
}

TEST(CommandLine, IniAnywhereInTheArgumentCounts) {
  EXPECT_EQ(parseCommandLine({"Tidewell.ini.bak"}).configFilePath, "Tidewell.ini.bak");
  EXPECT_EQ(parseCommandLine({"setup.Initial"}).configFilePath, "setup.Initial");
  EXPECT_FALSE(parseCommandLine({"tidewell.in", "ini"}).configFilePath.has_value());
}

TEST(CommandLine, AnArgumentCanBothNameTheFileAndBeIgnoredAsASwitch) {
  // "/tidewell.ini" is not the switch, but it is a configuration file.
  const CommandLine line = parseCommandLine({"/tidewell.ini"});
  EXPECT_FALSE(line.postAtStart);
  EXPECT_EQ(line.configFilePath, "/tidewell.ini");
}

TEST(CommandLine, OptionsTakeTheirValuesAwayFromTheSwitches) {
  const CommandLine set = parseCommandLine({"--SET", "Directory=/srv/x.ini", "Host=news", "/tidewell", "My.ini"});
  EXPECT_EQ(set.command, Command::Set);
  EXPECT_EQ(set.assignments, (std::vector<std::string>{"Directory=/srv/x.ini", "Host=news"}));
  EXPECT_TRUE(set.postAtStart);
  EXPECT_EQ(set.configFilePath, "My.ini");

  const CommandLine get = parseCommandLine({"--get", "/tidewell"});
  EXPECT_EQ(get.command, Command::Get);
  EXPECT_EQ(get.key, "/tidewell");
  EXPECT_FALSE(get.postAtStart);

  const struct {
    std::vector<std::string> arguments;
    Command command;
  } cases[] = {
      {{"--settings"}, Command::Settings},
      {{"--set", "Host=a", "--help"}, Command::Help},
      {{"--get", "Host", "--version"}, Command::Version},
      {{"--help", "--version"}, Command::Help},
      {{"--set"}, Command::Usage},
      {{"--set", "Host"}, Command::Usage},
      {{"--get"}, Command::Usage},
      {{"--get", "Host", "--settings"}, Command::Usage},
      {{"-help", "help", "--helpme"}, Command::Run},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(parseCommandLine(c.arguments).command, c.command) << c.arguments.front();
  }
}

}  // namespace
}  // namespace tidewell
