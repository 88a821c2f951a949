#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/file_io.h"

namespace tidewell {

class SettingsStore;

// The run journal (Resume=TRUE): what a run has posted, written as it goes,
// so a run started again after a crash, kill -9 or power loss posts only
// what is missing. One text file per configuration file (where:
// resolveJournalPath, journal_path.h), owner-only, appended to one line per
// record and synced after each. docs/posting.md describes the format.

// The settings that shape the run's articles, as key and value.
using JournalSettings = std::vector<std::pair<std::string, std::string>>;

// The keys whose values change the articles' bytes, their cutting into
// parts or their ids: a journal written under other values does not
// describe the articles this run would post.
[[nodiscard]] JournalSettings journalSettings(const SettingsStore& settings);

// The journal's place beside a configuration file, where earlier versions
// kept it ("<configuration file>.journal").
[[nodiscard]] std::string journalPathFor(const std::string& configFilePath);

struct JournalPart {
  std::int64_t bytes = 0;  // the article as posted
  std::string messageId;   // angle brackets included
};

// One file of the journal: what it was when its posting started, and its
// articles.
struct JournalFile {
  std::string name;  // as listed in the directory
  std::int64_t size = 0;
  std::int64_t mtimeNs = 0;
  std::int32_t partCount = 0;
  std::string subject;                           // the first part's subject, for the NZB
  std::int64_t date = 0;                         // Unix seconds the first part was composed
  std::map<std::int32_t, JournalPart> accepted;  // by part number, from 1
  // Articles whose data went out without an acknowledgement in the
  // journal: the server may hold them or not.
  std::map<std::int32_t, JournalPart> inFlight;
};

struct JournalContents {
  JournalSettings settings;
  std::vector<JournalFile> files;

  // Whether it was written under the same settings (in any order).
  [[nodiscard]] bool matches(const JournalSettings& current) const;
  // The file's entry when it is the same file: name, size and modification
  // time all agree. A changed file has none and is posted from its start.
  [[nodiscard]] const JournalFile* findFile(std::string_view name, std::int64_t size, std::int64_t mtimeNs) const;
  // Accepted articles over all files.
  [[nodiscard]] std::int32_t acceptedCount() const;
};

// Reads a journal. None when it is missing, unreadable or not a journal.
// Lines that are torn (no line end: the write was cut short) or whose
// check sum does not match are left out.
[[nodiscard]] std::optional<JournalContents> readJournal(const std::string& path);

// The size and modification time (nanoseconds) of a file; false when it
// cannot be looked at.
[[nodiscard]] bool fileStamp(const std::string& path, std::int64_t& size, std::int64_t& mtimeNs);

// Writes a journal. Every call appends one record and syncs the file; false
// (errno set) on failure, after which the journal is closed and the
// remaining calls do nothing.
class RunJournal {
 public:
  // A new journal in place of any old one, holding `settings`.
  bool create(const std::string& path, const JournalSettings& settings);
  // Goes on with an existing journal; a torn last line is cut off first so
  // the next record starts on a line of its own.
  bool reopen(const std::string& path);
  bool startFile(std::string_view name, std::int64_t size, std::int64_t mtimeNs, std::int32_t partCount);
  // The records below name their file (started before with startFile), so
  // records of several files may interleave.
  bool noteSubject(std::string_view name, std::string_view subject, std::int64_t date);
  bool noteInFlight(std::string_view name, std::int32_t part, std::int64_t bytes, std::string_view messageId);
  bool noteAccepted(std::string_view name, std::int32_t part, std::int64_t bytes, std::string_view messageId);
  // The upload is complete: the journal is removed, so the next run starts
  // afresh.
  bool finish();
  // Closes without removing (a run that ended early).
  void close() { fd_ = FileDescriptor(); }

  [[nodiscard]] bool isOpen() const { return fd_.isOpen(); }
  [[nodiscard]] const std::string& path() const { return path_; }

 private:
  bool append(std::string_view record);

  FileDescriptor fd_;
  std::string path_;
};

}  // namespace tidewell
