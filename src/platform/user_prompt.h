#pragma once

#include <string_view>

namespace tidewell {

enum class PromptButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class PromptIcon { None, Stop, Question, Exclamation, Information };
enum class PromptAnswer { Ok, Cancel, Yes, No };

// Message boxes and questions to the user. Abstract so each front end shows
// them its own way: Qt message boxes in the GUI, standard error with the
// default answer when headless, scripted answers in tests.
class UserPrompt {
 public:
  virtual ~UserPrompt() = default;
  // Shows `text` under `caption` and returns the answer. `defaultAnswer` is
  // the button a user would get by pressing Enter; unattended front ends
  // take it.
  virtual PromptAnswer ask(std::string_view text, std::string_view caption, PromptButtons buttons, PromptIcon icon,
                           PromptAnswer defaultAnswer) = 0;
  // The warning beep of an invalid action.
  virtual void beep() {}

  void notify(std::string_view text, std::string_view caption, PromptIcon icon = PromptIcon::None) {
    ask(text, caption, PromptButtons::Ok, icon, PromptAnswer::Ok);
  }
};

// Headless: the text goes to standard error, the default answer is taken.
class StderrPrompt final : public UserPrompt {
 public:
  PromptAnswer ask(std::string_view text, std::string_view caption, PromptButtons buttons, PromptIcon icon,
                   PromptAnswer defaultAnswer) override;
};

}  // namespace tidewell
