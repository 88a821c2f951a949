#include "platform/user_prompt.h"

#include <cstdio>
#include <string>

namespace tidewell {

namespace {
const char* answerName(PromptAnswer answer) {
  switch (answer) {
    case PromptAnswer::Ok:
      return "OK";
    case PromptAnswer::Cancel:
      return "Cancel";
    case PromptAnswer::Yes:
      return "Yes";
    case PromptAnswer::No:
      return "No";
  }
  return "";
}
}  // namespace

PromptAnswer StderrPrompt::ask(std::string_view text, std::string_view caption, PromptButtons buttons,
                               PromptIcon /*icon*/, PromptAnswer defaultAnswer) {
  std::string line(caption);
  line += ": ";
  line += text;
  if (buttons != PromptButtons::Ok) {
    line += " [";
    line += answerName(defaultAnswer);
    line += "]";
  }
  line += "\n";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  return defaultAnswer;
}

}  // namespace tidewell
