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
// The ranges of the settings table, as the engine's 32-bit values.
// Max Bytes/Part: 0 posts each file as one article; anything from 1 up to
// the lowest part size is raised to it.
inline constexpr auto kMinimumPartSize = static_cast<std::int32_t>(kPartSizeRange.low);

// Port: 0 picks the usual port of the encryption: NNTP's, or NNTP over TLS
// from the first byte's (Encryption=TLS).
inline constexpr std::int32_t kNntpPort = 119;
inline constexpr std::int32_t kNntpsPort = 563;
inline constexpr auto kHighestPort = static_cast<std::int32_t>(kPortRange.high);
// LineLength: characters per yEnc line (one more where a line ends in an
// escape); the encoder keeps to the same longest line.
inline constexpr auto kMostConnections = static_cast<std::int32_t>(kConnectionsRange.high);
inline constexpr auto kLongestVerifyDelay = static_cast<std::int32_t>(kVerifyDelayRange.high);
inline constexpr auto kShortestYencLine = static_cast<std::int32_t>(kLineLengthRange.low);
inline constexpr auto kLongestYencLine = static_cast<std::int32_t>(kLineLengthRange.high);

struct CheckedValue {
  std::string stored;   // what to write, when the value passed
  std::string problem;  // the message when it is refused; empty when it passed
};

// Checks a value entered for `key` on a panel and gives its stored form.
// Texts are cut at the entry buffer and trimmed; Host, Directory and
// Newsgroup must not be empty and From must hold an "@"; numbers are stored
// in decimal (PartSize corrected as normalisedPartSize does); booleans must
// read TRUE or FALSE in any letter case; the body comment is stored with its
// line-break encoding. Port, LineLength, Connections, VerifyPort and
// VerifyDelay must lie in their table ranges (an empty Port or VerifyPort is
// 0, an empty VerifyDelay 0), a choice must be one of the table's choices in
// any letter case (stored as spelled there), TLSPin empty or 64 hex digits
// (colons and letter case ignored), MessageIDDomain a dot-atom, NzbName
// empty or a file name (see nzbNameProblem).
[[nodiscard]] CheckedValue checkSettingValue(Setting key, std::string_view entered);

// The same for a value given on the command line, which is stored exactly
// as meant or refused: a number key takes only a decimal number (a leading
// "-" where the range allows one) within its range, where the panel would
// read other text as 0 or correct the value.
[[nodiscard]] CheckedValue checkCommandLineValue(Setting key, std::string_view entered);

// The problem with a combination of values that cannot work together, given
// how each key reads after a change; empty when there is none. Connections
// above 1 needs FastPosting.
[[nodiscard]] std::string combinationProblem(std::int64_t connections, bool fastPosting);

// The problem with Obfuscate on under `encoding` (a Choice value): the
// disguise is a yEnc one, so any other encoding is refused. Empty when
// there is none.
[[nodiscard]] std::string obfuscationProblem(bool obfuscate, std::string_view encoding);

// Port 1..65535 as it is; 0 (or anything else) the usual port: 563 when
// `encryption` is the choice TLS, else 119.
[[nodiscard]] std::int32_t effectivePort(std::int32_t port, std::string_view encryption);

// True when `text` is an RFC 5322 dot-atom (the right side of a Message-ID):
// atoms of letters, digits and !#$%&'*+-/=?^_`{|}~ joined by single dots.
[[nodiscard]] bool isDotAtom(std::string_view text);

// What is wrong with `name` (trimmed) as the NzbName of a run, the NZB's
// second file name: empty when it is fine (an empty name asks for no second
// file). It must be a file name of its own: no "/", no control character,
// not "." or "..".
[[nodiscard]] std::string nzbNameProblem(std::string_view name);
// Why `name` cannot name a recovery set (empty: it can): it must be a file
// name of its own, as NzbName.
[[nodiscard]] std::string par2NameProblem(std::string_view name);

// The file name NzbName asks for: the trimmed name with ".nzb" added unless
// it ends so already (in any letter case); empty when there is none.
[[nodiscard]] std::string nzbFileNameFor(std::string_view name);

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
