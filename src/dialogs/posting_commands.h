#pragma once

#include <memory>
#include <utility>

#include "posting/posting_session.h"

namespace tidewell {

// What the posting panel asks of the posting session: set-up when it first
// shows, and the commands of its three buttons. An interface, so the panel
// can be built and tested without a session.
class PostingCommands {
 public:
  virtual ~PostingCommands() = default;
  virtual void SetUp() = 0;
  virtual void Post() = 0;
  // Quit while idle, Stop during a session.
  virtual void StopOrQuit() = 0;
  // Called before the settings panel opens.
  virtual void SettingsCommand() = 0;
};

// The commands carried out by a PostingSession, which this object owns.
class SessionCommands final : public PostingCommands {
 public:
  explicit SessionCommands(std::unique_ptr<PostingSession> session) : session_(std::move(session)) {}
  SessionCommands(const SessionCommands&) = delete;
  SessionCommands& operator=(const SessionCommands&) = delete;

  void SetUp() override { session_->SetUp(); }
  void Post() override { session_->Post(); }
  void StopOrQuit() override { session_->StopOrQuit(); }
  void SettingsCommand() override { session_->SettingsCommand(); }

  [[nodiscard]] PostingSession& session() const { return *session_; }

 private:
  std::unique_ptr<PostingSession> session_;
};

}  // namespace tidewell
