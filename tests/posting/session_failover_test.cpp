// Backup servers: the run moves from a server that refuses it or
// disappears to the next one and goes on with what is not posted yet,
// with one connection and with several.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "posting/server_failover.h"
#include "posting/session_fixture.h"
#include "settings/settings_table.h"

namespace tidewell::test {
namespace {

using Script = std::function<void(NntpServerDouble& main, NntpServerDouble& backup, int links)>;

// The part number in the subject: "... (k/3) ...".
int partOf(const std::string& article) {
  const std::string subject = headerOf(article, "Subject");
  int part = 0;
  const std::size_t at = subject.rfind(" (");
  return at != std::string::npos && std::sscanf(subject.c_str() + at, " (%d/", &part) == 1 ? part : 0;
}

std::vector<int> copiesOf(const std::vector<std::string>& articles) {
  std::vector<int> copies(3, 0);
  for (const std::string& article : articles) {
    const int part = partOf(article);
    if (part >= 1 && part <= 3) {
      ++copies[static_cast<std::size_t>(part - 1)];
    }
  }
  return copies;
}

struct Move {
  std::string name;
  Script script;
  std::string why;  // the reason in the report's move line
  // Count the articles the main server kept: it and the backup share their
  // articles (as peered servers do), so STAT on the backup finds them.
  bool shared = false;
  bool backupFails = false;  // the backup refuses too: the run ends
  bool login = false;        // the main server has a login
  int links = 1;
  bool fast = false;  // FastPosting: the links, one or more
};

void PrintTo(const Move& c, std::ostream* out) {
  *out << c.name;
}

class Failover : public SessionTest, public ::testing::WithParamInterface<Move> {};

TEST_P(Failover, TheNextServerTakesWhatIsNotPosted) {
  const Move& c = GetParam();
  NntpServerDouble backup(run.loop);
  configure();
  useConnections(c.links);
  if (c.fast) {
    setting("FastPosting", "TRUE");
  }
  setting("MessageIDs", "TRUE");
  setting("Encoding", "UUEncode");
  setting("PartSize", "126");
  if (c.login) {
    setting("Username", "me");
    setting("Password", "secret");
  }
  settings.write(SectionKey{2, Setting::Host}, backup.address());
  addFile("a.bin", std::string(270, 'x'));
  c.script(server, backup, c.links);
  start();
  session->post();
  const auto over = [this] { return session->isIdle() && session->outcome() != RunOutcome::NotRun; };
  for (int tick = 0; tick < 200 && !settle(over); ++tick) {
    run.clock.advanceMs(5000);
  }
  ASSERT_TRUE(over());
  const std::string moved = "Moving from " + server.address() + " to " + backup.address() + ": " + c.why;
  const std::vector<std::string> lines = reportLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "HH:MM:SS " + moved), 1) << report();
  if (c.backupFails) {
    EXPECT_EQ(session->outcome(), RunOutcome::EndedWithoutFinishing);
    EXPECT_TRUE(server.storedArticles().empty());
    EXPECT_TRUE(backup.storedArticles().empty());
    return;
  }
  EXPECT_EQ(session->outcome(), RunOutcome::Finished) << report();
  const int reconnects = c.why.starts_with("unreachable") ? 3 : 0;  // those on the server left
  EXPECT_NE(report().find("Articles Ok        : 3\r\nArticles Failed    : 0\r\nServer Reconnects  : " +
                          std::to_string(reconnects) + "\r\n"),
            std::string::npos)
      << report();
  // Every part once: on the backup, or (shared) on either.
  std::vector<int> copies = copiesOf(backup.storedArticles());
  if (c.shared) {
    const std::vector<int> kept = copiesOf(server.storedArticles());
    std::transform(copies.begin(), copies.end(), kept.begin(), copies.begin(), std::plus<>());
  }
  EXPECT_EQ(copies, std::vector<int>({1, 1, 1})) << report();
  // Each part taken on the backup carries its mark.
  const std::string mark = " [" + backup.address() + "]";
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [&](const std::string& line) {
                            return line.find(" a.bin ... Ok. (") != std::string::npos && line.ends_with(mark);
                          }),
            3)
      << report();
}

