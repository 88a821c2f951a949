#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
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
};

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
// KEY(name, type, default when absent, read limit, panel field, one line for --help)
#define TIDEWELL_SETTINGS(KEY)                                                                                     \
  KEY(Host, Text, kHostNotSet, kTextLimit, Line, "the news server: host name or dotted address")                   \
  KEY(Username, Text, "", kTextLimit, Line, "user name for AUTHINFO; empty: no login")                             \
  KEY(Password, Text, "", kTextLimit, Masked, "password for AUTHINFO, kept in plain text")                         \
  KEY(From, Text, "", kTextLimit, Line, "the From header: an e-mail address")                                      \
  KEY(ReplyTo, Text, "", kTextLimit, Line, "the Reply-To header")                                                  \
  KEY(Organization, Text, "The Usenet Upload Circle", kTextLimit, Line, "the Organization header")                 \
  KEY(Subject, Text, "Type Subject Here", kTextLimit, Line, "the subject prefix")                                  \
  KEY(Directory, Text, "", kTextLimit, Line, "the directory whose files are posted")                               \
  KEY(Newsgroup, Text, "alt.test", kNewsgroupLimit, Line, "the Newsgroups header: groups separated by commas")     \
  KEY(PartSize, Number, "0", kLongLimit, Line, "bytes per part, at least 50000; 0 posts each file as one article") \
  KEY(BodyComment, Text, "", kLongLimit, Lines, "text at the top of each file's first article")                    \
  KEY(AppendFileSize, Flag, "TRUE", kBoolLimit, Check, "append the file size to the subject")                      \
  KEY(ShowFilename, Flag, "TRUE", kBoolLimit, Check, "name a text file in the subject")                            \
  KEY(ShowCount, Flag, "TRUE", kBoolLimit, Check, "add a Post-Count header")                                       \
  KEY(UseBBS, Flag, "FALSE", kBoolLimit, Check, "take descriptions from FILES.BBS in the directory")               \
  KEY(Logging, Flag, "FALSE", kBoolLimit, Hidden, "write the whole dialogue with the server to LOGGIT.TXT")        \
  KEY(Viewer, Text, "", kTextLimit, Hidden, "program that opens reports and FILES.BBS; empty: xdg-open")           \
  KEY(ReportNumber, Number, "0", kBoolLimit, Hidden, "number of the last summary report (kept by the program)")    \
  KEY(PostCount, Number, "0", kTextLimit, Hidden, "Post-Count of the last article (kept by the program)")          \
  KEY(X, Number, "0", kPositionLimit, Hidden, "left edge of the window (kept by the program)")                     \
  KEY(Y, Number, "0", kPositionLimit, Hidden, "top edge of the window (kept by the program)")                      \
  KEY(FastPosting, Flag, "FALSE", kBoolLimit, Check, "handle replies as they arrive and send in large writes")     \
  KEY(Port, Number, "0", kBoolLimit, Line, "the server's port, 1 to 65535; 0: 119, or 563 when Encryption=TLS")    \
  KEY(Encryption, Text, "None", kTextLimit, Choice, "None, TLS (from the start) or STARTTLS (after the greeting)") \
  KEY(TLSVerify, Flag, "TRUE", kBoolLimit, Check, "verify the server's certificate and host name")                 \
  KEY(TLSCAFile, Text, "", kTextLimit, Line, "a PEM file of further certificate authorities to trust")             \
  KEY(TLSPin, Text, "", kTextLimit, Line, "SHA-256 of the server's certificate, 64 hex digits; empty: none")       \
  KEY(Encoding, Text, "uuencode", kTextLimit, Choice, "how binaries are encoded: uuencode or yEnc")                \
  KEY(LineLength, Number, "128", kBoolLimit, Line, "characters per yEnc line, 32 to 997")                          \
  KEY(MessageIDs, Flag, "FALSE", kBoolLimit, Check, "give each article its own Message-ID")                        \
  KEY(MessageIDDomain, Text, "tidewell.invalid", kTextLimit, Line, "the part of the Message-IDs after the @")      \
  KEY(NZB, Flag, "FALSE", kBoolLimit, Check, "write ReportNN.nzb listing the posted articles")                     \
  KEY(JsonReport, Flag, "FALSE", kBoolLimit, Check, "write ReportNN.json, the report for scripts")                 \
  KEY(Connections, Number, "1", kBoolLimit, Line,                                                                  \
      "connections posting at once, 1 to 50 (more than 1 needs FastPosting)")                                      \
  KEY(Resume, Flag, "FALSE", kBoolLimit, Check,                                                                    \
      "keep a journal so a run that was cut short posts only what is missing")                                     \
  KEY(Verify, Flag, "FALSE", kBoolLimit, Check,                                                                    \
      "after the run, ask the server for each article and post missing ones again")                                \
  KEY(VerifyHost, Text, "", kTextLimit, Line, "the server that Verify asks; empty: the posting server")            \
  KEY(VerifyPort, Number, "0", kBoolLimit, Line, "its port, as Port; 0: the usual port of VerifyEncryption")       \
  KEY(VerifyEncryption, Text, "None", kTextLimit, Choice, "None, TLS or STARTTLS for VerifyHost")                  \
  KEY(VerifyUsername, Text, "", kTextLimit, Line, "user name for VerifyHost; empty: no login")                     \
  KEY(VerifyPassword, Text, "", kTextLimit, Masked, "password for VerifyHost, kept in plain text")                 \
  KEY(VerifyDelay, Number, "0", kBoolLimit, Line, "seconds to wait after the run before Verify asks, 0 to 86400")  \
  KEY(AddressFamily, Text, "Any", kTextLimit, Hidden, "Any, IPv4 or IPv6: the addresses tried (Any: IPv6 first)")  \
  KEY(Proxy, Text, "", kTextLimit, Hidden, "socks5://[user:password@]host:port; empty: no proxy")

enum class Setting : std::uint8_t {
#define TIDEWELL_SETTING_NAME(name, ...) name,
  TIDEWELL_SETTINGS(TIDEWELL_SETTING_NAME)
#undef TIDEWELL_SETTING_NAME
};

struct SettingRow {
  Setting key;
  std::string_view name;
  SettingType type;
  std::string_view defaultValue;  // what a read of an absent key gives
  std::size_t readLimit;
  SettingField field;
  std::string_view description;
};

inline constexpr std::array kSettings = {
#define TIDEWELL_SETTING_ROW(name, type, value, limit, field, text) \
  SettingRow{Setting::name, #name, SettingType::type, value, limit, SettingField::field, text},
    TIDEWELL_SETTINGS(TIDEWELL_SETTING_ROW)
#undef TIDEWELL_SETTING_ROW
};

[[nodiscard]] constexpr const SettingRow& rowOf(Setting key) {
  return kSettings[static_cast<std::size_t>(key)];
}

// The key with this name, in any letter case (as the file matches names).
[[nodiscard]] std::optional<Setting> findSetting(std::string_view name);

}  // namespace tidewell
