#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>

#include "net/loopback.h"
#include "platform/host_record.h"
#include "platform/winsock.h"
#include "support/loop_runner.h"

namespace tidewell {
namespace {

using test::LoopRunner;
using test::Recorder;

constexpr std::uint32_t kHostDone = 1327;
constexpr auto kWorkerLimit = std::chrono::seconds(20);

// A look-up buffer filled with a pattern, to see whether anything wrote it.
struct PatternBuffer {
  PatternBuffer() { std::fill(std::begin(bytes), std::end(bytes), '\xAB'); }
  [[nodiscard]] bool untouched() const {
    return std::all_of(std::begin(bytes), std::end(bytes), [](char c) { return c == '\xAB'; });
  }
  [[nodiscard]] const HostEntry* host() const { return reinterpret_cast<const HostEntry*>(bytes); }
  [[nodiscard]] bool holds(const void* pointer) const {
    const auto* p = static_cast<const char*>(pointer);
    return p >= bytes && p < bytes + sizeof bytes;
  }
  alignas(HostEntry) char bytes[kMaxGetHostStruct];
};

class WinsockLookup : public ::testing::Test {
 protected:
  void SetUp() override {
    WsaData data;
    ASSERT_EQ(winsock.startup(0x0101, data), 0);
  }
  bool waitForWorkers() {
    return run.waitFor([&] { return winsock.lookupsInFlight() == 0; }, 20000);
  }

