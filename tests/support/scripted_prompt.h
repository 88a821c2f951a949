#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "platform/user_prompt.h"

namespace tidewell {

// Tests: records every question and answers from a script (then the default).
class ScriptedPrompt final : public UserPrompt {
 public:
  struct Asked {
    std::string text;
    std::string caption;
    PromptButtons buttons;
    PromptIcon icon;
  };
  PromptAnswer ask(std::string_view text, std::string_view caption, PromptButtons buttons, PromptIcon icon,
                   PromptAnswer defaultAnswer) override;
  void beep() override { ++beeps; }

  std::deque<PromptAnswer> answers;
  std::vector<Asked> asked;
  int beeps = 0;
};

}  // namespace tidewell
