#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tidewell {

// Read limits of the keys (characters; the rest of a longer value is cut off).
inline constexpr std::size_t kTextLimit = 4095;
inline constexpr std::size_t kNewsgroupLimit = 33999;
inline constexpr std::size_t kLongLimit = 35999;  // PartSize, BodyComment, the settings panel's texts
inline constexpr std::size_t kBoolLimit = 255;    // booleans, also on the settings panel
inline constexpr std::size_t kPositionLimit = 79;

inline constexpr std::string_view kSettingsSection = "Settings";
// Default of the Host read that marks the key as absent: getHost reports
// "not set" when it reads exactly this text.
inline constexpr std::string_view kHostNotSet = "ghsBuf";

// How a value is read.
enum class SettingType : std::uint8_t {
  Text,    // as stored, cut at the read limit
  Number,  // decimal: leading blanks, an optional sign, the digits up to the first other character
  Flag,    // "TRUE"/"FALSE"; true exactly when lower-cased and trimmed it is "true"
  Choice,  // one of the row's choices, matched in any letter case (read as Text)
};

// The values a Number key may be given: `low` to `high`, and 0 as well when
// `zeroAllowed` (a PartSize of 0 posts each file as one article).
struct SettingRange {
  std::int64_t low = 0;
  std::int64_t high = 0;
  bool zeroAllowed = false;
};
inline constexpr SettingRange kNoRange{};  // not a number
inline constexpr SettingRange kAnyPosition{std::numeric_limits<std::int32_t>::min(),
                                           std::numeric_limits<std::int32_t>::max()};
inline constexpr SettingRange kAnyCount{0, std::numeric_limits<std::int64_t>::max()};
inline constexpr SettingRange kPortRange{0, 65535};  // 0: the usual port of the encryption
inline constexpr SettingRange kPartSizeRange{50000, std::numeric_limits<std::int32_t>::max(), true};
inline constexpr SettingRange kReportNumberRange{0, 99};  // Report00.TXT to Report99.TXT
inline constexpr SettingRange kLineLengthRange{32, 997};  // characters per yEnc line
inline constexpr SettingRange kConnectionsRange{1, 50};
inline constexpr SettingRange kVerifyDelayRange{0, 86400};   // seconds: a day at most
inline constexpr SettingRange kMaxRateRange{0, 10'000'000};  // KiB/s; 0: no cap
inline constexpr SettingRange kPar2RedundancyRange{0, 100};  // percent of the data
// Bytes per recovery slice, a multiple of 4 (value_rules); 0: chosen.
inline constexpr SettingRange kPar2SliceSizeRange{4, 1ll << 30, true};
inline constexpr SettingRange kPar2MemoryRange{1, 65536};  // MiB of recovery data held at once

// The choices of a Choice key, each spelled as it is stored. Encryption's
// order is the order of the posting session's Encryption enum.
inline constexpr std::array<std::string_view, 3> kEncryptionChoices = {"None", "TLS", "STARTTLS"};
inline constexpr std::array<std::string_view, 2> kEncodingChoices = {"uuencode", "yEnc"};
inline constexpr std::array<std::string_view, 3> kAddressFamilyChoices = {"Any", "IPv4", "IPv6"};
inline constexpr std::span<const std::string_view> kNoChoices{};

// How the panels (settings, server and speed) show a key.
enum class SettingField : std::uint8_t {
  Hidden,  // on no panel: kept by the program, or set by editing the file
  Line,    // a one-line edit
  Masked,  // a one-line edit whose characters are masked (also masked when listed)
  Lines,   // a several-line edit; stored on one line with the body comment's line-break encoding
  Check,   // a check box
  Choice,  // a list of fixed choices (a combo box), matched in any letter case
};

