#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "settings/backup_servers.h"
#include "support/temp_dir.h"

namespace tidewell {
namespace {

using test::TempDir;

TEST(SettingsStore, FreshInstallationReadsEveryDefault) {
  TempDir dir;
  const SettingsStore store(dir.file("Tidewell.INI"));
  EXPECT_FALSE(store.getHost().has_value());
  EXPECT_EQ(store.getUsername(), "");
  EXPECT_EQ(store.getPassword(), "");
  EXPECT_EQ(store.getFrom(), "");
  EXPECT_EQ(store.getReplyTo(), "");
  EXPECT_EQ(store.getOrganization(), "The Usenet Upload Circle");
  EXPECT_EQ(store.getSubject(), "Type Subject Here");
  EXPECT_EQ(store.getDirectory(), "");
  EXPECT_EQ(store.getNewsgroup(), "alt.test");
  EXPECT_EQ(store.getPartSize(), 0);
  EXPECT_EQ(store.getBodyComment(), "");
  EXPECT_TRUE(store.isAppendFileSize());
  EXPECT_TRUE(store.isShowFilename());
  EXPECT_TRUE(store.isShowCount());
  EXPECT_FALSE(store.isUseBBS());
  EXPECT_FALSE(store.isLogging());
  EXPECT_FALSE(fileExists(dir.file("Tidewell.INI")));
}

TEST(SettingsStore, HostNotSetOnlyWhenAbsentOrExactlyTheMarker) {
  TempDir dir;
  SettingsStore store(dir.file("t.ini"));
  ASSERT_TRUE(store.write("Host", "ghsBuf"));
  EXPECT_FALSE(store.getHost().has_value());
  ASSERT_TRUE(store.write("Host", "GHSBUF"));
  EXPECT_EQ(store.getHost(), "GHSBUF");
  ASSERT_TRUE(store.write("Host", ""));
  EXPECT_EQ(store.getHost(), "");
  ASSERT_TRUE(store.write("Host", "news.example.org"));
  EXPECT_EQ(store.getHost(), "news.example.org");
}

TEST(SettingsStore, BooleansAreTrueOnlyForTrueInAnyCaseWithBlanksAround) {
  TempDir dir;
  const std::string path = dir.write("t.ini",
                                     "[Settings]\n"
                                     "UseBBS= \t True \n"
                                     "Logging=\"  tRuE\t\"\n"
                                     "AppendFileSize=1\n"
                                     "ShowFilename=yes\n"
                                     "ShowCount=\n");
  const SettingsStore store(path);
  EXPECT_TRUE(store.isUseBBS());
  EXPECT_TRUE(store.isLogging());
  EXPECT_FALSE(store.isAppendFileSize());
  EXPECT_FALSE(store.isShowFilename());
  EXPECT_FALSE(store.isShowCount());  // present and empty is not the default
  EXPECT_FALSE(parseBoolSetting("truex"));
  EXPECT_FALSE(parseBoolSetting("t rue"));
  EXPECT_TRUE(parseBoolSetting("\r\nTRUE\r\n"));
  EXPECT_FALSE(parseBoolSetting("\vtrue"));  // only space, tab, CR and LF are blanks
}

TEST(SettingsStore, DecimalsReadTheLeadingNumberAndSaturate) {
  EXPECT_EQ(parseDecimalSetting("  -42abc"), -42);
  EXPECT_EQ(parseDecimalSetting("+7"), 7);
  EXPECT_EQ(parseDecimalSetting("007"), 7);
  EXPECT_EQ(parseDecimalSetting("abc"), 0);
  EXPECT_EQ(parseDecimalSetting("-"), 0);
  EXPECT_EQ(parseDecimalSetting("1 2"), 1);
  EXPECT_EQ(parseDecimalSetting(""), 0);
  EXPECT_EQ(parseDecimalSetting("2147483647"), 2147483647);
  EXPECT_EQ(parseDecimalSetting("2147483648"), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(parseDecimalSetting("-99999999999999999999999"), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(parseDecimalSetting64("99999999999999999999999"), std::numeric_limits<std::int64_t>::max());

  TempDir dir;
  const SettingsStore store(dir.write("t.ini", "[Settings]\nPartSize= 15000 bytes\n"));
  EXPECT_EQ(store.getPartSize(), 15000);
}

// A value laid over a key (--with) is what every read gives, by key or by
// name in any case; the file is never written for it, and the program's own
// write of the key goes to the file and ends the overlay.
TEST(SettingsStore, AnOverlayIsReadInsteadOfTheFileAndEndsWithAWrite) {
  TempDir dir;
  const std::string path = dir.file("Tidewell.INI");
  test::writeFile(path, "[Settings]\nSubject=From the file\nReportNumber=7\n");
  SettingsStore store(path);
  store.overlay(Setting::Subject, "For one run");
  store.overlay(Setting::ReportNumber, "3");
  store.overlay(Setting::FastPosting, "TRUE");
  EXPECT_EQ(store.getSubject(), "For one run");
  EXPECT_EQ(store.read("SUBJECT", "", 4), "For ");
  EXPECT_TRUE(store.flag(Setting::FastPosting));
  EXPECT_EQ(store.number(Setting::ReportNumber), 3);
  EXPECT_EQ(test::readFile(path), "[Settings]\nSubject=From the file\nReportNumber=7\n");

  ASSERT_TRUE(store.write(Setting::ReportNumber, "4"));
  EXPECT_EQ(store.number(Setting::ReportNumber), 4);
  EXPECT_EQ(store.getSubject(), "For one run");
  EXPECT_EQ(SettingsStore(path).getSubject(), "From the file");
}

// Backup sections are read in order, those without a Host left out; absent
// keys read as the main server's defaults, an absent Connections as 0; the
// main section's keys of the same names are not theirs. --with lies over a
// section's key as over a main one, and a write ends it.
TEST(SettingsStore, BackupServersAreTheSectionsWithAHostInOrder) {
  TempDir dir;
  const std::string path = dir.file("Tidewell.INI");
  test::writeFile(path,
                  "[Settings]\nHost=main.example.com\nPort=120\nConnections=4\n"
                  "[server4]\nhost=four.example.com\nEncryption=TLS\nTLSVerify=false\nConnections=2\n"
                  "Username=u4\nPassword=p4\nTLSPin=ab\nTLSCAFile=~/ca.pem\n"
                  "[Server2]\nHost=two.example.com\nPort=8119\n"
                  "[Server3]\nHost=  \nPort=9\n[Server5]\nPort=9\n");
  SettingsStore store(path);
  const auto described = [&store] {
    std::vector<std::string> lines;
    for (const BackupServer& b : backupServers(store)) {
      lines.push_back(std::to_string(b.number) + " " + b.host + ":" + std::to_string(b.port) + " " + b.encryption +
                      (b.tlsVerify ? " verify " : " unchecked ") + b.username + "/" + b.password + " " + b.tlsPin +
                      " " + b.tlsCaFile + " " + std::to_string(b.connections));
    }
    return lines;
  };
  EXPECT_EQ(described(), std::vector<std::string>({"2 two.example.com:8119 None verify /   0",
                                                   "4 four.example.com:0 TLS unchecked u4/p4 ab ~/ca.pem 2"}));

  store.overlay(SectionKey{2, Setting::Host}, "");
  store.overlay(SectionKey{9, Setting::Host}, "nine.example.com");
  EXPECT_EQ(described().size(), 2u);
  EXPECT_EQ(described().back().substr(0, 18), "9 nine.example.com");
  EXPECT_EQ(store.getHost(), "main.example.com");
  ASSERT_TRUE(store.write(SectionKey{2, Setting::Port}, "7"));
  ASSERT_TRUE(store.write(SectionKey{9, Setting::Host}, "nine.example.org"));
  EXPECT_EQ(store.read(SectionKey{9, Setting::Host}), "nine.example.org");
  EXPECT_EQ(store.read(SectionKey{2, Setting::Port}), "7");
  EXPECT_EQ(store.number(Setting::Port), 120);
  EXPECT_EQ(SettingsStore(path).read(SectionKey{2, Setting::Host}), "two.example.com");
}

TEST(SettingsStore, GettersCutValuesAtTheirReadLimits) {
  TempDir dir;
  const std::string longValue(40000, 'n');
  SettingsStore store(dir.file("t.ini"));
  for (const char* key : {"Newsgroup", "Subject", "BodyComment", "Host"}) {
    ASSERT_TRUE(store.write(key, longValue));
  }
  EXPECT_EQ(store.getNewsgroup(), longValue.substr(0, 33999));
  EXPECT_EQ(store.getSubject().size(), 4095u);
  EXPECT_EQ(store.getHost()->size(), 4095u);
  EXPECT_EQ(store.getBodyComment().size(), 35999u);
  EXPECT_EQ(store.read("Newsgroup", "", kLongLimit).size(), 35999u);
}

TEST(SettingsStore, EveryGetterSeesAValueChangedOnDiskSinceTheLastCall) {
  TempDir dir;
  const std::string path = dir.write("t.ini", "[Settings]\nSubject=Before\nUseBBS=FALSE\n");
  const SettingsStore store(path);
  EXPECT_EQ(store.getSubject(), "Before");
  EXPECT_FALSE(store.isUseBBS());
  test::writeFile(path, "[settings]\r\nsubject=After\r\nusebbs=TRUE\r\n");
  EXPECT_EQ(store.getSubject(), "After");
  EXPECT_TRUE(store.isUseBBS());
}

TEST(BodyComment, LineBreaksTravelAsFcAndE9) {
  EXPECT_EQ(encodeBodyComment("one\r\ntwo\nthree"), "one\xFC\xE9two\xE9three");
  EXPECT_EQ(decodeBodyComment("one\xFC\xE9two\xE9three"), "one\r\ntwo\nthree");
  // Bytes typed as letters in an 8-bit character set come back as breaks.
  EXPECT_EQ(decodeBodyComment("M\xFCller caf\xE9"), "M\rller caf\n");

  TempDir dir;
  SettingsStore store(dir.file("t.ini"));
  ASSERT_TRUE(store.write("BodyComment", encodeBodyComment("Line 1\r\nLine 2\r\n")));
  EXPECT_EQ(store.getBodyComment(), "Line 1\r\nLine 2\r\n");
}

TEST(BodyComment, Utf8CharactersLedByE9AreKeptWhole) {
  // U+91CE (野) is E9 87 8E in UTF-8; U+00E9 (é) is C3 A9 and has no E9 byte.
  const std::string text = "\xE9\x87\x8E caf\xC3\xA9\r\n\xE9\x87\x8E";
  const std::string stored = encodeBodyComment(text);
  EXPECT_EQ(stored, "\xE9\x87\x8E caf\xC3\xA9\xFC\xE9\xE9\x87\x8E");
  EXPECT_EQ(decodeBodyComment(stored), text);
  // An encoded line feed right before a UTF-8 character leading with E9.
  EXPECT_EQ(decodeBodyComment("a\xE9\xE9\x87\x8E"), "a\n\xE9\x87\x8E");
  // E9 with only one continuation byte, or at the very end, is a line feed.
  EXPECT_EQ(decodeBodyComment("\xE9\x87x"), "\n\x87x");
  EXPECT_EQ(decodeBodyComment("x\xE9\x87"), "x\n\x87");
  EXPECT_EQ(decodeBodyComment("x\xE9"), "x\n");
}

}  // namespace
}  // namespace tidewell
