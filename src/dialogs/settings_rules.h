#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tidewell {

// The rules of the settings panel that need no widget: what the sample
// subject shows, how Max Bytes/Part is corrected and how the text message
// travels between its edit box and the configuration file.

inline constexpr std::string_view kSettingsProblemCaption = "Settings Problem";
inline constexpr std::string_view kTidewellErrorCaption = "Tidewell Error";
inline constexpr std::string_view kPlaceholderHost = "news.example.com";

// Field texts are read through a buffer of this many characters (less one).
inline constexpr std::size_t kFieldLimit = 35999;
// The part of the subject prefix that the sample subject uses.
inline constexpr std::size_t kSamplePrefixLimit = 254;
// The part of the Files From Dir text that E D I T uses.
inline constexpr std::size_t kEditDirectoryLimit = 255;
// Max Bytes/Part: 0 posts each file as one article; anything from 1 up to
// this is raised to it.
inline constexpr std::int32_t kMinimumPartSize = 50000;

// The subject a real article would carry, with made-up values:
// "<prefix> - The BBS Description - SOMEFILE.ZIP - [1/1] 123456 bytes".
[[nodiscard]] std::string sampleSubject(std::string_view prefix, bool useBbs, bool appendFileSize);

// The value stored for a Max Bytes/Part text: its decimal value, negative
// values as 0, 1..49999 raised to 50000.
[[nodiscard]] std::int32_t normalisedPartSize(std::string_view text);

// The text message box shows line breaks as "\n"; the stored value keeps the
// classic carriage return + line feed pair, encoded on one line.
[[nodiscard]] std::string bodyCommentForStorage(std::string_view editText);
[[nodiscard]] std::string bodyCommentForEditing(std::string_view stored);

// `text` cut to at most `limit` bytes without splitting a UTF-8 character.
[[nodiscard]] std::string cutUtf8(std::string_view text, std::size_t limit);

// The From message, with its example of an anonymous sender.
[[nodiscard]] std::string fromNeedsAtMessage();

}  // namespace tidewell