// Every key of section "Settings", declared once: the store's reads and
// writes, the settings panel, the command line's --set/--get/--settings and
// the --help listing all come from this list. A new key is one line here.
//
// KEY(name, type, default when absent, read limit, panel field, range, choices,
//     the key it only matters with, one line for --help)
#define TIDEWELL_SETTINGS(KEY)                                                                                         \
  KEY(Host, Text, kHostNotSet, kTextLimit, Line, kNoRange, kNoChoices, kAlways,                                        \
      "the news server: host name, dotted address or IPv6 address")                                                    \
  KEY(Username, Text, "", kTextLimit, Line, kNoRange, kNoChoices, kAlways, "user name for AUTHINFO; empty: no login")  \
  KEY(Password, Text, "", kTextLimit, Masked, kNoRange, kNoChoices, kAlways,                                           \
      "password for AUTHINFO, kept in plain text")                                                                     \
  KEY(From, Text, "", kTextLimit, Line, kNoRange, kNoChoices, kAlways, "the From header: an e-mail address")           \
  KEY(ReplyTo, Text, "", kTextLimit, Line, kNoRange, kNoChoices, kAlways, "the Reply-To header")                       \
  KEY(Organization, Text, "The Usenet Upload Circle", kTextLimit, Line, kNoRange, kNoChoices, kAlways,                 \
      "the Organization header")                                                                                       \
  KEY(Subject, Text, "Type Subject Here", kTextLimit, Line, kNoRange, kNoChoices, kAlways, "the subject prefix")       \
  KEY(Directory, Text, "", kTextLimit, Line, kNoRange, kNoChoices, kAlways, "the directory whose files are posted")    \
  KEY(Newsgroup, Text, "alt.test", kNewsgroupLimit, Line, kNoRange, kNoChoices, kAlways,                               \
      "the Newsgroups header: groups separated by commas")                                                             \
  KEY(PartSize, Number, "0", kLongLimit, Line, kPartSizeRange, kNoChoices, kAlways,                                    \
      "bytes per part; 0 posts each file as one article")                                                              \
  KEY(BodyComment, Text, "", kLongLimit, Lines, kNoRange, kNoChoices, kAlways,                                         \
      "text at the top of each file's first article")                                                                  \
  KEY(AppendFileSize, Flag, "TRUE", kBoolLimit, Check, kNoRange, kNoChoices, kAlways,                                  \
      "append the file size to the subject")                                                                           \
  KEY(ShowFilename, Flag, "TRUE", kBoolLimit, Check, kNoRange, kNoChoices, kAlways, "name a text file in the subject") \
  KEY(ShowCount, Flag, "TRUE", kBoolLimit, Check, kNoRange, kNoChoices, kAlways, "add a Post-Count header")            \
  KEY(UseBBS, Flag, "FALSE", kBoolLimit, Check, kNoRange, kNoChoices, kAlways,                                         \
      "take descriptions from FILES.BBS in the directory")                                                             \
  KEY(Logging, Flag, "FALSE", kBoolLimit, Hidden, kNoRange, kNoChoices, kAlways,                                       \
      "write the whole dialogue with the server to LOGGIT.TXT")                                                        \
  KEY(Viewer, Text, "", kTextLimit, Hidden, kNoRange, kNoChoices, kAlways,                                             \
      "program that opens reports and FILES.BBS; empty: xdg-open")                                                     \
  KEY(ReportNumber, Number, "0", kBoolLimit, Hidden, kReportNumberRange, kNoChoices, kAlways,                          \
      "number of the last summary report (kept by the program)")                                                       \
  KEY(PostCount, Number, "0", kTextLimit, Hidden, kAnyCount, kNoChoices, kAlways,                                      \
      "Post-Count of the last article (kept by the program)")                                                          \
  KEY(X, Number, "0", kPositionLimit, Hidden, kAnyPosition, kNoChoices, kAlways,                                       \
      "left edge of the window (kept by the program)")                                                                 \
  KEY(Y, Number, "0", kPositionLimit, Hidden, kAnyPosition, kNoChoices, kAlways,                                       \
      "top edge of the window (kept by the program)")                                                                  \
  KEY(FastPosting, Flag, "FALSE", kBoolLimit, Check, kNoRange, kNoChoices, kAlways,                                    \
      "handle replies as they arrive and send in large writes")                                                        \
  KEY(Port, Number, "0", kBoolLimit, Line, kPortRange, kNoChoices, kAlways,                                            \
      "the server's port; 0: 119, or 563 when Encryption=TLS")                                                         \
  KEY(Encryption, Choice, "None", kTextLimit, Choice, kNoRange, kEncryptionChoices, kAlways,                           \
      "how the connection is secured: TLS from the start, STARTTLS after the greeting")                                \
  KEY(TLSVerify, Flag, "TRUE", kBoolLimit, Check, kNoRange, kNoChoices, Setting::Encryption,                           \
      "verify the server's certificate and host name")                                                                 \
  KEY(TLSCAFile, Text, "", kTextLimit, Line, kNoRange, kNoChoices, Setting::Encryption,                                \
      "a PEM file of further certificate authorities to trust")                                                        \
  KEY(TLSPin, Text, "", kTextLimit, Line, kNoRange, kNoChoices, Setting::Encryption,                                   \
      "SHA-256 of the server's certificate, 64 hex digits; empty: none")                                               \
  KEY(Encoding, Choice, "uuencode", kTextLimit, Choice, kNoRange, kEncodingChoices, kAlways,                           \
      "how binaries are encoded")                                                                                      \
  KEY(LineLength, Number, "128", kBoolLimit, Line, kLineLengthRange, kNoChoices, kAlways, "characters per yEnc line")  \
  KEY(MessageIDs, Flag, "FALSE", kBoolLimit, Check, kNoRange, kNoChoices, kAlways,                                     \
      "give each article its own Message-ID")                                                                          \
  KEY(MessageIDDomain, Text, "tidewell.invalid", kTextLimit, Line, kNoRange, kNoChoices, kAlways,                      \
      "the part of the Message-IDs after the @")                                                                       \
  KEY(NZB, Flag, "FALSE", kBoolLimit, Check, kNoRange, kNoChoices, kAlways,                                            \
      "write ReportNN.nzb listing the posted articles")                                                                \
  KEY(JsonReport, Flag, "FALSE", kBoolLimit, Check, kNoRange, kNoChoices, kAlways,                                     \
      "write ReportNN.json, the report for scripts")                                                                   \
  KEY(DesktopNotice, Flag, "FALSE", kBoolLimit, Hidden, kNoRange, kNoChoices, kAlways,                                 \
      "tell the desktop (a notification) when a run in the window ends")                                               \
  KEY(Connections, Number, "1", kBoolLimit, Line, kConnectionsRange, kNoChoices, Setting::FastPosting,                 \
      "connections posting at once; more than 1 needs FastPosting=TRUE")                                               \
  KEY(Resume, Flag, "FALSE", kBoolLimit, Check, kNoRange, kNoChoices, kAlways,                                         \
      "keep a journal so a run that was cut short posts only what is missing")                                         \
  KEY(Verify, Flag, "FALSE", kBoolLimit, Check, kNoRange, kNoChoices, kAlways,                                         \
      "after the run, ask the server for each article and post missing ones again")                                    \
  KEY(VerifyHost, Text, "", kTextLimit, Line, kNoRange, kNoChoices, Setting::Verify,                                   \
      "the server that Verify asks; empty: the posting server")                                                        \
  KEY(VerifyPort, Number, "0", kBoolLimit, Line, kPortRange, kNoChoices, Setting::Verify,                              \
      "its port, as Port; 0: the usual port of VerifyEncryption")                                                      \
  KEY(VerifyEncryption, Choice, "None", kTextLimit, Choice, kNoRange, kEncryptionChoices, Setting::Verify,             \
      "how the connection to VerifyHost is secured, as Encryption")                                                    \
  KEY(VerifyUsername, Text, "", kTextLimit, Line, kNoRange, kNoChoices, Setting::Verify,                               \
      "user name for VerifyHost; empty: no login")                                                                     \
  KEY(VerifyPassword, Text, "", kTextLimit, Masked, kNoRange, kNoChoices, Setting::Verify,                             \
      "password for VerifyHost, kept in plain text")                                                                   \
  KEY(VerifyDelay, Number, "0", kBoolLimit, Line, kVerifyDelayRange, kNoChoices, Setting::Verify,                      \
      "seconds to wait after the run before Verify asks")                                                              \
  KEY(AddressFamily, Choice, "Any", kTextLimit, Hidden, kNoRange, kAddressFamilyChoices, kAlways,                      \
      "the addresses tried: Any (IPv6 first), IPv4 or IPv6")                                                           \
  KEY(Proxy, Text, "", kTextLimit, Line, kNoRange, kNoChoices, kAlways,                                                \
      "socks5://[user:password@]host:port; empty: no proxy")                                                           \
  KEY(NzbName, Text, "", kTextLimit, Hidden, kNoRange, kNoChoices, Setting::NZB,                                       \
      "also write the NZB as NAME.nzb beside ReportNN.nzb; empty: none")                                               \
  KEY(NzbTitle, Text, "", kTextLimit, Hidden, kNoRange, kNoChoices, Setting::NZB,                                      \
      "the NZB's title (its <head> meta); empty: none")                                                                \
  KEY(NzbPassword, Text, "", kTextLimit, Hidden, kNoRange, kNoChoices, Setting::NZB,                                   \
      "the password of the posted archives, in the NZB; empty: none")                                                  \
  KEY(NzbCategory, Text, "", kTextLimit, Hidden, kNoRange, kNoChoices, Setting::NZB,                                   \
      "the NZB's category, e.g. for an indexer; empty: none")                                                          \
  KEY(NzbTag, Text, "", kTextLimit, Hidden, kNoRange, kNoChoices, Setting::NZB, "a tag in the NZB; empty: none")       \
  KEY(MaxRate, Number, "0", kBoolLimit, Line, kMaxRateRange, kNoChoices, kAlways,                                      \
      "KiB/s over all connections; 0: no cap")                                                                         \
  KEY(MaxRateSchedule, Text, "", kTextLimit, Line, kNoRange, kNoChoices, kAlways,                                      \
      "caps by time of day, e.g. 08:00-23:00=2000 23:00-08:00=0; MaxRate outside them")                                \
  KEY(Obfuscate, Flag, "FALSE", kBoolLimit, Check, kNoRange, kNoChoices, Setting::Encoding,                            \
      "random subjects, yEnc names and From on the server; real names in the NZB; needs Encoding=yEnc")                \
  KEY(Par2, Flag, "FALSE", kBoolLimit, Check, kNoRange, kNoChoices, kAlways,                                           \
      "compute a PAR2 recovery set while the files are read and post it after them")                                   \
  KEY(Par2Redundancy, Number, "10", kBoolLimit, Line, kPar2RedundancyRange, kNoChoices, Setting::Par2,                 \
      "recovery data as a percentage of the data, 0 to 100")                                                           \
  KEY(Par2SliceSize, Number, "0", kBoolLimit, Line, kPar2SliceSizeRange, kNoChoices, Setting::Par2,                    \
      "bytes per recovery slice, a multiple of 4; 0: chosen (with yEnc, an article's data)")                           \
  KEY(Par2Name, Text, "", kTextLimit, Line, kNoRange, kNoChoices, Setting::Par2,                                       \
      "the set's name: NAME.par2, NAME.volNN+MM.par2; empty: the directory's name")                                    \
  KEY(Par2Memory, Number, "256", kBoolLimit, Line, kPar2MemoryRange, kNoChoices, Setting::Par2,                        \
      "MiB of recovery data held at once; more needs further reads of the files")                                      \
  KEY(Par2Keep, Flag, "FALSE", kBoolLimit, Check, kNoRange, kNoChoices, Setting::Par2,                                 \
      "keep the set's files in ReportNN.par2/ beside the report")

