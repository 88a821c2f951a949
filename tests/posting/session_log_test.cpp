#include "posting/session_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/file_io.h"
#include "platform/file_system.h"
#include "settings/settings_store.h"
#include "support/failing_disk.h"
#include "support/manual_clock.h"
#include "support/temp_dir.h"

namespace tidewell {
namespace {

using test::ScopedChdir;
using test::TempDir;

class SessionLogTest : public ::testing::Test {
 protected:
  TempDir dir;
  ScopedChdir inDir{dir.path()};
  SettingsStore settings{dir.file("Tidewell.INI")};
  ManualClock clock;
  SessionLog log{settings, clock};
};

TEST_F(SessionLogTest, ReportNumbersCycleFromOneToNinetyNineThenZero) {
  log.OpenNewReport();
  EXPECT_EQ(log.reportFileName(), "Report01.TXT");
  EXPECT_EQ(settings.read("ReportNumber", "", 255), "1");
  settings.write("ReportNumber", "98");
  log.OpenNewReport();
  EXPECT_EQ(log.reportFileName(), "Report99.TXT");
  log.OpenNewReport();
  EXPECT_EQ(log.reportFileName(), "Report00.TXT");
  for (const char* odd : {"-7", "seven", " 12 "}) {
    settings.write("ReportNumber", odd);
    log.OpenNewReport();
  }
  EXPECT_EQ(log.reportFileName(), "Report13.TXT");
}

TEST_F(SessionLogTest, NewReportReplacesAnOlderOneOfTheSameNumber) {
  dir.write("Report01.TXT", "old contents\r\n");
  log.OpenNewReport();
  log.ReportWrite("Tidewell ");
  const LocalTime now = clock.localNow();
  char stamp[16];
  std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d ", now.hour, now.minute, now.second);
  log.ReportStamped("Starting Posting Session\r\n");
  EXPECT_EQ(dir.read("Report01.TXT"), std::string("Tidewell ") + stamp + "Starting Posting Session\r\n");
}

TEST_F(SessionLogTest, LoggingSwitchesOnOnceAndStaysOn) {
  dir.write("LOGGIT.TXT", "from the last run");
  log.StartNewLog();
  EXPECT_FALSE(fileExists(dir.file("LOGGIT.TXT")));
  log.LogWrite("dropped\r\n");
  EXPECT_FALSE(fileExists(dir.file("LOGGIT.TXT")));

  settings.write("Logging", "  tRuE ");
  log.RefreshLogging();
  log.LogWrite("kept\r\n");
  settings.write("Logging", "FALSE");
  log.RefreshLogging();
  EXPECT_TRUE(log.loggingOn());
  log.LogWrite("still kept\r\n");
  EXPECT_EQ(dir.read("LOGGIT.TXT"), "kept\r\nstill kept\r\n");
}

TEST_F(SessionLogTest, TheLogIsTheOwnersAloneAndMasksThePassword) {
  settings.write("Logging", "true");
  log.RefreshLogging();
  const std::vector<std::pair<std::string, std::string>> lines = {
      {"authinfo user tester\r\n", "authinfo user tester\r\n"},
      {"authinfo pass secret\r\n", "authinfo pass ********\r\n"},
      {"AUTHINFO PASS secret", "AUTHINFO PASS ********"},
      {"281 authinfo pass secret accepted\r\n", "281 authinfo pass secret accepted\r\n"},
  };
  std::string expected;
  for (const auto& [written, kept] : lines) {
    log.LogWrite(written);
    expected += kept;
  }
  EXPECT_EQ(dir.read("LOGGIT.TXT"), expected);
  struct stat st {};
  ASSERT_EQ(stat(dir.file("LOGGIT.TXT").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600U);
}

TEST(SessionLogReports, AnUnsavedNumberTakesTheNextFreeNameAndWarnsOnce) {
  TempDir dir;
  ScopedChdir inDir{dir.path()};
  SettingsStore settings{dir.file("missing/Tidewell.INI")};  // cannot be saved
  ManualClock clock;
  SessionLog log{settings, clock};
  dir.write("Report01.TXT", "an earlier run");
  const ReportOpening first = log.OpenNewReport();
  EXPECT_TRUE(first.opened);
  EXPECT_EQ(log.reportFileName(), "Report02.TXT");
  EXPECT_NE(first.message.find("Report02.TXT"), std::string::npos) << first.message;
  const ReportOpening second = log.OpenNewReport();
  EXPECT_EQ(log.reportFileName(), "Report03.TXT");
  EXPECT_EQ(second.message, "");
  EXPECT_EQ(dir.read("Report01.TXT"), "an earlier run");
}

TEST(SessionLogReports, AWorkingDirectoryThatRefusesFilesGivesNoReport) {
  TempDir dir;
  ScopedChdir inDir{dir.path()};
  SettingsStore settings{dir.file("Tidewell.INI")};
  ManualClock clock;
  test::FailingDisk disk;
  disk.failAppends(EACCES);
  SessionLog log{settings, clock, disk};
  const ReportOpening opening = log.OpenNewReport();
  EXPECT_FALSE(opening.opened);
  EXPECT_EQ(log.reportFileName(), "");
  EXPECT_EQ(opening.message,
            "Cannot write the report Report01.TXT in the working directory (Permission denied). "
            "Not posting.");
}

TEST_F(SessionLogTest, WritesThatCannotOpenTheirFileAreDropped) {
  log.OpenNewReport();
  deleteFile(dir.file("Report01.TXT"));
  ASSERT_EQ(mkdir(dir.file("Report01.TXT").c_str(), 0700), 0);
  log.ReportWrite("lost");  // must not crash or throw
  EXPECT_FALSE(appendToFile(dir.file("Report01.TXT"), "x"));
}

}  // namespace
}  // namespace tidewell
