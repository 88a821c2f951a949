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
  virtual void setUp() = 0;
  virtual void post() = 0;
  // Quit while idle, Stop during a session.
  virtual void stopOrQuit() = 0;
  // Called before the settings panel opens.
  virtual void settingsCommand() = 0;
};

// The commands carried out by a PostingSession, which this object owns.
class SessionCommands final : public PostingCommands {
 public:
  explicit SessionCommands(std::unique_ptr<PostingSession> session) : session_(std::move(session)) {}
  SessionCommands(const SessionCommands&) = delete;
  SessionCommands& operator=(const SessionCommands&) = delete;

  void setUp() override { session_->setUp(); }
  void post() override { session_->post(); }
  void stopOrQuit() override { session_->stopOrQuit(); }
  void settingsCommand() override { session_->settingsCommand(); }

  [[nodiscard]] PostingSession& session() const { return *session_; }

 private:
  std::unique_ptr<PostingSession> session_;
};

}  // namespace tidewell
