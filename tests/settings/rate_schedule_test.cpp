#include "settings/rate_schedule.h"

#include <gtest/gtest.h>

namespace tidewell {
namespace {

TEST(RateSchedule, ReadsPeriodsAndRefusesMalformedOnesNamingTheFault) {
  using Periods = std::vector<RatePeriod>;
  const struct {
    const char* text;
    Periods periods;      // when accepted
    const char* problem;  // nullptr: accepted; else a part of the message
  } cases[] = {
      {"", {}, nullptr},
      {" , ", {}, nullptr},
      {"08:00-23:00=2000 23:00-08:00=0", {{480, 1380, 2000}, {1380, 480, 0}}, nullptr},
      {"8:30-9:15=5,\t22:00-24:00=100", {{510, 555, 5}, {1320, 1440, 100}}, nullptr},
      {"00:00-24:00=10000000", {{0, 1440, 10'000'000}}, nullptr},
      {"08:00-23:00", {}, "\"08:00-23:00\" is not of the form START-END=RATE."},
      {"08:00=5-09:00", {}, "is not of the form"},
      {"24:00-08:00=1", {}, "has a start \"24:00\""},
      {"08:60-09:00=1", {}, "has a start \"08:60\""},
      {"8-9=1", {}, "has a start \"8\""},
      {"123:00-09:00=1", {}, "has a start"},
      {"08:00-24:01=1", {}, "has an end \"24:01\""},
      {"08:00-09:0=1", {}, "has an end \"09:0\""},
      {"08:00-09:00=", {}, "has a rate \"\""},
      {"08:00-09:00=-1", {}, "has a rate \"-1\""},
      {"08:00-09:00=10000001", {}, "has a rate \"10000001\""},
      {"08:00-09:00=1e3", {}, "has a rate \"1e3\""},
      {"08:00-08:00=1", {}, "starts where it ends."},
      {"00:00-24:00=1 12:00-13:00=2", {}, "\"12:00-13:00=2\" overlaps an earlier period."},
      {"22:00-02:00=1 01:59-03:00=2", {}, "overlaps"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const RateScheduleResult result = parseRateSchedule(c.text);
    if (c.problem == nullptr) {
      ASSERT_TRUE(result.value) << result.problem;
      EXPECT_EQ(*result.value, c.periods);
    } else {
      EXPECT_FALSE(result.value);
      EXPECT_NE(result.problem.find(c.problem), std::string::npos) << result.problem;
      EXPECT_NE(result.problem.find("MAX RATE SCHEDULE"), std::string::npos) << result.problem;
    }
  }
}

TEST(RateSchedule, PeriodsHoldUpToTheirEndAcrossMidnightAndMaxRateElsewhere) {
  const std::vector<RatePeriod> periods =
      parseRateSchedule("08:00-12:00=2000 23:00-02:00=0 12:00-13:00=500").value.value();
  const struct {
    int minute;
    std::int64_t kib;
  } cases[] = {
      {479, 77},  {480, 2000}, {719, 2000}, {720, 500}, {779, 500}, {780, 77},
      {1379, 77}, {1380, 0},   {1439, 0},   {0, 0},     {119, 0},   {120, 77},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(scheduledRate(periods, c.minute, 77), c.kib) << "minute " << c.minute;
  }
}

}  // namespace
}  // namespace tidewell
