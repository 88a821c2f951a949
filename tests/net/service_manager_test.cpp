#include "net/service_manager.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "net/loopback.h"
#include "net/socket_manager.h"
#include "platform/winsock.h"
#include "support/loop_runner.h"

namespace tidewell {
namespace {

using test::LoopRunner;
using test::Recorder;

class ServiceManagerTest : public ::testing::Test {
 protected:
  LoopRunner run;
  SocketManager sockets{run.loop, 1, 1, 1};
  Recorder dialog{run.loop};
  ServiceManager services{sockets};
};

TEST_F(ServiceManagerTest, OwnWindowLookUpCountsAsOutstandingUntilItsReply) {
  AsyncHandle request = kNoRequest;
  ASSERT_EQ(services.StartByName(request, "nntp", "tcp"), 0);
  EXPECT_EQ(services.request(), request);
  EXPECT_EQ(services.outstanding(), 1);
  ASSERT_TRUE(run.waitFor([&] { return services.finished(); }, 20000));
  EXPECT_EQ(services.outstanding(), 0);
  EXPECT_STREQ(services.serviceEntry()->name, "nntp");
  EXPECT_EQ(static_cast<std::uint16_t>(services.serviceEntry()->port), htons(119));

  ASSERT_EQ(services.StartByPort(request, htons(119), nullptr), 0);
  EXPECT_EQ(services.Cancel(), 0);
  EXPECT_EQ(services.outstanding(), 0);
}

TEST_F(ServiceManagerTest, LookUpForAnotherWindowIsNotCounted) {
  AsyncHandle request = kNoRequest;
  ASSERT_EQ(services.StartByNameFor(dialog.target(), request, "nntp", "tcp", kServiceLookupMessage), 0);
  EXPECT_EQ(services.request(), kNoRequest);
  EXPECT_EQ(services.outstanding(), 0);
  EXPECT_EQ(services.Cancel(request), 0);
  EXPECT_EQ(services.outstanding(), 0) << "a cancel of an uncounted request lowers nothing";
  EXPECT_EQ(services.Cancel(), -1);
  EXPECT_EQ(services.lastError(), 10022);

  ASSERT_EQ(services.StartByPortFor(dialog.target(), request, htons(119), "tcp", kServiceLookupMessage), 0);
  ASSERT_TRUE(run.waitFor([&] { return !dialog.seen.empty(); }, 20000));
  EXPECT_EQ(dialog.seen[0].wParam, request);
  EXPECT_EQ(dialog.seen[0].error, 0);
  EXPECT_STREQ(services.serviceEntry()->name, "nntp");
}

TEST_F(ServiceManagerTest, BlockingLookUps) {
  int port = 0;
  ASSERT_EQ(services.PortOfService("nntp", port, "tcp"), 0);
  EXPECT_EQ(port, static_cast<std::int16_t>(htons(119)));
  char name[16];
  ASSERT_EQ(services.ServiceNameOfPort(htons(119), name, sizeof name, "tcp"), 0);
  EXPECT_STREQ(name, "nntp");
  EXPECT_EQ(services.ServiceNameOfPort(htons(119), name, 4, "tcp"), -1);
  EXPECT_EQ(services.PortOfService("no-such-service", port, "tcp"), -1);
  EXPECT_EQ(services.lastError(), 11004);
}

}  // namespace
}  // namespace tidewell
