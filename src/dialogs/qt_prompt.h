#pragma once

#include "platform/user_prompt.h"

class QWidget;

namespace tidewell {

// Message boxes of the Qt front end: a modal QMessageBox with the buttons,
// icon and default button asked for. While it is open Qt's loop keeps
// running, and with it the program's message loop.
class QtPrompt final : public UserPrompt {
 public:
  PromptAnswer ask(std::string_view text, std::string_view caption, PromptButtons buttons, PromptIcon icon,
                   PromptAnswer defaultAnswer) override;
  void beep() override;
};

}  // namespace tidewell
