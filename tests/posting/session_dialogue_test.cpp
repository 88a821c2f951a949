// The command dialogue with the server: greeting, authentication, reader
// mode, and how each refusal ends the session.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <tuple>

#include "posting/session_fixture.h"

namespace tidewell::test {
namespace {

using Dialogue = SessionTest;

TEST_F(Dialogue, EmptyListGoesStraightToTheSummaryOfZeros) {
  configure();
  start();
  ASSERT_TRUE(postAndWait());
  EXPECT_EQ(session->outcome(), RunOutcome::Finished);
  EXPECT_EQ(server.commands(), (std::vector<std::string>{"mode reader"}));
  const std::vector<std::string> lines = reportLines();
  const std::vector<std::string> tail(lines.end() - 5, lines.end() - 1);
  EXPECT_EQ(tail, (std::vector<std::string>{"Total Articles     : 0", "Articles Ok        : 0",
                                            "Articles Failed    : 0", "Server Reconnects  : 0"}));
  EXPECT_EQ(lines.back().substr(0, 24), "Total Posting Time : 00:");
  EXPECT_EQ(display.state, "Finished.");
  ASSERT_EQ(prompt.asked.size(), 1U);
  EXPECT_EQ(prompt.asked[0].text, "Posting has finished.  Do you want to see a summary report?");
  EXPECT_EQ(prompt.asked[0].caption, "Posting Finished");
}

TEST_F(Dialogue, EveryChangeOfStateReachesTheTraceWithItsName) {
  configure();
  setting("Username", "tester");
  addFile("a.bin", "x");
  start();
  std::vector<std::string> trace;
  session->setStateTrace([&](SessionState from, SessionState to, std::string_view name) {
    trace.push_back(std::to_string(static_cast<int>(from)) + ">" + std::string(name));
    EXPECT_EQ(static_cast<int>(to), session->sessionState());
  });
  ASSERT_TRUE(postAndWait());
  EXPECT_EQ(trace,
            (std::vector<std::string>{"1>Idle",           "1>OpenConnection",  "2>LookingUp",      "3>Connecting",
                                      "4>AwaitGreeting",  "6>SendUser",        "7>AwaitUserReply", "8>AwaitPassReply",
                                      "9>SendModeReader", "10>AwaitModeReply", "11>StartPosting",  "14>NextPart",
                                      "12>SendPost",      "13>AwaitPostReply", "15>StreamArticle", "16>ArticleSent",
                                      "17>AwaitAck",      "18>Finish",         "19>Idle",          "1>Idle"}));
}

// With one connection and with three: each link makes the same dialogue.
using DialogueOnLinks = SessionOnLinks;

TEST_P(DialogueOnLinks, AuthenticatesOnlyWithAUserNameAndSendsAnEmptyPassword) {
  configure();
  useConnections(GetParam());
  setting("Username", "tester");
  addFile("a.bin", "x");
  start();
  ASSERT_TRUE(postAndWait());
  EXPECT_EQ(session->outcome(), RunOutcome::Finished);
  ASSERT_EQ(server.connectionCount(), static_cast<std::size_t>(GetParam()));
  for (std::size_t i = 0; i < server.connectionCount(); ++i) {
    const std::vector<std::string>& commands = server.connection(i).commands;
    ASSERT_GE(commands.size(), 3U);
    EXPECT_EQ(commands[0], "authinfo user tester");
    EXPECT_EQ(commands[1], "authinfo pass ");
    EXPECT_EQ(commands[2], "mode reader");
  }
  const std::vector<std::string> all = server.commands();
  EXPECT_EQ(std::count(all.begin(), all.end(), "post"), 1);
}

TEST_P(DialogueOnLinks, GreetingTwoHundredOneAndModeReaderFiveHundredAreAccepted) {
  configure();
  useConnections(GetParam());
  server.onConnect(Response::reply("201 no posting, they say"));
  server.onCommand("mode reader", Response::reply("500 what?"));
  addFile("a.bin", "x");
  start();
  ASSERT_TRUE(postAndWait());
  EXPECT_EQ(session->outcome(), RunOutcome::Finished);
  EXPECT_EQ(server.articles().size(), 1U);
}

INSTANTIATE_TEST_SUITE_P(Connections, DialogueOnLinks, ::testing::Values(1, 3));

struct Refusal {
  const char* name;
  const char* command;  // the command refused; null for the greeting
  const char* reply;
  const char* shown;
  const char* reported;
};

// Run with one connection and with three (each link makes the same
// dialogue, and each is refused in the same place).
class DialogueRefusal : public SessionTest, public ::testing::WithParamInterface<std::tuple<Refusal, int>> {};

TEST_P(DialogueRefusal, EndsTheSessionWithoutSummaryOrQuestion) {
  const auto& [refusal, connections] = GetParam();
  configure();
  useConnections(connections);
  setting("Username", "tester");
  setting("Password", "secret");
  if (refusal.command == nullptr) {
    server.onConnect(Response::reply(refusal.reply));
  } else {
    server.onCommand(refusal.command, Response::reply(refusal.reply));
  }
  addFile("a.bin", "x");
  start();
  ASSERT_TRUE(postAndWait());
  EXPECT_EQ(session->outcome(), RunOutcome::EndedWithoutFinishing);
  EXPECT_EQ(display.state, "Idle.");
  EXPECT_FALSE(display.locked);
  EXPECT_TRUE(server.articles().empty());
  // Each connection is refused once, at the same command, and nothing more is tried.
  ASSERT_EQ(server.connectionCount(), static_cast<std::size_t>(connections));
  for (std::size_t i = 0; i < server.connectionCount(); ++i) {
    const std::vector<std::string>& sent = server.connection(i).commands;
    if (refusal.command == nullptr) {
      EXPECT_TRUE(sent.empty());
    } else {
      ASSERT_FALSE(sent.empty());
      EXPECT_EQ(sent.back().rfind(refusal.command, 0), 0U) << sent.back();
    }
  }
  EXPECT_EQ(report().find("secret"), std::string::npos);
  if (connections > 1) {
    for (int link = 1; link <= connections; ++link) {
      EXPECT_NE(report().find("Connection " + std::to_string(link) + " failed: " + refusal.reported), std::string::npos)
          << report();
    }
    return;
  }
  EXPECT_TRUE(prompt.asked.empty());
  EXPECT_EQ(display.outboundTexts.back(), refusal.shown);
  std::vector<std::string> lines = reportLines();
  while (!lines.empty() && lines.back().empty()) {
    lines.pop_back();  // the greeting is reported with its own line end, then one more
  }
  EXPECT_EQ(lines.back(), std::string("HH:MM:SS ") + refusal.reported);
  EXPECT_EQ(report().find("Total Articles"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, DialogueRefusal,
    ::testing::Combine(
        ::testing::Values(Refusal{"Greeting", nullptr, "502 go away",
                                  "502 go away\r\n\rError - You have no permission\rto talk to this server.",
                                  "502 go away"},
                          Refusal{"User", "authinfo user", "482 out of sequence",
                                  "Error - Could not supply username.\rUnable to talk to this server.",
                                  "Authentication failed [Code 1]."},
                          Refusal{"Password", "authinfo pass", "481 Authentication failed",
                                  "Error - User/Password incorrect.\rUnable to talk to this server.",
                                  "Authentication failed [Code 2]."},
                          Refusal{"ModeReader", "mode reader", "502 not for you",
                                  "Error - Could not set READER mode.\rUnable to talk to this server.",
                                  "Could not set READER mode."}),
        ::testing::Values(1, 3)),
    [](const auto& param) {
      return std::string(std::get<0>(param.param).name) + std::to_string(std::get<1>(param.param));
    });

TEST_F(Dialogue, AReportThatCannotBeWrittenStopsTheRunBeforeItStarts) {
  configure();
  addFile("a.bin", "x");
  ASSERT_EQ(mkdir(dir.file("Report01.TXT").c_str(), 0700), 0);
  start({false, true});
  ASSERT_TRUE(postAndWait());
  EXPECT_EQ(session->outcome(), RunOutcome::EndedWithoutFinishing);
  EXPECT_EQ(session->reportFileName(), "");
  EXPECT_EQ(server.connectionCount(), 0U);
  ASSERT_EQ(prompt.asked.size(), 1U);
  EXPECT_EQ(prompt.asked[0].text,
            "Cannot write the report Report01.TXT in the working directory (Is a directory). Not posting.");
}

TEST_P(DialogueOnLinks, HostNotSetStopsBeforeConnecting) {
  configure();
  useConnections(GetParam());
  settings.write("Host", "ghsBuf");
  start({false, true});
  ASSERT_TRUE(postAndWait());
  EXPECT_EQ(session->outcome(), RunOutcome::EndedWithoutFinishing);
  EXPECT_EQ(display.outboundTexts.back(), "Host name not found.\r\rConfigure with SETTINGS.");
  EXPECT_EQ(display.state, "Looking up address...");
  EXPECT_EQ(server.connectionCount(), 0U);
  settle();
  EXPECT_EQ(quitRequests, 1);  // an unattended run ends with the program
}

TEST_P(DialogueOnLinks, RefusedConnectionReconnectsThreeTimesThenGivesUp) {
  configure();
  useConnections(GetParam());
  server.refuseConnections(true);
  addFile("a.bin", "x");
  start();
  ASSERT_TRUE(postAndWait());
  EXPECT_EQ(session->outcome(), RunOutcome::EndedWithoutFinishing);
  ASSERT_EQ(prompt.asked.size(), 1U);  // the report is offered
  if (GetParam() > 1) {                // the run's three reconnections, then each link fails for good
    EXPECT_EQ(display.fileLines,
              (std::vector<std::string>{"001 a.bin ... Failed.", "Error Experienced.  Every connection failed."}));
    std::vector<std::string> failed;
    int reconnections = 0;
    for (const std::string& line : reportLines()) {
      if (line.find(" failed: Error connecting to server.  Maximum Reconnects Failed.") != std::string::npos) {
        failed.push_back(line.substr(line.find(" failed: ")));
      }
      reconnections += line.ends_with(": Error connecting to server.  Attempting Reconnection.") ? 1 : 0;
    }
    const std::string others =
        " failed: Error connecting to server.  Maximum Reconnects Failed.  The other connections "
        "take over its work.";
    // None is left to take over the last one's work.
    EXPECT_EQ(failed, (std::vector<std::string>{others, others,
                                                " failed: Error connecting to server.  Maximum Reconnects Failed."}));
    EXPECT_EQ(reconnections, 3);
    EXPECT_NE(report().find(" 001 a.bin ... Failed.  [Not posted]\r\n"), std::string::npos);
    // Why, also where a run without a window looks.
    EXPECT_EQ(display.problems.back(), "Every connection failed.\rError connecting to server.");
    return;
  }
  EXPECT_EQ(display.fileLines,
            (std::vector<std::string>{"Error Experienced.  Attempting Reconnection.",
                                      "Error Experienced.  Attempting Reconnection.",
                                      "Error Experienced.  Attempting Reconnection.",
                                      "Error Experienced.  Maximum Reconnects Failed.", "001 a.bin ... Failed."}));
  EXPECT_EQ(reportLines().back(), "HH:MM:SS 001 a.bin ... Failed.  [Not posted]");
  EXPECT_EQ(display.inboundTexts.back(), "Error connecting to server.\r\rCommunication terminated.");
}

}  // namespace
}  // namespace tidewell::test
