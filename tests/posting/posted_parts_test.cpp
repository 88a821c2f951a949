#include "posting/posted_parts.h"

#include <gtest/gtest.h>

namespace tidewell {
namespace {

// Where posting goes on in a five-part file of which parts 1, 2 and 4 are
// on the server: after a gap as well as at the start, and past the end
// once nothing is left.
TEST(PostedPartsTest, NextUnpostedSkipsMarkedPartsOnly) {
  PostedParts posted;
  posted.markPosted("a.bin", 1, "<1@x>");
  posted.markPosted("a.bin", 2, "<2@x>");
  posted.markPosted("a.bin", 4, "<4@x>");
  posted.markPosted("b.bin", 1, "<b@x>");
  const struct {
    const char* name;
    std::int32_t after;
    std::int32_t partCount;
    std::int32_t next;
  } cases[] = {{"a.bin", 0, 5, 3}, {"a.bin", 3, 5, 5}, {"a.bin", 3, 4, 5}, {"A.BIN", 0, 5, 1}, {"b.bin", 0, 1, 2}};
  for (const auto& c : cases) {
    EXPECT_EQ(posted.nextUnposted(c.name, c.after, c.partCount), c.next) << c.name << " after " << c.after;
  }
  posted.markPosted("a.bin", 4, "<again@x>");
  EXPECT_EQ(*posted.messageIdOf("a.bin", 4), "<again@x>");
  posted.forget("a.bin");
  EXPECT_FALSE(posted.hasAny("a.bin"));
  EXPECT_TRUE(posted.isPosted("b.bin", 1));
}

}  // namespace
}  // namespace tidewell
