#include "app/command_line.h"

#include "platform/text.h"

namespace tidewell {

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine result;
  for (const std::string& argument : arguments) {
    const std::string lowered = toLowerAscii(argument);
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
  return result;
}

}  // namespace tidewell
