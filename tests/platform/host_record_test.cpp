#include "platform/host_record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace tidewell {
namespace {

TEST(HostRecord, EveryPointerPointsIntoTheBuffer) {
  HostData data;
  data.name = "news.example.org";
  data.aliases = {"news", "nntp"};
  data.addresses = {{10, 1, 2, 3}, {192, 168, 0, 9}};
  alignas(HostEntry) char buffer[kMaxGetHostStruct];
  const int used = writeHostRecord(data, buffer, sizeof buffer);
  EXPECT_EQ(used, hostRecordSize(data));
  const char* end = buffer + used;
  const auto inside = [&](const void* p) { return p >= buffer && p < end; };

  const auto* host = reinterpret_cast<const HostEntry*>(buffer);
  ASSERT_TRUE(inside(host->name) && inside(host->aliases) && inside(host->addressList));
  EXPECT_STREQ(host->name, "news.example.org");
  EXPECT_STREQ(host->aliases[0], "news");
  EXPECT_STREQ(host->aliases[1], "nntp");
  EXPECT_EQ(host->aliases[2], nullptr);
  EXPECT_EQ(host->addressType, 2);
  EXPECT_EQ(host->addressLength, 4);
  ASSERT_TRUE(inside(host->addressList[1]));
  EXPECT_EQ(std::memcmp(host->addressList[0], "\x0A\x01\x02\x03", 4), 0);
  EXPECT_EQ(std::memcmp(host->addressList[1], "\xC0\xA8\x00\x09", 4), 0);
  EXPECT_EQ(host->addressList[2], nullptr);
}

TEST(HostRecord, BothFamiliesAsSixteenByteAddresses) {
  HostData data;
  data.name = "dual.example.org";
  data.addressType = kAfInet6;
  data.wideAddresses = {{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1},
                        {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 192, 0, 2, 7}};
  data.addresses = {{10, 1, 2, 3}};  // not used by a wide record
  alignas(HostEntry) char buffer[kMaxGetHostStruct];
  const int used = writeHostRecord(data, buffer, sizeof buffer);
  ASSERT_EQ(used, hostRecordSize(data));
  const char* end = buffer + used;
  const auto* host = reinterpret_cast<const HostEntry*>(buffer);
  EXPECT_EQ(host->addressType, 23);
  EXPECT_EQ(host->addressLength, 16);
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(host->addressList[i] >= buffer && host->addressList[i] + 16 <= end);
    EXPECT_EQ(std::memcmp(host->addressList[i], data.wideAddresses[i].data(), 16), 0);
  }
  EXPECT_EQ(host->addressList[2], nullptr);
  EXPECT_STREQ(host->name, "dual.example.org");
}

TEST(HostRecord, RecordThatDoesNotFitWritesNothingAndSaysWhatItNeeds) {
  HostData data;
  data.name = std::string(300, 'a');
  data.addresses = {{127, 0, 0, 1}};
  alignas(HostEntry) char buffer[128];
  std::fill(std::begin(buffer), std::end(buffer), 'z');
  EXPECT_EQ(writeHostRecord(data, buffer, sizeof buffer), hostRecordSize(data));
  EXPECT_GT(hostRecordSize(data), 300);
  EXPECT_TRUE(std::all_of(std::begin(buffer), std::end(buffer), [](char c) { return c == 'z'; }));
  EXPECT_EQ(writeHostRecord(data, buffer + 1, 100), -1) << "misaligned";
  EXPECT_EQ(writeHostRecord(data, nullptr, 1024), -1);
}

}  // namespace
}  // namespace tidewell
