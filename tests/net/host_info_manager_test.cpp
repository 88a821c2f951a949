#include "net/host_info_manager.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <memory>

#include "net/loopback.h"
#include "net/socket_manager.h"
#include "platform/winsock.h"
#include "support/loop_runner.h"

namespace tidewell {
namespace {

using test::LoopRunner;
using test::Recorder;

constexpr int kLookupWait = 20000;

class HostInfoManagerTest : public ::testing::Test {
 protected:
  bool workersDone() {
    return run.waitFor([&] { return sockets.winsock().lookupsInFlight() == 0; }, kLookupWait);
  }

  LoopRunner run;
  SocketManager sockets{run.loop, 1, 1, 1};
  Recorder dialog{run.loop};
};

TEST_F(HostInfoManagerTest, FreshManagerHasNothingToCancelOrRead) {
  HostInfoManager hosts(sockets);
  EXPECT_EQ(hosts.Cancel(), -1);
  EXPECT_EQ(hosts.lastError(), 10022);
  EXPECT_EQ(hosts.AddressCount(), 0);
  EXPECT_EQ(hosts.AddressAt(0), 0U);
  char text[16];
  EXPECT_EQ(hosts.FirstAddressText(text, sizeof text), -1);
  EXPECT_EQ(HostInfoManager::AddressCount(nullptr), 0);
}

TEST_F(HostInfoManagerTest, LookUpForTheDialogAsThePostingSessionMakesIt) {
  HostInfoManager hosts(sockets);
  AsyncHandle request = kNoRequest;
  ASSERT_EQ(hosts.StartByNameFor(dialog.target(), request, "localhost", kHostLookupMessage), 0);
  EXPECT_NE(request, kNoRequest);
  EXPECT_EQ(hosts.request(), request);
  ASSERT_TRUE(run.waitFor([&] { return !dialog.seen.empty(); }, kLookupWait));
  const test::Recorded& reply = dialog.seen[0];
  EXPECT_EQ(reply.id, kHostLookupMessage);
  EXPECT_EQ(reply.wParam, request);
  EXPECT_EQ(reply.error, 0) << "lParam below 65536 is success";
  EXPECT_FALSE(hosts.finished()) << "the reply went to the dialog, not the manager's window";

  const int count = hosts.AddressCount();
  ASSERT_GE(count, 1);
  EXPECT_EQ(hosts.AddressAt(0), htonl(INADDR_LOOPBACK));
  EXPECT_EQ(hosts.AddressAt(count), 0U);
  EXPECT_EQ(hosts.AddressAt(-1), 0U);
  char text[16];
  ASSERT_EQ(hosts.FirstAddressText(text, sizeof text), 0);
  EXPECT_STREQ(text, "127.0.0.1");
  EXPECT_EQ(hosts.FirstAddressText(text, 9), -1) << "does not fit";
  EXPECT_EQ(hosts.Cancel(), -1) << "already answered";
  EXPECT_EQ(hosts.lastError(), 10037);
}

TEST_F(HostInfoManagerTest, NameThatCannotExistFailsInTheReply) {
  HostInfoManager hosts(sockets);
  AsyncHandle request = kNoRequest;
  ASSERT_EQ(hosts.StartByNameFor(dialog.target(), request, "nonexistent.invalid", kHostLookupMessage), 0);
  ASSERT_TRUE(run.waitFor([&] { return !dialog.seen.empty(); }, kLookupWait));
  EXPECT_NE(dialog.seen[0].error, 0);
  EXPECT_EQ(hosts.AddressCount(), 0);
}

TEST_F(HostInfoManagerTest, OwnWindowReplyFinishesTheManager) {
  HostInfoManager hosts(sockets);
  AsyncHandle request = kNoRequest;
  ASSERT_EQ(hosts.StartByName(request, "localhost"), 0);
  EXPECT_FALSE(hosts.finished());
  ASSERT_TRUE(run.waitFor([&] { return hosts.finished(); }, kLookupWait));
  EXPECT_EQ(hosts.lastError(), 0);
  EXPECT_EQ(hosts.AddressAt(0), htonl(INADDR_LOOPBACK));

  ASSERT_EQ(hosts.StartByAddress(request, InternetEndpoint(0, "127.0.0.1")), 0);
  EXPECT_FALSE(hosts.finished());
  ASSERT_TRUE(run.waitFor([&] { return hosts.finished(); }, kLookupWait));
  EXPECT_STREQ(hosts.hostEntry()->name, "localhost");

  ASSERT_EQ(hosts.StartByName(request, "nonexistent.invalid"), 0);
  ASSERT_TRUE(run.waitFor([&] { return hosts.finished(); }, kLookupWait));
  EXPECT_NE(hosts.lastError(), 0);
}

TEST_F(HostInfoManagerTest, CancelBeforeCompletionMeansNoReplyAndNoWrite) {
  HostInfoManager hosts(sockets);
  AsyncHandle request = kNoRequest;
  ASSERT_EQ(hosts.StartByNameFor(dialog.target(), request, "localhost", kHostLookupMessage), 0);
  EXPECT_EQ(hosts.Cancel(), 0);
  EXPECT_EQ(hosts.request(), request) << "the request keeps its value";
  ASSERT_TRUE(workersDone());
  run.settle();
  EXPECT_TRUE(dialog.seen.empty());
  EXPECT_EQ(hosts.AddressCount(), 0) << "the buffer still holds the empty record";
}

TEST_F(HostInfoManagerTest, ManagerDestroyedWithLookUpsPendingIsNeverWritten) {
  auto hosts = std::make_unique<HostInfoManager>(sockets);
  AsyncHandle first = kNoRequest;
  AsyncHandle second = kNoRequest;
  ASSERT_EQ(hosts->StartByNameFor(dialog.target(), first, "localhost", kHostLookupMessage), 0);
  ASSERT_EQ(hosts->StartByNameFor(dialog.target(), second, "localhost", kHostLookupMessage), 0);
  hosts.reset();  // both would write into the manager's own buffer
  EXPECT_FALSE(sockets.winsock().isPending(first));
  EXPECT_FALSE(sockets.winsock().isPending(second));
  ASSERT_TRUE(workersDone());
  run.settle();
  EXPECT_TRUE(dialog.seen.empty());
}

TEST_F(HostInfoManagerTest, DestroyedManagerLeavesALookUpIntoTheCallersBuffer) {
  alignas(HostEntry) char buffer[kMaxGetHostStruct];
  AsyncHandle callers = kNoRequest;
  AsyncHandle own = kNoRequest;
  {
    HostInfoManager hosts(sockets);
    ASSERT_EQ(hosts.StartByNameFor(dialog.target(), callers, "localhost", 2000, buffer), 0);
    ASSERT_EQ(hosts.StartByNameFor(dialog.target(), own, "localhost", kHostLookupMessage), 0);
  }
  ASSERT_TRUE(workersDone());
  run.settle();
  ASSERT_EQ(dialog.seen.size(), 1U);
  EXPECT_EQ(dialog.seen[0].wParam, callers);
  EXPECT_EQ(HostInfoManager::AddressAt(reinterpret_cast<const HostEntry*>(buffer), 0), htonl(INADDR_LOOPBACK));
}

TEST_F(HostInfoManagerTest, CallersBufferTakesTheRecord) {
  HostInfoManager hosts(sockets);
  alignas(HostEntry) char buffer[kMaxGetHostStruct];
  AsyncHandle request = kNoRequest;
  ASSERT_EQ(hosts.StartByNameFor(dialog.target(), request, "localhost", 2000, buffer), 0);
  ASSERT_TRUE(run.waitFor([&] { return !dialog.seen.empty(); }, kLookupWait));
  EXPECT_EQ(dialog.seen[0].id, 2000U);
  const auto* record = reinterpret_cast<const HostEntry*>(buffer);
  EXPECT_EQ(HostInfoManager::AddressAt(record, 0), htonl(INADDR_LOOPBACK));
  EXPECT_EQ(hosts.AddressCount(), 0) << "the manager's own buffer is untouched";
}

TEST_F(HostInfoManagerTest, StartThatCannotBeMadeFailsAtOnce) {
  HostInfoManager hosts(sockets);
  AsyncHandle request = 77;
  EXPECT_EQ(hosts.StartByNameFor(99999, request, "localhost", kHostLookupMessage), -1);
  EXPECT_EQ(hosts.lastError(), 10022);
  EXPECT_EQ(request, kNoRequest);
}

TEST_F(HostInfoManagerTest, BlockingLookUps) {
  HostInfoManager hosts(sockets);
  const HostEntry* record = nullptr;
  ASSERT_EQ(hosts.HostByName(record, "localhost"), 0);
  EXPECT_EQ(HostInfoManager::AddressAt(record, 0), htonl(INADDR_LOOPBACK));
  InternetEndpoint endpoint(htons(119), 0xFFFFFFFFu, 2);
  ASSERT_EQ(hosts.ResolveInto(endpoint, "localhost"), 0);
  EXPECT_EQ(endpoint.Address(), htonl(INADDR_LOOPBACK));
  EXPECT_EQ(endpoint.Port(), htons(119));
  char text[32];
  ASSERT_EQ(hosts.HostAddressText(text, sizeof text, "localhost"), 0);
  EXPECT_STREQ(text, "127.0.0.1");
  ASSERT_EQ(hosts.HostByAddress(record, InternetEndpoint(0, "127.0.0.1")), 0);
  EXPECT_STREQ(record->name, "localhost");
  EXPECT_EQ(hosts.HostByName(record, "nonexistent.invalid"), -1);
  EXPECT_NE(hosts.lastError(), 0);
  char name[256];
  EXPECT_EQ(hosts.LocalHostName(name, sizeof name), 0);
}

}  // namespace
}  // namespace tidewell