enum class Setting : std::uint8_t {
#define TIDEWELL_SETTING_NAME(name, ...) name,
  TIDEWELL_SETTINGS(TIDEWELL_SETTING_NAME)
#undef TIDEWELL_SETTING_NAME
};

inline constexpr std::optional<Setting> kAlways{};  // a key that matters whatever the others say

struct SettingRow {
  Setting key;
  std::string_view name;
  SettingType type;
  std::string_view defaultValue;  // what a read of an absent key gives
  std::size_t readLimit;
  SettingField field;
  SettingRange range;                         // Number keys
  std::span<const std::string_view> choices;  // Choice keys
  // The key this one only matters with (a Flag, or a Choice whose first
  // choice means "off"): the panels grey its field while that key is off.
  std::optional<Setting> needs;
  std::string_view description;
};

inline constexpr std::array kSettings = {
#define TIDEWELL_SETTING_ROW(name, type, value, limit, field, range, choices, needs, text) \
  SettingRow{Setting::name, #name, SettingType::type, value, limit, SettingField::field, range, choices, needs, text},
    TIDEWELL_SETTINGS(TIDEWELL_SETTING_ROW)
#undef TIDEWELL_SETTING_ROW
};

[[nodiscard]] constexpr const SettingRow& rowOf(Setting key) {
  return kSettings[static_cast<std::size_t>(key)];
}

// Backup servers: sections [Server2] to [Server9], each holding these keys
// of the main server, read and checked by the same rows. A section without
// a Host is no server. On the command line a key is named
// "Server2.Port" (section and key in any letter case).
inline constexpr int kFirstBackupServer = 2;
inline constexpr int kLastBackupServer = 9;
inline constexpr std::array<std::string_view, 8> kServerSections = {"Server2", "Server3", "Server4", "Server5",
                                                                    "Server6", "Server7", "Server8", "Server9"};
inline constexpr std::array<Setting, 9> kServerKeys = {Setting::Host,      Setting::Port,       Setting::Username,
                                                       Setting::Password,  Setting::Encryption, Setting::TLSVerify,
                                                       Setting::TLSCAFile, Setting::TLSPin,     Setting::Connections};
static_assert(kServerSections.size() == kLastBackupServer - kFirstBackupServer + 1);

// True when `key` is one of kServerKeys.
[[nodiscard]] bool isServerKey(Setting key);

// A key of section [Settings] (server 0) or of a backup server's section.
struct SectionKey {
  int server = 0;  // 0: [Settings]; 2..9: [ServerN]
  Setting key = Setting::Host;
};
// "Port", or "Server2.Port" for a server key of a backup section, in any
// letter case; nothing when it names no key.
[[nodiscard]] std::optional<SectionKey> findSectionKey(std::string_view name);
// The name findSectionKey reads: "Port", "Server2.Port".
[[nodiscard]] std::string sectionKeyName(SectionKey key);

// The key with this name, in any letter case (as the file matches names).
[[nodiscard]] std::optional<Setting> findSetting(std::string_view name);

// The position in the key's choices of `text` (trimmed, any letter case);
// nothing when it is none of them.
[[nodiscard]] std::optional<std::size_t> choiceIndex(Setting key, std::string_view text);
// "None, TLS or STARTTLS".
[[nodiscard]] std::string choicesText(Setting key);

// True when `value` lies in the key's range.
[[nodiscard]] bool withinRange(Setting key, std::int64_t value);
// The nearest value of the range (0 stays 0 where the range allows it).
[[nodiscard]] std::int64_t clampedToRange(Setting key, std::int64_t value);
// "1 to 50", "0, or 50000 to 2147483647".
[[nodiscard]] std::string rangeText(Setting key);

}  // namespace tidewell
