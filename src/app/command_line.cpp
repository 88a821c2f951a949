#include "app/command_line.h"

#include "settings/trim.h"

namespace tidewell {

namespace {

void ask(CommandLine& result, Command command) {
  if (result.command != Command::Run && result.command != command) {
    result.usageError = "give only one of --set, --get and --settings.";
  }
  result.command = command;
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine result;
  bool help = false;
  bool version = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const std::string lowered = toLowerAscii(argument);
    if (lowered == "--help") {
      help = true;
    } else if (lowered == "--version") {
      version = true;
    } else if (lowered == "--settings") {
      ask(result, Command::Settings);
    } else if (lowered == "--get") {
      ask(result, Command::Get);
      if (i + 1 < arguments.size()) {
        result.key = arguments[++i];
      } else {
        result.usageError = "--get needs the name of a setting.";
      }
      continue;
    } else if (lowered == "--set") {
      ask(result, Command::Set);
      const std::size_t before = result.assignments.size();
      while (i + 1 < arguments.size() && arguments[i + 1].find('=') != std::string::npos) {
        result.assignments.push_back(arguments[++i]);
      }
      if (result.assignments.size() == before) {
        result.usageError = "--set needs KEY=VALUE.";
      }
      continue;
    }
    if (lowered == "/tidewell") {
      result.postAtStart = true;
    }
    if (lowered == "/autoquit") {
      result.quitWhenDone = true;
    }
    if (lowered == "--headless") {
      result.headless = true;
    }
    if (!result.configFilePath && lowered.find(".ini") != std::string::npos) {
      result.configFilePath = argument;
    }
  }
  if (help) {
    result.command = Command::Help;
  } else if (version) {
    result.command = Command::Version;
  } else if (!result.usageError.empty()) {
    result.command = Command::Usage;
  }
  return result;
}

}  // namespace tidewell
