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
  // CRC-32 of the bytes of the file the part carries (upload/part_checksum.h);
  // none in a journal of an older version.
  std::optional<std::uint32_t> sourceCrc;
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
  std::string disguisedName;                     // Obfuscate=TRUE: its yEnc name on the server
  std::map<std::int32_t, JournalPart> accepted;  // by part number, from 1
  // Articles whose data went out without an acknowledgement in the
  // journal: the server may hold them or not.
  std::map<std::int32_t, JournalPart> inFlight;
};

struct JournalContents {
  JournalSettings settings;
  // Obfuscate=TRUE: the run's random From and Message-ID domain; empty
  // when the run had none.
  std::string disguisedFrom;
  std::string disguisedIdDomain;
  std::vector<JournalFile> files;

  // Whether it was written under the same settings (in any order).
  [[nodiscard]] bool matches(const JournalSettings& current) const;
  // The file's entry when it is the same file: name, size and modification
  // time all agree. A changed file has none and is posted from its start.
  [[nodiscard]] const JournalFile* findFile(std::string_view name, std::int64_t size, std::int64_t mtimeNs) const;
  // Accepted articles over all files.
  [[nodiscard]] std::int32_t acceptedCount() const;
};

// A journal is trusted only when it is ours: a regular file (not reached
// through a symbolic link) owned by this user and writable by nobody else.
// Anything else at its name may have been planted by another local user to
// make a run skip files; it is never read.
struct JournalOpening {
  std::optional<JournalContents> contents;  // the journal, when one is there, trusted and readable
  // Why the file at the journal's name is not used ("it is a symbolic
  // link", ...); empty when there is none or it is used. A file that is not
  // a journal at all is not used either, without a reason.
  std::string refusal;
};

// The report's line for a file at the journal's name that is not used.
[[nodiscard]] std::string untrustedJournalText(std::string_view path, std::string_view refusal);

// Reads a journal. None when it is missing, not trusted, unreadable or not
// a journal. Lines that are torn (no line end: the write was cut short) or
// whose check sum does not match are left out.
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
  // Opens an existing journal for appending and reads it, when it is
  // trusted; it stays open (isOpen) only when its contents are returned. A
  // journal that cannot be opened for appending is refused: a run that
  // could not record its progress must not take the journal's word.
  JournalOpening open(const std::string& path);
  // Goes on with the journal open() returned: a torn last line is cut off
  // first so the next record starts on a line of its own.
  bool resume();
  // open() and resume() in one.
  bool reopen(const std::string& path);
  bool startFile(std::string_view name, std::int64_t size, std::int64_t mtimeNs, std::int32_t partCount);
  // The records below name their file (started before with startFile), so
  // records of several files may interleave.
  bool noteSubject(std::string_view name, std::string_view subject, std::int64_t date);
  // Obfuscate=TRUE: the run's random From and Message-ID domain, and the
  // random yEnc name of a file.
  bool noteDisguise(std::string_view from, std::string_view messageIdDomain);
  bool noteDisguisedName(std::string_view name, std::string_view disguisedName);
  // `sourceCrc`: the part's check sum (a part noted without one is posted
  // again from the file's start when a run resumes).
  bool noteInFlight(std::string_view name, std::int32_t part, std::int64_t bytes, std::string_view messageId,
                    std::optional<std::uint32_t> sourceCrc = std::nullopt);
  // Without a sum, the part keeps the one of its in-flight record with the
  // same Message-ID.
  bool noteAccepted(std::string_view name, std::int32_t part, std::int64_t bytes, std::string_view messageId,
                    std::optional<std::uint32_t> sourceCrc = std::nullopt);
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
