#pragma once

#include <memory>

#include "platform/user_prompt.h"

namespace tidewell {

// The program's one prompt, handed by reference to everyone who asks the
// user something. It passes each question on to the front end's own way of
// asking (Qt message boxes, standard error, a test's script), which may be
// replaced while the references stay valid.
class FrontEndPrompt final : public UserPrompt {
 public:
  FrontEndPrompt() : target_(std::make_unique<StderrPrompt>()) {}

  void setTarget(std::unique_ptr<UserPrompt> target) { target_ = std::move(target); }
  [[nodiscard]] UserPrompt& target() const { return *target_; }

  PromptAnswer ask(std::string_view text, std::string_view caption, PromptButtons buttons, PromptIcon icon,
                   PromptAnswer defaultAnswer) override {
    return target_->ask(text, caption, buttons, icon, defaultAnswer);
  }
  void beep() override { target_->beep(); }

 private:
  std::unique_ptr<UserPrompt> target_;
};

}  // namespace tidewell
