#include "app/command_line.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>
#include <array>
#include <string_view>

#include "platform/text.h"

namespace tidewell {

namespace {

// The long options, as the parser knows them; on the command line they match
// in any letter case, like the switches.
constexpr std::array<std::string_view, 11> kLongOptions = {
    "config", "post", "quit-when-done", "headless", "output", "with", "set", "get", "settings", "help", "version",
};
// Options whose value is the next argument unless given as "--name=VALUE".
constexpr std::array<std::string_view, 5> kValueOptions = {"-c", "--config", "--output", "--with", "--get"};

// Arguments pass through Qt as Latin-1, so every byte of a file name comes
// back as it was, whatever the locale.
QString toQt(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string fromQt(const QString& text) {
  const QByteArray bytes = text.toLatin1();
  return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

bool isOneOf(std::string_view text, auto& names) {
  for (const std::string_view name : names) {
    if (text == name) {
      return true;
    }
  }
  return false;
}

// "--NAME" or "--NAME=VALUE" where NAME is a long option in any letter case:
// spelled as the parser knows it. Everything else as it is.
std::string canonical(const std::string& argument) {
  if (argument.size() < 3 || argument.rfind("--", 0) != 0) {
    return argument;
  }
  const std::size_t equals = argument.find('=');
  const std::string name = toLowerAscii(argument.substr(2, equals == std::string::npos ? equals : equals - 2));
  if (!isOneOf(name, kLongOptions)) {
    return argument;
  }
  return "--" + name + (equals == std::string::npos ? "" : argument.substr(equals));
}

// An argument the parser takes as an option it knows.
bool isKnownOption(const std::string& argument) {
  if (argument.rfind("--", 0) == 0) {
    return isOneOf(argument.substr(2, argument.find('=') - 2), kLongOptions);
  }
  return argument.rfind("-c", 0) == 0;
}

void ask(CommandLine& result, Command command) {
  if (result.command != Command::Run && result.command != command) {
    result.usageError = "give only one of --set, --get and --settings.";
  }
  result.command = command;
}

void refuse(CommandLine& result, std::string problem) {
  if (result.usageError.empty()) {
    result.usageError = std::move(problem);
  }
}

struct Prepared {
  QStringList arguments{QStringLiteral("tidewell")};
  std::optional<std::string> unknownOption;  // the first, as written
};

// Options in the parser's spelling; the assignments after "--set" taken out
// (they are values, whatever they look like); an unknown option noted.
Prepared prepare(const std::vector<std::string>& arguments, CommandLine& result) {
  Prepared prepared;
  bool optionsEnd = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string argument = optionsEnd ? arguments[i] : canonical(arguments[i]);
    prepared.arguments << toQt(argument);
    if (optionsEnd) {
      continue;
    }
    if (argument == "--") {
      optionsEnd = true;
    } else if (argument == "--set") {
      const std::size_t before = result.assignments.size();
      while (i + 1 < arguments.size() && arguments[i + 1].find('=') != std::string::npos) {
        result.assignments.push_back(arguments[++i]);
      }
      if (result.assignments.size() == before) {
        refuse(result, "--set needs KEY=VALUE.");
      }
    } else if (isOneOf(argument, kValueOptions) && i + 1 < arguments.size()) {
      prepared.arguments << toQt(arguments[++i]);
    } else if (argument.size() > 1 && argument.front() == '-' && !isKnownOption(argument) && !prepared.unknownOption) {
      prepared.unknownOption = argument;
    }
  }
  return prepared;
}

// The options as the parser knows them.
struct Options {
  QCommandLineOption config{QStringList{QStringLiteral("c"), QStringLiteral("config")}, QString(),
                            QStringLiteral("FILE")};
  QCommandLineOption post{QStringLiteral("post")};
  QCommandLineOption quitWhenDone{QStringLiteral("quit-when-done")};
  QCommandLineOption headless{QStringLiteral("headless")};
  QCommandLineOption output{QStringLiteral("output"), QString(), QStringLiteral("DIR")};
  QCommandLineOption with{QStringLiteral("with"), QString(), QStringLiteral("KEY=VALUE")};
  QCommandLineOption set{QStringLiteral("set")};
  QCommandLineOption get{QStringLiteral("get"), QString(), QStringLiteral("KEY")};
  QCommandLineOption settings{QStringLiteral("settings")};
  QCommandLineOption help{QStringLiteral("help")};
  QCommandLineOption version{QStringLiteral("version")};

  [[nodiscard]] QList<QCommandLineOption> all() const {
    return {config, post, quitWhenDone, headless, output, with, set, get, settings, help, version};
  }
};

// "/tidewell", "/autoquit" and a configuration file named without -c.
void takePositionals(const QStringList& positionals, CommandLine& result) {
  for (const QString& positional : positionals) {
    const std::string argument = fromQt(positional);
    const std::string lowered = toLowerAscii(argument);
    if (lowered == "/tidewell") {
      result.postAtStart = true;
    } else if (lowered == "/autoquit") {
      result.quitWhenDone = true;
    } else if (lowered.find(".ini") != std::string::npos) {
      if (!result.configFilePath) {
        result.configFilePath = argument;
      }
    } else {
      refuse(result, "unexpected argument \"" + argument + "\" (a configuration file is named with -c FILE).");
    }
  }
}

// The values of --config, --output and --with.
void takeValues(const QCommandLineParser& parser, const Options& options, CommandLine& result) {
  const QStringList configs = parser.values(options.config);
  if (!configs.isEmpty()) {
    if (configs.size() > 1 || result.configFilePath) {
      refuse(result, "name one configuration file.");
    } else if (configs.front().isEmpty()) {
      refuse(result, "--config needs a file name.");
    }
    result.configFilePath = fromQt(configs.front());
  }
  if (parser.isSet(options.output)) {
    result.outputFolder = fromQt(parser.values(options.output).back());
    if (result.outputFolder->empty()) {
      refuse(result, "--output needs a folder.");
    }
  }
  for (const QString& value : parser.values(options.with)) {
    result.overrides.push_back(fromQt(value));
    if (!value.contains(QLatin1Char('='))) {
      refuse(result, "--with needs KEY=VALUE.");
    }
  }
}

// What the command line asks for: help and version before anything else,
// then a refusal, then the settings' commands, else a run.
void takeCommand(const QCommandLineParser& parser, const Options& options, CommandLine& result) {
  if (parser.isSet(options.settings)) {
    ask(result, Command::Settings);
  }
  if (parser.isSet(options.get)) {
    ask(result, Command::Get);
    result.key = fromQt(parser.value(options.get));
  }
  if (parser.isSet(options.set)) {
    ask(result, Command::Set);
    if (!result.overrides.empty()) {
      refuse(result, "--with is for one run and --set writes the file: give one of them.");
    }
  }
  if (parser.isSet(options.help)) {
    result.command = Command::Help;
  } else if (parser.isSet(options.version)) {
    result.command = Command::Version;
  } else if (!result.usageError.empty()) {
    result.command = Command::Usage;
  }
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine result;
  const Options options;
  QCommandLineParser parser;
  parser.addOptions(options.all());

  const Prepared prepared = prepare(arguments, result);
  const bool parsed = parser.parse(prepared.arguments);
  if (prepared.unknownOption) {
    refuse(result, "unknown option \"" + *prepared.unknownOption + "\".");
  } else if (!parsed) {
    refuse(result, fromQt(parser.errorText()));
  }

  result.postAtStart = parser.isSet(options.post);
  result.quitWhenDone = parser.isSet(options.quitWhenDone);
  result.headless = parser.isSet(options.headless);
  takePositionals(parser.positionalArguments(), result);
  takeValues(parser, options, result);
  takeCommand(parser, options, result);
  return result;
}

}  // namespace tidewell
