#pragma once

#include <cstdint>

namespace tidewell {

class Clock;
class SettingsStore;

// The count of articles with a Post-Count header ever composed by this
// installation lives in the configuration file, key PostCount of section
// "Settings": the one file the program keeps between runs, already private
// to its owner, and written key by key so other settings stay untouched.
// Increases the stored count by one and returns the new value (1 for the
// first article). A missing, unreadable or negative stored value counts
// as 0.
std::int64_t nextPostCount(SettingsStore& settings);

// Hands out the counts of a run. Written through, each count goes to the
// configuration file at once (nextPostCount). Batched (fast posting), the
// count is read once and kept here, and written when a second of the
// clock has passed since the last write, on flush() and when the counter
// goes: a run at line rate does not rewrite the file for every article,
// and no count it handed out is lost when it ends or stops.
class PostCounter {
 public:
  PostCounter(SettingsStore& settings, const Clock& clock) : settings_(settings), clock_(clock) {}
  PostCounter(const PostCounter&) = delete;
  PostCounter& operator=(const PostCounter&) = delete;
  ~PostCounter() { flush(); }

  // Writes what is held first; a batch reads the stored count again.
  void batch(bool on);
  [[nodiscard]] std::int64_t next();
  void flush();

 private:
  SettingsStore& settings_;
  const Clock& clock_;
  bool batched_ = false;
  bool held_ = false;     // count_ stands for the stored value
  bool unsaved_ = false;  // count_ is ahead of the file
  std::int64_t count_ = 0;
  std::int64_t writtenMs_ = 0;
};

}  // namespace tidewell
