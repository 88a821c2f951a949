// The buttons' commands, the start-up flags and the live tick.
#include <gtest/gtest.h>

#include "net/socket_messages.h"
#include "platform/file_system.h"
#include "posting/session_fixture.h"
#include "posting/session_state.h"

namespace tidewell::test {
namespace {

using Commands = SessionTest;

constexpr int kIdle = static_cast<int>(SessionState::Idle);

void expectStopped(const std::vector<std::string>& lines, const RecordingDisplay& display) {
  EXPECT_EQ(display.state, "Idle.");
  EXPECT_FALSE(display.locked);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "HH:MM:SS User Abort : STOP Button Pressed.");
}

TEST_F(Commands, StopDuringLookUpIgnoresTheLateAnswer) {
  configure();
  setting("Host", "localhost");
  addFile("a.bin", "x");
  start();
  session->post();
  // One pass at a time until the session asks for the address: the answer,
  // queued by the look-up's worker, cannot arrive in the pass that asked.
  constexpr int kLookingUp = static_cast<int>(SessionState::LookingUp);
  for (int pass = 0; pass < 100 && session->sessionState() != kLookingUp; ++pass) {
    run.loop.dispatchReady();
  }
  ASSERT_EQ(session->sessionState(), kLookingUp);
  session->stopOrQuit();
  EXPECT_EQ(session->sessionState(), kIdle);
  ASSERT_EQ(prompt.asked.size(), 1U);  // the report is offered
  // The look-up's answer arrives later and changes nothing.
  settle();
  run.advance(2000);
  settle();
  EXPECT_EQ(session->sessionState(), kIdle);
  expectStopped(reportLines(), display);
}

TEST_F(Commands, StopWhileConnectingAndWhileStreaming) {
  configure();
  addFile("big.bin", std::string(2000000, 'y'));
  start({false, true});
  session->post();
  run.loop.dispatchReady();  // the session starts
  run.loop.dispatchReady();  // and connects, without waiting for the connect event
  ASSERT_EQ(session->sessionState(), static_cast<int>(SessionState::Connecting));
  session->stopOrQuit();
  expectStopped(reportLines(), display);
  EXPECT_TRUE(prompt.asked.empty());  // "/autoquit": nothing asked
  settle();
  EXPECT_EQ(quitRequests, 0);  // and the program stays open after a Stop

  ASSERT_TRUE(runUntil([&] { return session->isIdle(); }));
  session->post();

  ASSERT_TRUE(runUntil([&] { return session->sessionState() == static_cast<int>(SessionState::StreamArticle); }));
  session->stopOrQuit();
  expectStopped(reportLines(), display);
  settle();
  run.advance(5000);
  settle();
  EXPECT_EQ(session->sessionState(), kIdle);  // no queued step restarts anything
  EXPECT_EQ(session->outcome(), RunOutcome::EndedWithoutFinishing);
  // Quit while idle.
  session->stopOrQuit();
  settle();
  EXPECT_EQ(quitRequests, 1);
}

TEST_F(Commands, TidewellSwitchPostsOnceAtTheFirstTickAndAutoquitEndsTheProgram) {
  configure();
  addFile("a.bin", "x");
  start({true, true});
  settle();
  EXPECT_TRUE(server.commands().empty());
  ASSERT_TRUE(runUntil([&] { return quitRequests > 0; }));
  EXPECT_EQ(session->outcome(), RunOutcome::Finished);
  EXPECT_TRUE(prompt.asked.empty());
  EXPECT_EQ(server.articles().size(), 1U);
  run.advance(10000);
  settle();
  EXPECT_EQ(server.connectionCount(), 1U);  // never a second run
}

TEST_F(Commands, LiveTickBlinksTheHeartbeatAndLogsWhenLoggingIsOn) {
  configure();
  setting("Logging", "true");
  start();
  display.ShowState("unchanged");  // the session shows nothing more while idle
  const bool before = display.heartbeat;
  run.advance(1000);
  EXPECT_NE(display.heartbeat, before);
  run.advance(1000);
  EXPECT_EQ(display.heartbeat, before);
  EXPECT_EQ(display.state, "unchanged");
  const std::string log = readFile(dir.file("LOGGIT.TXT"));
  EXPECT_NE(log.find("\n> Bang : Live Timer\n\n> Bang : Live Timer\n"), std::string::npos);
}

TEST_F(Commands, SettingUpShowsTheSocketServiceAndDeletesTheOldLog) {
  writeFile(dir.file("LOGGIT.TXT"), "old");
  start();
  EXPECT_FALSE(fileExists(dir.file("LOGGIT.TXT")));
  EXPECT_EQ(display.state, "Idle.");
  EXPECT_EQ(display.outboundTexts.back(), sockets.Description());
  EXPECT_EQ(display.tips, 1);
}

}  // namespace
}  // namespace tidewell::test
