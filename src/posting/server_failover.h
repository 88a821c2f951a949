#pragma once

// The servers of a run, in the order it uses them: the main server, then
// the backup servers of sections [Server2] to [Server9] that have a Host.
// The run posts to one server at a time and moves to the next when the
// current one refuses it (the greeting, the login, STARTTLS, reader mode
// or "post") or stays unreachable after the run's reconnections; it never
// goes back. One connection and a pool of links move by the same rule.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "posting/session_server.h"

namespace tidewell {

class ServerFailover {
 public:
  // A run starts on the main server with these backups, read as it starts.
  void start(std::vector<ServerChoice> backups);

  [[nodiscard]] bool onBackup() const { return index_ > 0; }
  // 0 on the main server, k on the k-th backup: changes with each move.
  [[nodiscard]] std::size_t position() const { return index_; }
  [[nodiscard]] bool hasNext() const { return index_ < backups_.size(); }
  // The backup in use; only while onBackup().
  [[nodiscard]] const ServerChoice& backup() const { return backups_[index_ - 1]; }
  // Goes on to the next backup; only while hasNext().
  void moveOn() { ++index_; }

  // The mark of a part taken by a backup server, "[news2.example.com]";
  // empty on the main server, so a run without backups reads as before.
  [[nodiscard]] std::string mark() const;

 private:
  std::vector<ServerChoice> backups_;
  std::size_t index_ = 0;  // 0: the main server; k: backups_[k - 1]
};

// How the report names a server: its Host as written, with the Port key
// after a colon when that is set and not the usual port of its encryption
// ("news.example.com:8119", "[2001:db8::1]:8119"), so two servers on one
// host are told apart.
[[nodiscard]] std::string serverLabel(const ServerChoice& server);

// "Moving from news.example.com to news2.example.com: 502 Too many
// connections" (the report stamps it with the time).
[[nodiscard]] std::string serverMoveText(std::string_view from, std::string_view to, std::string_view why);

// Why the run leaves a server that stays unreachable.
[[nodiscard]] std::string unreachableText(int reconnections);

// A server's reply as a move's reason: one line, control characters as '?'.
[[nodiscard]] std::string replyAsReason(std::string_view reply);

}  // namespace tidewell
