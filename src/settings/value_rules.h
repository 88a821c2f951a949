#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "settings/settings_table.h"

namespace tidewell {

// The rules a value must pass before it is stored, and the form it is stored
// in: the same for the settings panel and for "--set KEY=VALUE".

inline constexpr std::string_view kSettingsProblemCaption = "Settings Problem";

// Entered texts are taken through a buffer of this many characters (less one).
inline constexpr std::size_t kFieldLimit = 35999;
// Max Bytes/Part: 0 posts each file as one article; anything from 1 up to
// this is raised to it.
inline constexpr std::int32_t kMinimumPartSize = 50000;

struct CheckedValue {
  std::string stored;   // what to write, when the value passed
  std::string problem;  // the message when it is refused; empty when it passed
};

// Checks a value entered for `key` and gives its stored form. Texts are cut
// at the entry buffer and trimmed; Host, Directory and Newsgroup must not be
// empty and From must hold an "@"; numbers are stored in decimal (PartSize
// corrected as normalisedPartSize does); booleans must read TRUE or FALSE in
// any letter case; the body comment is stored with its line-break encoding.
[[nodiscard]] CheckedValue checkSettingValue(Setting key, std::string_view entered);

// The value stored for a Max Bytes/Part text: its decimal value, negative
// values as 0, 1..49999 raised to 50000.
[[nodiscard]] std::int32_t normalisedPartSize(std::string_view text);

// The text message box shows line breaks as "\n"; the stored value keeps each
// line break as a carriage return + line feed pair (the articles' line end),
// encoded on one line.
[[nodiscard]] std::string bodyCommentForStorage(std::string_view editText);
[[nodiscard]] std::string bodyCommentForEditing(std::string_view stored);

// `text` cut to at most `limit` bytes without splitting a UTF-8 character.
[[nodiscard]] std::string cutUtf8(std::string_view text, std::size_t limit);

// The From message, with its example of an anonymous sender.
[[nodiscard]] std::string fromNeedsAtMessage();

}  // namespace tidewell
