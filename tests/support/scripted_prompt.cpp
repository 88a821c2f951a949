#include "support/scripted_prompt.h"

namespace tidewell {

PromptAnswer ScriptedPrompt::ask(std::string_view text, std::string_view caption, PromptButtons buttons,
                                 PromptIcon icon, PromptAnswer defaultAnswer) {
  asked.push_back(Asked{std::string(text), std::string(caption), buttons, icon});
  if (answers.empty()) {
    return defaultAnswer;
  }
  const PromptAnswer answer = answers.front();
  answers.pop_front();
  return answer;
}

}  // namespace tidewell
