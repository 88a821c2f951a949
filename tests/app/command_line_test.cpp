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
  const CommandLine line = parseCommandLine({"/AUTOQUIT", "/TideWell", "--Headless"});
  EXPECT_TRUE(line.postAtStart);
  EXPECT_TRUE(line.quitWhenDone);
  EXPECT_TRUE(line.headless);
  EXPECT_EQ(line.command, Command::Run);
}

TEST(CommandLine, SwitchesMustBeWholeArguments) {
  for (const std::string argument : {"/tidewellx", "x/autoquit", "/tidewell ", "tidewell", "-headless"}) {
    const CommandLine line = parseCommandLine({argument});
    EXPECT_FALSE(line.postAtStart);
    EXPECT_FALSE(line.quitWhenDone);
    EXPECT_FALSE(line.headless);
    EXPECT_EQ(line.command, Command::Usage) << argument;  // nor anything else
  }
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
      {{"--helpme"}, Command::Usage},
      {{"--hlep", "--help"}, Command::Help},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(parseCommandLine(c.arguments).command, c.command) << c.arguments.front();
  }
}

// The GNU-style options beside the switches: each argument list, what it
// asks for and, when it is refused, the start of the message naming the fault.
TEST(CommandLine, OptionTable) {
  const struct {
    std::vector<std::string> arguments;
    Command command;
    const char* problem;  // start of usageError; nullptr: none
  } cases[] = {
      {{"--hlep"}, Command::Usage, "unknown option \"--hlep\""},
      {{"-x"}, Command::Usage, "unknown option \"-x\""},
      {{"-help"}, Command::Usage, "unknown option \"-help\""},
      {{"--post", "--colour=red"}, Command::Usage, "unknown option \"--colour=red\""},
      {{"foo.conf", "/tidewell"}, Command::Usage, "unexpected argument \"foo.conf\""},
      {{"-"}, Command::Usage, "unexpected argument \"-\""},
      {{"--config"}, Command::Usage, "Missing value"},
      {{"-c", "a.conf", "b.ini"}, Command::Usage, "name one configuration file"},
      {{"-c", "a.conf", "--config=b.conf"}, Command::Usage, "name one configuration file"},
      {{"--with", "Host"}, Command::Usage, "--with needs KEY=VALUE"},
      {{"--with", "Host=a", "--set", "Host=b"}, Command::Usage, "--with is for one run"},
      {{"--output="}, Command::Usage, "--output needs a folder"},
      {{"-h"}, Command::Usage, "unknown option \"-h\""},
      {{"--POST", "--Quit-When-Done", "--output", "~/reports", "--with", "Subject=x", "--with=Connections=1"},
       Command::Run,
       nullptr},
      {{"--with", "Host=a", "--get", "Host"}, Command::Get, nullptr},
      {{"--", "-c.ini"}, Command::Run, nullptr},
  };
  for (const auto& c : cases) {
    const CommandLine line = parseCommandLine(c.arguments);
    SCOPED_TRACE(c.arguments.front());
    EXPECT_EQ(line.command, c.command);
    if (c.problem != nullptr) {
      EXPECT_EQ(line.usageError.rfind(c.problem, 0), 0u) << line.usageError;
    }
  }

  const CommandLine run = parseCommandLine(
      {"--POST", "--Quit-When-Done", "--output", "~/reports", "--with", "Subject=x", "--with=Connections=1"});
  EXPECT_TRUE(run.postAtStart);
  EXPECT_TRUE(run.quitWhenDone);
  EXPECT_EQ(run.outputFolder, "~/reports");
  EXPECT_EQ(run.overrides, (std::vector<std::string>{"Subject=x", "Connections=1"}));
  EXPECT_FALSE(run.configFilePath.has_value());
}

// -c takes any name, as written, byte for byte, even one that looks like an
// option or holds bytes that are not UTF-8.
TEST(CommandLine, ConfigTakesAnyName) {
  for (const std::string name : {"foo.conf", "/srv/Tidewell Settings", "--weird", "caf\xE9.cfg", "x.ini"}) {
    EXPECT_EQ(parseCommandLine({"-c", name, "--headless"}).configFilePath, name);
    EXPECT_EQ(parseCommandLine({"--config=" + name}).configFilePath, name);
    EXPECT_EQ(parseCommandLine({"--CONFIG", name, "/tidewell"}).command, Command::Run);
  }
  EXPECT_EQ(parseCommandLine({"-cfoo.conf"}).configFilePath, "foo.conf");
}

}  // namespace
}  // namespace tidewell
