#include "upload/random_names.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

namespace tidewell {
namespace {

TEST(RunDisguise, NamesAreRandomStableForAFileAndNeverRepeated) {
  std::optional<RunDisguise> disguise = RunDisguise::make();
  ASSERT_TRUE(disguise);
  EXPECT_TRUE(std::regex_match(disguise->from(), std::regex("[a-z2-7]{10}@[a-z2-7]{8}\\.com")));
  EXPECT_TRUE(std::regex_match(disguise->messageIdDomain(), std::regex("[a-z2-7]{8}\\.net")));
  const std::optional<std::string> first = disguise->nameFor("Report.PDF");
  ASSERT_TRUE(first);
  EXPECT_EQ(disguise->nameFor("Report.PDF"), first);  // every part of a file
  std::set<std::string> seen{*first};
  for (int i = 0; i < 5000; ++i) {
    const std::optional<std::string> subject = disguise->nextSubject();
    const std::optional<std::string> name = disguise->nameFor("file " + std::to_string(i));
    ASSERT_TRUE(subject && name);
    ASSERT_TRUE(std::regex_match(*subject, std::regex("[a-z2-7]{32}"))) << *subject;
    ASSERT_TRUE(std::regex_match(*name, std::regex("[a-z2-7]{24}"))) << *name;
    ASSERT_TRUE(seen.insert(*subject).second && seen.insert(*name).second);
  }
  // Another run shows other names.
  std::optional<RunDisguise> other = RunDisguise::make();
  ASSERT_TRUE(other);
  EXPECT_NE(other->from(), disguise->from());
  EXPECT_NE(other->nameFor("Report.PDF"), first);
}

}  // namespace
}  // namespace tidewell