std::vector<Move> moves() {
  const auto refuseGreeting = [](NntpServerDouble& main, NntpServerDouble&, int) {
    main.onConnect(Response::reply("502 Too many connections"));
  };
  // The server closes every connection as an article arrives, and every
  // connection after that at once: unreachable.
  const auto vanish = [](NntpServerDouble& main, int links) {
    main.onConnect(Response::reply("200 ready"), links);
    main.onConnect(Response::close());
    main.onArticle(Response::close());
  };
  std::vector<Move> table{
      {.name = "GreetingRefused", .script = refuseGreeting, .why = "502 Too many connections"},
      {.name = "LoginRefused",
       .script = [](NntpServerDouble& main, NntpServerDouble&,
                    int) { main.onCommand("authinfo pass", Response::reply("481 Authentication failed")); },
       .why = "481 Authentication failed",
       .login = true},
      {.name = "PostRefused",
       .script = [](NntpServerDouble& main, NntpServerDouble&,
                    int) { main.onCommand("post", Response::reply("440 Posting not allowed")); },
       .why = "440 Posting not allowed"},
      // The article in flight is on the main server; STAT finds it on the
      // backup (they share articles), so it is not posted again.
      {.name = "VanishesStatFound",
       .script =
           [vanish](NntpServerDouble& main, NntpServerDouble& backup, int links) {
             vanish(main, links);
             backup.onCommand("stat", Response::reply("223 0 found"));
           },
       .why = "unreachable after 3 reconnections",
       .shared = true},
      // STAT says 430: the article in flight is posted on the backup.
      {.name = "VanishesStatNotFound",
       .script = [vanish](NntpServerDouble& main, NntpServerDouble&, int links) { vanish(main, links); },
       .why = "unreachable after 3 reconnections"},
      {.name = "EveryServerRefuses",
       .script =
           [](NntpServerDouble& main, NntpServerDouble& backup, int) {
             main.onConnect(Response::reply("502 Too many connections"));
             backup.onConnect(Response::reply("502 Go away"));
           },
       .why = "502 Too many connections",
       .backupFails = true},
  };
  std::vector<Move> all;
  for (Move c : table) {
    all.push_back(c);
    c.name += "OneLink";
    c.fast = true;
    all.push_back(c);
    c.name.replace(c.name.size() - 7, 7, "ThreeLinks");
    c.links = 3;
    all.push_back(c);
  }
  return all;
}

// Verify asks the server the run moved to (VerifyHost empty), not the one
// that refused it, and finds everything there: nothing is posted again.
TEST_F(SessionTest, VerifyAsksTheBackupTheRunMovedTo) {
  NntpServerDouble backup(run.loop);
  configure();
  setting("Verify", "TRUE");
  setting("PartSize", "126");
  settings.write(SectionKey{2, Setting::Host}, backup.address());
  addFile("a.bin", std::string(270, 'x'));
  server.onConnect(Response::reply("502 Too many connections"));
  start();
  ASSERT_TRUE(postAndWait());
  EXPECT_EQ(session->outcome(), RunOutcome::Finished) << report();
  const std::vector<std::string> commands = backup.commands();
  EXPECT_EQ(std::count_if(commands.begin(), commands.end(),
                          [](const std::string& command) { return command.starts_with("STAT "); }),
            3)
      << report();
  EXPECT_EQ(copiesOf(backup.storedArticles()), std::vector<int>({1, 1, 1}));
}

// Two servers on one host are told apart by their ports; the usual port
// and a port in the Host itself are not repeated.
TEST(ServerLabel, NamesThePortOnlyWhereItTellsServersApart) {
  struct Case {
    const char* host;
    std::int32_t port;
    const char* encryption;
    const char* label;
  } const cases[] = {
      {"news.example.com", 0, "None", "news.example.com"},
      {"news.example.com", 119, "STARTTLS", "news.example.com"},
      {"news.example.com", 563, "tls", "news.example.com"},
      {"news.example.com", 119, "TLS", "news.example.com:119"},
      {"127.0.0.1", 8119, "", "127.0.0.1:8119"},
      {"2001:db8::1", 8119, "None", "[2001:db8::1]:8119"},
      {"[2001:db8::1]", 8119, "None", "[2001:db8::1]:8119"},
      {"news.example.com:8119", 9119, "None", "news.example.com:8119"},
  };
  for (const Case& c : cases) {
    ServerChoice server;
    server.host = c.host;
    server.port = c.port;
    server.encryption = c.encryption;
    EXPECT_EQ(serverLabel(server), c.label) << c.host << " " << c.port;
  }
}

INSTANTIATE_TEST_SUITE_P(Backup, Failover, ::testing::ValuesIn(moves()),
                         [](const auto& param) { return param.param.name; });

}  // namespace
}  // namespace tidewell::test
