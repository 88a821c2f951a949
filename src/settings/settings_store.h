#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "settings/settings_table.h"

namespace tidewell {

// True exactly when the value, lower-cased and trimmed, is "true".
[[nodiscard]] bool parseBoolSetting(std::string value);
// Leading blanks, an optional sign, then digits up to the first other
// character; no digits gives 0. Saturates instead of overflowing.
[[nodiscard]] std::int32_t parseDecimalSetting(std::string_view value);
[[nodiscard]] std::int64_t parseDecimalSetting64(std::string_view value);

// A body comment is stored on one line: carriage return as byte 0xFC, line
// feed as byte 0xE9. 0xFC never occurs in UTF-8, but 0xE9 leads the
// three-byte characters U+9000..U+9FFF; an 0xE9 followed by two UTF-8
// continuation bytes is such a character and is kept. An encoded line feed
// is never followed by a continuation byte in valid UTF-8 text, so the
// mapping stays unambiguous, and files written with the plain byte mapping
// read back the same.
[[nodiscard]] std::string encodeBodyComment(std::string_view text);
[[nodiscard]] std::string decodeBodyComment(std::string_view stored);

// The settings store: every read goes to the configuration file at the
// moment it is made, so a value saved elsewhere or edited by hand is seen at
// the next call. Nothing is cached. Names, defaults and read limits come from
// the settings table (settings_table.h).
//
// Code that only reads takes a `const SettingsStore&`; writing needs the
// store itself.
//
// Values given for one run (the command line's --with) lie over the file:
// a read of such a key gives that value and never touches the file. A write
// of the key goes to the file and ends the overlay for it, so what the
// program keeps (report numbers, the window position) moves on as usual.
class SettingsStore {
 public:
  explicit SettingsStore(std::string configFilePath) : path_(std::move(configFilePath)) {}

  [[nodiscard]] const std::string& configFilePath() const { return path_; }

  // The key's value as stored, cut at its read limit; its default when absent.
  [[nodiscard]] std::string read(Setting key) const;
  // The same with another default and read limit (the settings panel reads
  // through a buffer of its own and suggests values for some absent keys).
  [[nodiscard]] std::string read(Setting key, std::string_view defaultValue, std::size_t limit) const;
  [[nodiscard]] bool flag(Setting key) const;            // the boolean rule
  [[nodiscard]] std::int32_t number(Setting key) const;  // the decimal rule, saturated to 32 bits
  [[nodiscard]] std::int64_t number64(Setting key) const;
  // False when the file could not be written (the old value stays).
  bool write(Setting key, std::string_view value);

  // The raw profile operations on section "Settings", for names that come
  // from outside the table (files written by hand, tests).
  [[nodiscard]] std::string read(std::string_view name, std::string_view defaultValue, std::size_t limit) const;
  bool write(std::string_view name, std::string_view value);

  // Lays `value` (in its stored form) over the key for the life of the store.
  void overlay(Setting key, std::string value);

  // A key of section [Settings] (server 0) or of a backup server's section
  // [ServerN] (settings_table.h), with the row's default and read limit,
  // overlays included.
  [[nodiscard]] std::string read(SectionKey key) const;
  [[nodiscard]] std::string read(SectionKey key, std::string_view defaultValue) const;
  bool write(SectionKey key, std::string_view value);
  void overlay(SectionKey key, std::string value);

  // Not set when the key is absent (read as "ghsBuf").
  [[nodiscard]] std::optional<std::string> getHost() const;
  [[nodiscard]] std::string getUsername() const { return read(Setting::Username); }
  [[nodiscard]] std::string getPassword() const { return read(Setting::Password); }
  [[nodiscard]] std::string getFrom() const { return read(Setting::From); }
  [[nodiscard]] std::string getReplyTo() const { return read(Setting::ReplyTo); }
  [[nodiscard]] std::string getOrganization() const { return read(Setting::Organization); }
  [[nodiscard]] std::string getSubject() const { return read(Setting::Subject); }
  [[nodiscard]] std::string getDirectory() const { return read(Setting::Directory); }
  [[nodiscard]] std::string getNewsgroup() const { return read(Setting::Newsgroup); }
  [[nodiscard]] std::int32_t getPartSize() const { return number(Setting::PartSize); }
  // With 0xFC and 0xE9 turned back into carriage return and line feed.
  [[nodiscard]] std::string getBodyComment() const;
  [[nodiscard]] bool isAppendFileSize() const { return flag(Setting::AppendFileSize); }
  [[nodiscard]] bool isShowFilename() const { return flag(Setting::ShowFilename); }
  [[nodiscard]] bool isShowCount() const { return flag(Setting::ShowCount); }
  [[nodiscard]] bool isUseBBS() const { return flag(Setting::UseBBS); }
  [[nodiscard]] bool isLogging() const { return flag(Setting::Logging); }

 private:
  std::string path_;
  std::map<Setting, std::string> overlay_;
  std::map<std::pair<int, Setting>, std::string> serverOverlay_;  // backup sections
};

}  // namespace tidewell
