#include "posting/session_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>

#include "platform/file_system.h"
#include "settings/settings_store.h"
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

TEST_F(SessionLogTest, WritesThatCannotOpenTheirFileAreDropped) {
  log.OpenNewReport();
  deleteFile(dir.file("Report01.TXT"));
  ASSERT_EQ(mkdir(dir.file("Report01.TXT").c_str(), 0700), 0);
  log.ReportWrite("lost");  // must not crash or throw
  EXPECT_FALSE(appendToFile(dir.file("Report01.TXT"), "x"));
}

}  // namespace
}  // namespace tidewell
