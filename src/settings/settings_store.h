#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tidewell {

// Read limits of the keys of section "Settings" (characters).
inline constexpr std::size_t kTextLimit = 4095;
inline constexpr std::size_t kNewsgroupLimit = 33999;
inline constexpr std::size_t kLongLimit = 35999;  // PartSize, BodyComment, the settings dialog
inline constexpr std::size_t kBoolLimit = 255;
inline constexpr std::size_t kPositionLimit = 79;

inline constexpr std::string_view kSettingsSection = "Settings";
// Default of the Host read that marks the key as absent.
inline constexpr std::string_view kHostNotSet = "ghsBuf";

inline constexpr std::string_view kDefaultOrganization = "The Usenet Upload Circle";
inline constexpr std::string_view kDefaultSubject = "Type Subject Here";
inline constexpr std::string_view kDefaultNewsgroup = "alt.test";

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

// The settings store: every getter reads the configuration file at the
// moment it is called, so a value saved elsewhere or edited by hand is seen
// at the next call. Nothing is cached.
class SettingsStore {
 public:
  explicit SettingsStore(std::string configFilePath) : path_(std::move(configFilePath)) {}

  [[nodiscard]] const std::string& configFilePath() const { return path_; }

  // The raw profile operations on section "Settings".
  [[nodiscard]] std::string read(std::string_view key, std::string_view defaultValue, std::size_t limit) const;
  bool write(std::string_view key, std::string_view value) const;

  // Not set when the key is absent (read as "ghsBuf").
  [[nodiscard]] std::optional<std::string> getHost() const;
  [[nodiscard]] std::string getUsername() const;
  [[nodiscard]] std::string getPassword() const;
  [[nodiscard]] std::string getFrom() const;
  [[nodiscard]] std::string getReplyTo() const;
  [[nodiscard]] std::string getOrganization() const;
  [[nodiscard]] std::string getSubject() const;
  [[nodiscard]] std::string getDirectory() const;
  [[nodiscard]] std::string getNewsgroup() const;
  [[nodiscard]] std::int32_t getPartSize() const;
  [[nodiscard]] std::string getBodyComment() const;
  [[nodiscard]] bool isAppendFileSize() const;
  [[nodiscard]] bool isShowFilename() const;
  [[nodiscard]] bool isShowCount() const;
  [[nodiscard]] bool isUseBBS() const;
  [[nodiscard]] bool isLogging() const;

 private:
  [[nodiscard]] bool readBoolSetting(std::string_view key, std::string_view defaultValue) const;

  std::string path_;
};

}  // namespace tidewell