  LoopRunner run;
  Winsock winsock{run.loop};
  Recorder replies{run.loop};
  PatternBuffer buffer;
};

TEST_F(WinsockLookup, LocalhostIsWrittenIntoTheBufferWhenTheReplyIsDelivered) {
  const AsyncHandle request =
      winsock.asyncGetHostByName(replies.target(), kHostDone, "localhost", buffer.bytes, sizeof buffer.bytes);
  ASSERT_NE(request, kNoRequest);
  EXPECT_TRUE(winsock.isPending(request));
  EXPECT_TRUE(buffer.untouched()) << "nothing is written before the loop delivers the reply";
  ASSERT_TRUE(run.waitFor([&] { return !replies.seen.empty(); }, 20000));

  const test::Recorded& reply = replies.seen[0];
  EXPECT_EQ(reply.id, kHostDone);
  EXPECT_EQ(reply.wParam, request);
  EXPECT_EQ(reply.error, 0);
  EXPECT_GT(reply.event, static_cast<int>(sizeof(HostEntry))) << "the low half is the record's length";
  EXPECT_LE(reply.event, kMaxGetHostStruct);
  const HostEntry* host = buffer.host();
  EXPECT_STREQ(host->name, "localhost");
  EXPECT_EQ(host->addressType, 2);
  EXPECT_EQ(host->addressLength, 4);
  ASSERT_NE(host->addressList[0], nullptr);
  EXPECT_TRUE(buffer.holds(host->name) && buffer.holds(host->addressList) && buffer.holds(host->addressList[0]));
  std::uint32_t first = 0;
  std::memcpy(&first, host->addressList[0], 4);
  EXPECT_EQ(first, htonl(INADDR_LOOPBACK));
  EXPECT_FALSE(winsock.isPending(request));
  EXPECT_EQ(winsock.cancelAsyncRequest(request), kSocketError);
  EXPECT_EQ(winsock.lastError(), kWsaEAlready);
}

TEST_F(WinsockLookup, NameThatCannotExistRepliesWithTheError) {
  const AsyncHandle request =
      winsock.asyncGetHostByName(replies.target(), kHostDone, "nonexistent.invalid", buffer.bytes, sizeof buffer.bytes);
  ASSERT_NE(request, kNoRequest);
  ASSERT_TRUE(run.waitFor([&] { return !replies.seen.empty(); }, 20000));
  const int error = replies.seen[0].error;
  EXPECT_TRUE(error == kWsaHostNotFound || error == kWsaNoData || error == kWsaTryAgain) << error;
  EXPECT_TRUE(buffer.untouched()) << "a failed look-up writes no record";
}

TEST_F(WinsockLookup, CancelledRequestIsNeverAnsweredNorWritten) {
  const AsyncHandle request =
      winsock.asyncGetHostByName(replies.target(), kHostDone, "localhost", buffer.bytes, sizeof buffer.bytes);
  ASSERT_NE(request, kNoRequest);
  EXPECT_EQ(winsock.cancelAsyncRequest(request), 0);
  EXPECT_FALSE(winsock.isPending(request));
  ASSERT_TRUE(waitForWorkers());
  run.settle();
  EXPECT_TRUE(replies.seen.empty());
  EXPECT_TRUE(buffer.untouched());
  EXPECT_EQ(winsock.cancelAsyncRequest(request), kSocketError);
  EXPECT_EQ(winsock.lastError(), kWsaEAlready);
  EXPECT_EQ(winsock.cancelAsyncRequest(request + 100), kSocketError);
  EXPECT_EQ(winsock.lastError(), kWsaEInval);
}

TEST_F(WinsockLookup, RequesterGoneBeforeTheReplyIsNeverWritten) {
  auto gone = std::make_unique<Recorder>(run.loop);
  ASSERT_NE(winsock.asyncGetHostByName(gone->target(), kHostDone, "localhost", buffer.bytes, sizeof buffer.bytes),
            kNoRequest);
  gone.reset();
  ASSERT_TRUE(waitForWorkers());
  run.settle();
  EXPECT_TRUE(buffer.untouched());
}

TEST_F(WinsockLookup, RecordThatDoesNotFitGivesNoBufsWithTheSizeNeeded) {
  const AsyncHandle request = winsock.asyncGetHostByName(replies.target(), kHostDone, "localhost", buffer.bytes, 48);
  ASSERT_NE(request, kNoRequest);
  ASSERT_TRUE(run.waitFor([&] { return !replies.seen.empty(); }, 20000));
  EXPECT_EQ(replies.seen[0].error, kWsaENoBufs);
  EXPECT_GT(replies.seen[0].event, 48);
  EXPECT_TRUE(buffer.untouched());
}

TEST_F(WinsockLookup, RequestsThatCannotStartFailAtOnce) {
  EXPECT_EQ(winsock.asyncGetHostByName(99999, kHostDone, "localhost", buffer.bytes, sizeof buffer.bytes), kNoRequest);
  EXPECT_EQ(winsock.lastError(), kWsaEInval);
  EXPECT_EQ(winsock.asyncGetHostByName(replies.target(), kHostDone, "localhost", buffer.bytes + 1, 1000), kNoRequest);
  EXPECT_EQ(winsock.lastError(), kWsaEFault) << "a record needs a pointer-aligned buffer";
  const char address[4] = {127, 0, 0, 1};
  EXPECT_EQ(winsock.asyncGetHostByAddr(replies.target(), kHostDone, address, 4, 23, buffer.bytes, 1024), kNoRequest);
  EXPECT_EQ(winsock.lastError(), kWsaEAfNoSupport);
  EXPECT_TRUE(buffer.untouched());
}

// The look-up workers must never outlive what they reference: the service
// and the loop may go first, the worker then finds nobody and ends.
TEST(WinsockLookupLifetime, ServiceDestroyedWithALookupPending) {
  LoopRunner run;
  Recorder replies(run.loop);
  PatternBuffer buffer;
  auto winsock = std::make_unique<Winsock>(run.loop);
  WsaData data;
  ASSERT_EQ(winsock->startup(0x0101, data), 0);
  ASSERT_NE(winsock->asyncGetHostByName(replies.target(), kHostDone, "localhost", buffer.bytes, 1024), kNoRequest);
  winsock.reset();
  ASSERT_TRUE(Winsock::waitForLookupWorkers(kWorkerLimit));
  run.settle();
  EXPECT_TRUE(replies.seen.empty());
  EXPECT_TRUE(buffer.untouched());
}

TEST(WinsockLookupLifetime, LoopAndServiceDestroyedBeforeTheWorkerEnds) {
  PatternBuffer buffer;
  {
    LoopRunner run;
    Winsock winsock(run.loop);
    WsaData data;
    ASSERT_EQ(winsock.startup(0x0101, data), 0);
    const TargetHandle target = run.loop.createTarget([](const Message&) {});
    for (int i = 0; i < 4; ++i) {
      ASSERT_NE(winsock.asyncGetHostByName(target, kHostDone, "localhost", buffer.bytes, 1024), kNoRequest);
    }
  }
  EXPECT_TRUE(Winsock::waitForLookupWorkers(kWorkerLimit));
  EXPECT_TRUE(buffer.untouched());
}

TEST(WinsockLookupLifetime, CleanupCancelsPendingLookUps) {
  LoopRunner run;
  Recorder replies(run.loop);
  PatternBuffer buffer;
  Winsock winsock(run.loop);
  WsaData data;
  ASSERT_EQ(winsock.startup(0x0101, data), 0);
  ASSERT_NE(winsock.asyncGetHostByName(replies.target(), kHostDone, "localhost", buffer.bytes, 1024), kNoRequest);
  EXPECT_EQ(winsock.cleanup(), 0);
  ASSERT_TRUE(run.waitFor([&] { return winsock.lookupsInFlight() == 0; }, 20000));
  run.settle();
  EXPECT_TRUE(replies.seen.empty());
  EXPECT_TRUE(buffer.untouched());
}

}  // namespace
}  // namespace tidewell
