#pragma once

#include "posting/posting_session.h"

namespace tidewell {

// What the posting panel's three buttons ask of the posting session. An
// interface, so the panel can be built and tested without a session.
class PostingCommands {
 public:
  virtual ~PostingCommands() = default;
  virtual void Post() = 0;
  // Quit while idle, Stop during a session.
  virtual void StopOrQuit() = 0;
  // Called before the settings panel opens.
  virtual void SettingsCommand() = 0;
};

// The commands forwarded to a PostingSession.
class SessionCommands final : public PostingCommands {
 public:
  explicit SessionCommands(PostingSession& session) : session_(session) {}
  SessionCommands(const SessionCommands&) = delete;
  SessionCommands& operator=(const SessionCommands&) = delete;

  void Post() override { session_.Post(); }
  void StopOrQuit() override { session_.StopOrQuit(); }
  void SettingsCommand() override { session_.SettingsCommand(); }

 private:
  PostingSession& session_;
};

}  // namespace tidewell
