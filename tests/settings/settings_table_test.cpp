#include "settings/settings_table.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/text.h"
#include "settings/settings_store.h"
#include "settings/value_rules.h"
#include "support/temp_dir.h"

namespace tidewell {
namespace {

using test::TempDir;

TEST(SettingsTable, EveryKeyReadsItsDefaultWhenAbsentIsCutAtItsLimitAndIsFoundInAnyCase) {
  TempDir dir;
  SettingsStore store(dir.file("t.ini"));
  const std::string longValue(40000, '7');
  for (const SettingRow& row : kSettings) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(store.read(row.key), row.defaultValue);
    EXPECT_EQ(findSetting(toLowerAscii(std::string(row.name))), row.key);
    ASSERT_TRUE(store.write(row.key, longValue));
    EXPECT_EQ(store.read(row.key).size(), row.readLimit);
  }
  EXPECT_FALSE(findSetting("Hosts").has_value());
  EXPECT_FALSE(findSetting("").has_value());
}

// Each getter reads the row of its key: a value written under the key's
// name comes back through the getter.
TEST(SettingsTable, GettersReadTheirKeys) {
  TempDir dir;
  SettingsStore store(dir.file("t.ini"));
  using Getter = std::function<std::string(const SettingsStore&)>;
  const auto flag = [](bool (SettingsStore::*get)() const) {
    return Getter([get](const SettingsStore& s) { return (s.*get)() ? std::string("TRUE") : std::string("FALSE"); });
  };
  const struct {
    Setting key;
    std::string value;
    Getter get;
  } cases[] = {
      {Setting::Host, "news.example.org", [](const SettingsStore& s) { return s.getHost().value_or("?"); }},
      {Setting::Username, "user", &SettingsStore::getUsername},
      {Setting::Password, "pass", &SettingsStore::getPassword},
      {Setting::From, "me@example.org", &SettingsStore::getFrom},
      {Setting::ReplyTo, "reply@example.org", &SettingsStore::getReplyTo},
      {Setting::Organization, "Org", &SettingsStore::getOrganization},
      {Setting::Subject, "Subj", &SettingsStore::getSubject},
      {Setting::Directory, "/srv/up", &SettingsStore::getDirectory},
      {Setting::Newsgroup, "alt.binaries.test", &SettingsStore::getNewsgroup},
      {Setting::PartSize, "123456", [](const SettingsStore& s) { return std::to_string(s.getPartSize()); }},
      {Setting::BodyComment, "one\xFC\xE9two",
       [](const SettingsStore& s) { return encodeBodyComment(s.getBodyComment()); }},
      {Setting::AppendFileSize, "FALSE", flag(&SettingsStore::isAppendFileSize)},
      {Setting::ShowFilename, "FALSE", flag(&SettingsStore::isShowFilename)},
      {Setting::ShowCount, "FALSE", flag(&SettingsStore::isShowCount)},
      {Setting::UseBBS, "TRUE", flag(&SettingsStore::isUseBBS)},
      {Setting::Logging, "TRUE", flag(&SettingsStore::isLogging)},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(store.write(std::string(rowOf(c.key).name), c.value));
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(rowOf(c.key).name);
    EXPECT_EQ(c.get(store), c.value);
  }
}

// The rules that the settings panel and "--set" share.
TEST(SettingsTable, EnteredValuesAreCheckedAndStoredByTheirKeysRules) {
  const struct {
    Setting key;
    const char* entered;
    const char* stored;
    const char* problemStart;  // nullptr: accepted
  } cases[] = {
      {Setting::Host, "  news.example.org ", "news.example.org", nullptr},
      {Setting::Host, " \t", "", "The news server HOST"},
      {Setting::From, "nobody", "", "The From: header MUST"},
      {Setting::From, "", "", "The From: header MUST"},
      {Setting::Directory, "", "", "No files directory specified."},
      {Setting::Newsgroup, "", "", "No news group directory specified."},
      {Setting::Username, "", "", nullptr},
      {Setting::PartSize, " 12 ", "50000", nullptr},
      {Setting::PartSize, "-5", "0", nullptr},
      {Setting::PartSize, "lots", "0", nullptr},
      {Setting::X, "-20", "-20", nullptr},
      {Setting::UseBBS, " True", "TRUE", nullptr},
      {Setting::Logging, "false", "FALSE", nullptr},
      {Setting::UseBBS, "yes", "", "UseBBS is TRUE or FALSE."},
      {Setting::BodyComment, "one\ntwo\n", "one\xFC\xE9two", nullptr},
      {Setting::Port, " 0563 ", "563", nullptr},
      {Setting::Port, "", "0", nullptr},
      {Setting::Port, "00000000119", "119", nullptr},
      {Setting::Port, "000", "0", nullptr},
      {Setting::Port, "99999999999", "", "The news server PORT"},
      {Setting::Port, "65536", "", "The news server PORT"},
      {Setting::Port, "-1", "", "The news server PORT"},
      {Setting::Port, "119x", "", "The news server PORT"},
      {Setting::LineLength, "32", "32", nullptr},
      {Setting::LineLength, "997", "997", nullptr},
      {Setting::LineLength, "31", "", "The yEnc LINE LENGTH"},
      {Setting::LineLength, "998", "", "The yEnc LINE LENGTH"},
      {Setting::Encryption, "starttls", "STARTTLS", nullptr},
      {Setting::Encryption, "tls ", "TLS", nullptr},
      {Setting::Encryption, "SSL", "", "The ENCRYPTION"},
      {Setting::Encoding, "YENC", "yEnc", nullptr},
      {Setting::Encoding, "base64", "", "The ENCODING"},
      {Setting::TLSPin, "", "", nullptr},
      {Setting::TLSPin,
       "ab:CD:ef:01:23:45:67:89:ab:cd:ef:01:23:45:67:89:ab:cd:ef:01:23:45:67:89:ab:cd:ef:01:23:45:67:89",
       "ab:CD:ef:01:23:45:67:89:ab:cd:ef:01:23:45:67:89:ab:cd:ef:01:23:45:67:89:ab:cd:ef:01:23:45:67:89", nullptr},
      {Setting::TLSPin, "abcdef0123456789abcdef0123456789abcdef0123456789abcdef012345678", "", "The certificate PIN"},
      {Setting::TLSPin, "gbcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789", "", "The certificate PIN"},
      {Setting::Host, " [2001:db8::1]:563 ", "[2001:db8::1]:563", nullptr},
      {Setting::Host, "::1", "::1", nullptr},
      {Setting::Host, "[::1", "", "The HOST \"[::1\" has no closing bracket."},
      {Setting::Host, "10.0.0.256", "", "The HOST \"10.0.0.256\" is not a valid IPv4 address"},
      {Setting::AddressFamily, "ipv6", "IPv6", nullptr},
      {Setting::AddressFamily, "", "Any", nullptr},
      {Setting::AddressFamily, "IPv5", "", "The ADDRESS FAMILY must be Any, IPv4 or IPv6."},
      {Setting::MessageIDDomain, "posts.example.invalid", "posts.example.invalid", nullptr},
      {Setting::MessageIDDomain, "", "", "The Message-ID DOMAIN"},
      {Setting::MessageIDDomain, "example..org", "", "The Message-ID DOMAIN"},
      {Setting::MessageIDDomain, "example.org.", "", "The Message-ID DOMAIN"},
      {Setting::MessageIDDomain, "ex>ample.org", "", "The Message-ID DOMAIN"},
      {Setting::FastPosting, "true", "TRUE", nullptr},
      {Setting::NzbName, "", "", nullptr},
      {Setting::NzbName, "  Holiday \"2026\" \xC3\xBC ", "Holiday \"2026\" \xC3\xBC", nullptr},
      {Setting::NzbName, "..x", "..x", nullptr},
      {Setting::NzbName, "a/b", "", "The NZB NAME"},
      {Setting::NzbName, "/etc/x", "", "The NZB NAME"},
      {Setting::NzbName, " .. ", "", "The NZB NAME"},
      {Setting::NzbName, ".", "", "The NZB NAME"},
      {Setting::NzbName, "a\x01b", "", "The NZB NAME"},
      {Setting::NzbTitle, " a <b> & c ", "a <b> & c", nullptr},
      {Setting::MaxRate, "", "0", nullptr},
      {Setting::MaxRate, " 02000 ", "2000", nullptr},
      {Setting::MaxRate, "10000001", "", "The MAX RATE"},
      {Setting::MaxRate, "2 MB", "", "The MAX RATE"},
      {Setting::MaxRateSchedule, " 08:00-23:00=2000  23:00-08:00=0 ", "08:00-23:00=2000  23:00-08:00=0", nullptr},
      {Setting::MaxRateSchedule, "08:00-25:00=1", "", "The MAX RATE SCHEDULE period \"08:00-25:00=1\" has an end"},
      {Setting::Proxy, "socks5://proxy.example:1080", "socks5://proxy.example:1080", nullptr},
      {Setting::Proxy, "http://proxy.example:1080", "", "The PROXY must begin with socks5://"},
      {Setting::Proxy, "socks5://proxy.example", "", "The PROXY needs a port"},
      {Setting::VerifyHost, "", "", nullptr},
      {Setting::VerifyHost, "[2001:db8::2]:119", "[2001:db8::2]:119", nullptr},
      {Setting::VerifyHost, "[::1", "", "The VERIFY HOST \"[::1\" has no closing bracket."},
      {Setting::Par2Redundancy, "0", "0", nullptr},
      {Setting::Par2Redundancy, " 100 ", "100", nullptr},
      {Setting::Par2Redundancy, "101", "", "The PAR2 REDUNDANCY"},
      {Setting::Par2Redundancy, "-1", "", "The PAR2 REDUNDANCY"},
      {Setting::Par2SliceSize, "", "0", nullptr},
      {Setting::Par2SliceSize, "716800", "716800", nullptr},
      {Setting::Par2SliceSize, "716802", "", "The PAR2 SLICE SIZE"},
      {Setting::Par2SliceSize, "2", "", "The PAR2 SLICE SIZE"},
      {Setting::Par2Memory, "0", "", "The PAR2 MEMORY"},
      {Setting::Par2Name, " holiday 2026 ", "holiday 2026", nullptr},
      {Setting::Par2Name, "a/b", "", "The PAR2 NAME"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(rowOf(c.key).name) + "=" + c.entered);
    const CheckedValue checked = checkSettingValue(c.key, c.entered);
    if (c.problemStart == nullptr) {
      EXPECT_EQ(checked.problem, "");
      EXPECT_EQ(checked.stored, c.stored);
    } else {
      EXPECT_EQ(checked.problem.rfind(c.problemStart, 0), 0u) << checked.problem;
    }
  }
}

// The facts of each row hang together: a number has a range holding its
// default, a choice has choices holding its default, and nothing else has
// either.
TEST(SettingsTable, RangesAndChoicesFitTheirRows) {
  for (const SettingRow& row : kSettings) {
    SCOPED_TRACE(row.name);
    const bool number = row.type == SettingType::Number;
    const bool choice = row.type == SettingType::Choice;
    EXPECT_EQ(number, row.range.low < row.range.high);
    if (number) {
      EXPECT_TRUE(withinRange(row.key, parseDecimalSetting64(row.defaultValue)));
    }
    EXPECT_EQ(choice, !row.choices.empty());
    if (row.field != SettingField::Hidden) {  // a key with no panel field has no combo box
      EXPECT_EQ(choice, row.field == SettingField::Choice);
    }
    if (choice) {
      EXPECT_EQ(choiceIndex(row.key, row.defaultValue), 0u);
    }
    if (row.needs) {  // something a panel can show as on or off
      const SettingRow& needed = rowOf(*row.needs);
      EXPECT_TRUE(needed.type == SettingType::Flag || needed.type == SettingType::Choice) << needed.name;
      EXPECT_NE(needed.field, SettingField::Hidden);
    }
  }
  EXPECT_EQ(rangeText(Setting::Connections), "1 to 50");
  EXPECT_EQ(rangeText(Setting::PartSize), "0, or 50000 to 2147483647");
  EXPECT_EQ(choicesText(Setting::Encryption), "None, TLS or STARTTLS");
  EXPECT_EQ(clampedToRange(Setting::Connections, 99), 50);
  EXPECT_EQ(clampedToRange(Setting::PartSize, 0), 0);
}

// The command line stores a value exactly as meant or refuses it, where the
// panel corrects it.
TEST(SettingsTable, CommandLineValuesAreRefusedWhereThePanelWouldChangeThem) {
  const struct {
    Setting key;
    const char* entered;
    const char* stored;  // nullptr: refused, the message naming the key and the value
  } cases[] = {
      {Setting::PartSize, "abc", nullptr},
      {Setting::PartSize, "12", nullptr},
      {Setting::PartSize, "-5", nullptr},
      {Setting::PartSize, "10000", nullptr},
      {Setting::PartSize, "2147483648", nullptr},
      {Setting::PartSize, "0", "0"},
      {Setting::PartSize, " 50000 ", "50000"},
      {Setting::Connections, "51", nullptr},
      {Setting::Connections, "0", nullptr},
      {Setting::Connections, "4x", nullptr},
      {Setting::Connections, "4", "4"},
      {Setting::Port, "", nullptr},
      {Setting::Port, "563", "563"},
      {Setting::X, "-20", "-20"},
      {Setting::X, "--20", nullptr},
      {Setting::ReportNumber, "100", nullptr},
      {Setting::PostCount, "+1", nullptr},
      {Setting::Encryption, "starttls", "STARTTLS"},
      {Setting::Host, " news ", "news"},
      {Setting::MaxRate, "-1", nullptr},
      {Setting::MaxRate, "0", "0"},
      {Setting::Par2Redundancy, "101", nullptr},
      {Setting::Par2Redundancy, "10", "10"},
      {Setting::Par2SliceSize, "-4", nullptr},
      {Setting::Par2SliceSize, "0", "0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(rowOf(c.key).name) + "=" + c.entered);
    const CheckedValue checked = checkCommandLineValue(c.key, c.entered);
    if (c.stored != nullptr) {
      EXPECT_EQ(checked.problem, "");
      EXPECT_EQ(checked.stored, c.stored);
    } else {
      EXPECT_EQ(checked.problem.rfind(std::string(rowOf(c.key).name) + " must be a number from ", 0), 0u)
          << checked.problem;
      EXPECT_NE(checked.problem.find(trimmed(c.entered)), std::string::npos) << checked.problem;
    }
  }
  // A slice size in range but not a multiple of 4 is refused by the key's own rule.
  EXPECT_EQ(
      checkCommandLineValue(Setting::Par2SliceSize, "6").problem.rfind("The PAR2 SLICE SIZE must be a multiple", 0),
      0u);
  EXPECT_EQ(combinationProblem(1, false), "");
  EXPECT_EQ(combinationProblem(4, true), "");
  EXPECT_EQ(combinationProblem(4, false).rfind("Connections=4 needs FastPosting=TRUE", 0), 0u);
  const struct {
    bool obfuscate;
    const char* encoding;
    bool refused;
  } obfuscation[] = {{false, "uuencode", false}, {true, "yEnc", false}, {true, " YENC ", false},
                     {true, "uuencode", true},   {true, "", true},      {true, "yenc2", true}};
  for (const auto& c : obfuscation) {
    EXPECT_EQ(obfuscationProblem(c.obfuscate, c.encoding).rfind("Obfuscate=TRUE needs Encoding=yEnc", 0) == 0,
              c.refused)
        << c.encoding;
  }
}

TEST(SettingsTable, PortZeroIsTheEncryptionsUsualPort) {
  EXPECT_EQ(effectivePort(0, "None"), 119);
  EXPECT_EQ(effectivePort(0, "STARTTLS"), 119);
  EXPECT_EQ(effectivePort(0, "tls"), 563);
  EXPECT_EQ(effectivePort(8119, "TLS"), 8119);
}

// Backup server keys are named "ServerN.Key" for the server keys of
// sections 2 to 9 only; the names read back as they are found.
TEST(SettingsTable, SectionKeyNames) {
  const struct {
    const char* name;
    std::optional<SectionKey> found;
    const char* canonical;
  } cases[] = {
      {"Port", SectionKey{0, Setting::Port}, "Port"},
      {"server2.host", SectionKey{2, Setting::Host}, "Server2.Host"},
      {"SERVER9.Connections", SectionKey{9, Setting::Connections}, "Server9.Connections"},
      {"Server5.tlspin", SectionKey{5, Setting::TLSPin}, "Server5.TLSPin"},
      {"Server1.Host", std::nullopt, ""},
      {"Server10.Host", std::nullopt, ""},
      {"Server2.Subject", std::nullopt, ""},  // not a server key
      {"Server2.", std::nullopt, ""},
      {"Server2", std::nullopt, ""},
      {".Host", std::nullopt, ""},
      {"Settings.Host", std::nullopt, ""},
  };
  for (const auto& c : cases) {
    const std::optional<SectionKey> found = findSectionKey(c.name);
    ASSERT_EQ(found.has_value(), c.found.has_value()) << c.name;
    if (found) {
      EXPECT_EQ(found->server, c.found->server) << c.name;
      EXPECT_EQ(found->key, c.found->key) << c.name;
      EXPECT_EQ(sectionKeyName(*found), c.canonical);
    }
  }
}

}  // namespace
}  // namespace tidewell
