#include "net/socket_manager.h"

#include <gtest/gtest.h>

#include <string>

#include "support/loop_runner.h"

namespace tidewell {
namespace {

using test::LoopRunner;

TEST(SocketManager, StartsWinsockOnePointOneAndDescribesIt) {
  LoopRunner run;
  SocketManager sockets(run.loop, 1, 1, 1);
  EXPECT_EQ(sockets.lastError(), 0);
  EXPECT_EQ(sockets.startupCount(), 1);
  EXPECT_EQ(sockets.majorVersion(), 1);
  EXPECT_EQ(sockets.minorVersion(), 1);
  EXPECT_EQ(sockets.startupInfo().version, 257);
  const std::string description = sockets.Description();
  EXPECT_EQ(description.rfind("Tidewell sockets 1.1 on Linux ", 0), 0U) << description;
  EXPECT_TRUE(sockets.winsock().started());
  EXPECT_EQ(sockets.Start(), 0);
  EXPECT_EQ(sockets.startupCount(), 2);
  EXPECT_EQ(sockets.Cleanup(), 0);
  EXPECT_EQ(sockets.startupCount(), 1);
}

TEST(SocketManager, VersionWordHasTheMajorVersionInItsLowByte) {
  LoopRunner run;
  SocketManager oneZero(run.loop, 1, 0, 1);
  EXPECT_EQ(oneZero.startupCount(), 1) << "version word 1 asks for 1.0";
  EXPECT_EQ(oneZero.majorVersion(), 1);
  EXPECT_EQ(oneZero.minorVersion(), 0);

  SocketManager zeroOne(run.loop, 0, 1, 1);
  EXPECT_EQ(zeroOne.startupCount(), 0) << "version word 256 asks for 0.1";
  EXPECT_EQ(zeroOne.lastError(), 10092);
  EXPECT_EQ(zeroOne.Start(), -1);
}

TEST(SocketManager, CleanupWithoutStartFailsAndKeepsTheCount) {
  LoopRunner run;
  SocketManager sockets(run.loop, 1, 1, 0);
  EXPECT_EQ(sockets.startupCount(), 0);
  EXPECT_STREQ(sockets.Description(), "");
  EXPECT_EQ(sockets.Cleanup(), -1);
  EXPECT_EQ(sockets.lastError(), 10093);
  EXPECT_EQ(sockets.startupCount(), 0);
}

}  // namespace
}  // namespace tidewell
