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

// Port: 0 picks the usual port of the encryption: NNTP's, or NNTP over TLS
// from the first byte's (Encryption=TLS).
inline constexpr std::int32_t kNntpPort = 119;
inline constexpr std::int32_t kNntpsPort = 563;
inline constexpr std::int32_t kHighestPort = 65535;
// LineLength: characters per yEnc line (one more where a line ends in an
// escape); the encoder keeps to the same longest line.
inline constexpr std::int32_t kMostConnections = 50;
inline constexpr std::int32_t kLongestVerifyDelay = 86400;
inline constexpr std::int32_t kShortestYencLine = 32;
inline constexpr std::int32_t kLongestYencLine = 997;

struct CheckedValue {
  std::string stored;   // what to write, when the value passed
  std::string problem;  // the message when it is refused; empty when it passed
};

// Checks a value entered for `key` and gives its stored form. Texts are cut
// at the entry buffer and trimmed; Host, Directory and Newsgroup must not be
// empty and From must hold an "@"; numbers are stored in decimal (PartSize
// corrected as normalisedPartSize does); booleans must read TRUE or FALSE in
// any letter case; the body comment is stored with its line-break encoding.
// Port is 0..65535 (empty: 0), LineLength 32..997, Encryption None, TLS or
// STARTTLS and Encoding uuencode or yEnc (any letter case, stored as spelled
// here), TLSPin empty or 64 hex digits (colons and letter case ignored),
// MessageIDDomain a dot-atom, Connections 1..50, VerifyPort as Port,
// VerifyEncryption as Encryption, VerifyDelay 0..86400 seconds.
[[nodiscard]] CheckedValue checkSettingValue(Setting key, std::string_view entered);

// Port 1..65535 as it is; 0 (or anything else) the usual port: 563 when
// `encryption` is TLS (in any letter case), else 119.
[[nodiscard]] std::int32_t effectivePort(std::int32_t port, std::string_view encryption);

// True when `text` is an RFC 5322 dot-atom (the right side of a Message-ID):
// atoms of letters, digits and !#$%&'*+-/=?^_`{|}~ joined by single dots.
[[nodiscard]] bool isDotAtom(std::string_view text);

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
