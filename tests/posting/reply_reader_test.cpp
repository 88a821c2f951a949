// The reading rules every connection shares: a reply is one whole line,
// bytes after it wait for the next, a line may not outgrow kReadSize, and
// control characters never come through raw.
#include "posting/reply_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tidewell {
namespace {

struct ReadCase {
  const char* name;
  std::vector<std::string> reads;  // bytes as the socket hands them over, in turn
  std::vector<std::string> lines;  // the replies taken, in order
  bool tooLong = false;            // the server's error after the last read
};

class ReplyReading : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReplyReading, TakesWholeLinesOnly) {
  ReplyReader reader;
  std::vector<std::string> lines;
  for (std::string bytes : GetParam().reads) {
    ASSERT_LE(static_cast<int>(bytes.size()), reader.room());
    (void)reader.add(bytes.data(), static_cast<int>(bytes.size()));
    while (reader.hasLine()) {
      lines.push_back(reader.takeLine());
    }
  }
  EXPECT_EQ(lines, GetParam().lines);
  EXPECT_EQ(reader.tooLong(), GetParam().tooLong);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ReplyReading,
    ::testing::Values(
        ReadCase{"SplitAcrossReads", {"24", "0 ok\r\n"}, {"240 ok\r\n"}},
        ReadCase{"TwoInOneRead", {"200 hello\r\n200 reader"}, {"200 hello\r\n"}},
        ReadCase{"RestWaitsForItsEnd", {"200 a\r\n20", "1 b\r\n"}, {"200 a\r\n", "201 b\r\n"}},
        ReadCase{"ControlCharactersMadeHarmless", {std::string("200 \x1b[2Jhi\0\tx\r\n", 16)}, {"200 ?[2Jhi?\tx\r\n"}},
        ReadCase{"LongestLineIsNoError",
                 {std::string(kReadSize - 2, 'x') + "\r\n"},
                 {std::string(kReadSize - 2, 'x') + "\r\n"}},
        ReadCase{"OverlongLine", {std::string(kReadSize - 1, 'x'), "y"}, {}, true}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace tidewell
