// The report for scripts: its escaping, its agreement with the text report
// of the same run, and a valid document whenever a run stops.
#include "posting/json_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>

#include "platform/file_io.h"
#include "platform/file_system.h"
#include "posting/session_fixture.h"
#include "support/hostile_names.h"
#include "upload/part_checksum.h"
#include "upload/run_journal.h"

namespace tidewell::test {
namespace {

// Python's json module, an independent and strict parser (the file is read
// as strict UTF-8), flattens the document to "path=value" lines, each value
// in JSON with non-ASCII escaped; a list also gives "path#=length". Empty
// when the document does not parse.
std::map<std::string, std::string> parsedByPython(const std::string& path) {
  static constexpr std::string_view kScript = R"(
import json, sys
def walk(path, value):
    if isinstance(value, dict):
        for key, item in value.items():
            walk(path + [key], item)
    elif isinstance(value, list):
        print(".".join(path) + "#=" + str(len(value)))
        for index, item in enumerate(value):
            walk(path + [str(index)], item)
    else:
        print(".".join(path) + "=" + json.dumps(value))
walk([], json.load(open(sys.argv[1], encoding="utf-8")))
)";
  const std::string command = "python3 -c '" + std::string(kScript) + "' '" + path + "' 2>/dev/null";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::map<std::string, std::string> values;
  char line[4096];
  while (pipe && std::fgets(line, sizeof line, pipe.get()) != nullptr) {
    std::string text(line);
    text.pop_back();
    const std::size_t equals = text.find('=');
    values[text.substr(0, equals)] = text.substr(equals + 1);
  }
  if (pipe && pclose(pipe.release()) != 0) {
    values.clear();
  }
  return values;
}

// A string value without its quotes.
std::string text(const std::map<std::string, std::string>& json, const std::string& key) {
  const auto found = json.find(key);
  if (found == json.end()) {
    return "(missing)";
  }
  const std::string& value = found->second;
  return value.size() >= 2 && value.front() == '"' ? value.substr(1, value.size() - 2) : value;
}

TEST(JsonText, EscapesAndRepairsWhatJsonCannotCarry) {
  const struct {
    std::string_view in;
    std::string_view out;
  } cases[] = {
      {"plain.bin", R"("plain.bin")"},
      {"a\"b\\c", R"("a\"b\\c")"},
      {std::string_view("\x01\t\n\r\x1f\x7f\0z", 8), R"("\u0001\t\n\r\u001f\u007f\u0000z")"},
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "\"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\""},  // kept
      {"a\xFF"
       "b",
       "\"a\xEF\xBF\xBD"
       "b\""},                                                       // a byte that never starts a character
      {"a\xE2\x82", "\"a\xEF\xBF\xBD\""},                            // a character cut short: one replacement
      {"\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},                  // overlong "/"
      {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},  // a surrogate
      {"\xF4\x90\x80\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},  // above U+10FFFF
      {"\xE9z", "\"\xEF\xBF\xBDz\""},                                                // Latin-1 "é"
  };
  for (const auto& c : cases) {
    std::string out;
    appendJsonString(out, c.in);
    EXPECT_EQ(out, c.out) << c.in;
  }
}

TEST(JsonText, LocalTimesCarryTheirOffset) {
  const char* saved = std::getenv("TZ");
  const std::string old = saved != nullptr ? saved : "";
  const struct {
    const char* zone;
    std::string_view iso;
  } cases[] = {
      {"UTC0", "2023-11-14T22:13:20+00:00"},
      {"EST5", "2023-11-14T17:13:20-05:00"},
      {"IST-5:30", "2023-11-15T03:43:20+05:30"},
  };
  for (const auto& c : cases) {
    setenv("TZ", c.zone, 1);
    tzset();
    EXPECT_EQ(isoLocalTime(1'700'000'000), c.iso) << c.zone;
  }
  saved != nullptr ? setenv("TZ", old.c_str(), 1) : unsetenv("TZ");
  tzset();
}

TEST(JsonText, StrangeNamesMakeAValidDocument) {
  TempDir dir;
  RunRecord record;
  record.textReport = "Report01.TXT";
  record.settings = {{"Subject", SettingType::Text, "say \"hi\"\r\n"}, {"PartSize", SettingType::Number, "0"}};
  record.files.push_back(FileRecord{"q\"b\\s\x01\xFF.bin", 3, "tab\there", 1, {}});
  record.files[0].parts.push_back(PartRecord{1, PartOutcome::Failed, "441 \xE9t\xE9", "", 0, ""});
  const std::string path = dir.file("Report01.json");
  ASSERT_TRUE(writeJsonReport(path, record));
  const auto json = parsedByPython(path);
  ASSERT_FALSE(json.empty());
  EXPECT_EQ(json.at("files.0.name"), R"("q\"b\\s\u0001\ufffd.bin")");
  EXPECT_EQ(json.at("files.0.description"), R"("tab\there")");
  EXPECT_EQ(json.at("files.0.parts.0.reply"), R"("441 \ufffdt\ufffd")");
  EXPECT_EQ(json.at("settings.Subject"), R"("say \"hi\"\r\n")");
  EXPECT_EQ(json.at("settings.PartSize"), "0");
  EXPECT_EQ(json.at("ended"), "null");
  EXPECT_EQ(json.at("outcome"), R"("ended_without_finishing")");
}

// Every hostile name gives a document python3 -m json.tool accepts, with
// no C1 control or U+FFFE/U+FFFF standing raw in it.
TEST(JsonText, HostileNamesMakeValidUtf8Json) {
  TempDir dir;
  RunRecord record;
  record.textReport = "Report01.TXT";
  for (const HostileName& name : kHostileNames) {
    record.files.push_back(FileRecord{std::string(name.text), 1, std::string(name.text), 1, {}});
  }
  const std::string path = dir.file("Report01.json");
  ASSERT_TRUE(writeJsonReport(path, record));
  const std::string check = "python3 -m json.tool '" + path + "' >/dev/null 2>&1";
  EXPECT_EQ(std::system(check.c_str()), 0);
  const std::string written = readFile(path);
  for (const std::string_view raw : {"\xC2\x80", "\xC2\x85", "\xC2\x9F", "\xEF\xBF\xBE", "\xEF\xBF\xBF"}) {
    EXPECT_EQ(written.find(raw), std::string::npos);
  }
  const auto json = parsedByPython(path);
  EXPECT_EQ(json.at("files.4.name"), R"("c1\u0080\u0085\u009f.bin")");
  EXPECT_EQ(json.at("files.2.name"), R"("x\ufffe.bin")");
}

class JsonReportRun : public SessionTest {
 protected:
  void configureJson() {
    configure();
    setting("JsonReport", "TRUE");
    setting("Password", "secret-word");
  }
  [[nodiscard]] std::map<std::string, std::string> document() const {
    return parsedByPython(dir.file(jsonReportName(session->reportFileName())));
  }

  // Every part line of the text report that ends with an outcome ("001
  // a.bin ... Ok. (...)", "... Failed. ") must be a part of the document, in
  // order: same file, same outcome, with the server's reply or the
  // program's reason the line gives. An interrupted part is posted again and
  // is not in the document.
  void expectAgreement(const std::map<std::string, std::string>& json) {
    std::vector<std::string> lines;
    for (const std::string& line : reportLines()) {
      const std::size_t dots = line.find(" ... ");
      if (dots != std::string::npos &&
          (line.compare(dots + 5, 3, "Ok.") == 0 || line.compare(dots + 5, 7, "Failed.") == 0)) {
        lines.push_back(line.substr(line.find(' ', 9) + 1));  // without the time stamp and file number
      }
    }
    std::size_t at = 0;
    const int files = std::stoi(json.at("files#"));
    for (int f = 0; f < files; ++f) {
      const std::string file = "files." + std::to_string(f);
      const int parts = std::stoi(json.at(file + ".parts#"));
      for (int p = 0; p < parts; ++p, ++at) {
        const std::string part = file + ".parts." + std::to_string(p);
        ASSERT_LT(at, lines.size());
        const std::string& line = lines[at];
        EXPECT_EQ(line.substr(0, line.find(" ... ")), text(json, file + ".name")) << line;
        const std::string outcome = line.substr(line.find(" ... ") + 5);
        if (text(json, part + ".outcome") == "ok") {
          EXPECT_EQ(outcome.substr(0, 3), "Ok.") << line;
          EXPECT_EQ(text(json, part + ".reply"), "240 article posted ok");
          EXPECT_GT(std::stoll(json.at(part + ".bytes")), 0);
        } else if (json.at(part + ".reply") != "null" && !json.contains(part + ".reason")) {
          EXPECT_EQ(outcome, "Failed. " + text(json, part + ".reply")) << line;
        } else {
          EXPECT_NE(outcome.find("[" + text(json, part + ".reason") + "]"), std::string::npos) << line;
        }
      }
    }
    EXPECT_EQ(at, lines.size());
  }
};

TEST_F(JsonReportRun, AgreesWithTheTextReportOfTheSameRun) {
  configureJson();
  setting("PartSize", "126");  // two full lines a part
  setting("UseBBS", "TRUE");
  addFile("a.bin", "first");
  addFile("b.bin", std::string(180, 'b'));  // two parts; the second refused
  addFile("c.bin", "third");
  addFile("FILES.BBS", "a.bin The first file\r\nb.bin Second\r\nc.bin Third\r\n");
  server.onArticle(Response::reply("240 article posted ok"), 2);
  server.onArticle(Response::reply("441 435 Duplicate"), 1);
  start();
  ASSERT_TRUE(postAndWait());
  ASSERT_EQ(session->outcome(), RunOutcome::FinishedWithFailures);

  const auto json = document();
  ASSERT_FALSE(json.empty());
  EXPECT_EQ(jsonReportName(session->reportFileName()), "Report01.json");
  expectAgreement(json);
  EXPECT_EQ(json.at("files#"), "3");
  EXPECT_EQ(text(json, "files.0.description"), "The first file");
  EXPECT_EQ(json.at("files.1.size"), "180");
  EXPECT_EQ(json.at("files.1.part_count"), "2");
  EXPECT_EQ(json.at("files.1.parts#"), "2");  // the second refused: checked against the text report above
  EXPECT_EQ(text(json, "outcome"), "finished_with_failures");
  EXPECT_EQ(text(json, "text_report"), "Report01.TXT");
  EXPECT_NE(json.at("ended"), "null");
  EXPECT_EQ(text(json, "settings.Host"), server.address());
  EXPECT_EQ(json.at("settings.JsonReport"), "true");
  EXPECT_EQ(json.at("settings.PartSize"), "126");
  EXPECT_FALSE(json.contains("settings.Password"));
  EXPECT_EQ(report().find("secret-word"), std::string::npos);
}

// The document is fed by the outcomes themselves, never by the report's
// words: the same run with every outcome reworded in the report writes the
// same document, with one connection and with several.
struct WordingCase {
  const char* name;
  int connections;
  std::vector<std::string> replies;  // to the articles in the order received; then 240
};

class JsonReportWording : public JsonReportRun, public ::testing::WithParamInterface<WordingCase> {};

TEST_P(JsonReportWording, SurvivesARewordingOfTheReport) {
  configureJson();
  useConnections(GetParam().connections);
  setting("PartSize", "126");
  addFile("a.bin", "first");
  addFile("b.bin", std::string(180, 'b'));
  start();
  const auto runOnce = [this] {
    for (const std::string& reply : GetParam().replies) {
      server.onArticle(Response::reply(reply), 1);
    }
    EXPECT_TRUE(postAndWait());
    std::map<std::string, std::string> json = document();
    for (const char* key : {"started", "ended", "text_report", "settings.ReportNumber"}) {
      EXPECT_EQ(json.erase(key), 1U) << key;
    }
    return json;
  };
  const std::map<std::string, std::string> plain = runOnce();
  ASSERT_FALSE(plain.empty());
  session->setReportWording([](std::string_view text) {
    std::string reworded(text);
    for (const auto& [from, to] : {std::pair<std::string, std::string>{"Ok.", "Fine:"},
                                   {"Failed.", "Refused:"},
                                   {"[", "<<"},
                                   {"]", ">>"},
                                   {"240", "two-forty"}}) {
      for (std::size_t at = reworded.find(from); at != std::string::npos; at = reworded.find(from, at + to.size())) {
        reworded.replace(at, from.size(), to);
      }
    }
    return reworded;
  });
  const std::map<std::string, std::string> reworded = runOnce();
  EXPECT_NE(report().find(GetParam().replies.empty() ? "Fine:" : "Refused:"), std::string::npos);
  EXPECT_EQ(report().find("Ok."), std::string::npos);
  EXPECT_EQ(reworded, plain);
}

INSTANTIATE_TEST_SUITE_P(Outcomes, JsonReportWording,
                         ::testing::Values(WordingCase{"OneConnection", 1, {"240 ok", "240 ok", "441 435 Duplicate"}},
                                           WordingCase{"ThreeConnectionsRefused", 3, {"441 no", "441 no", "441 no"}},
                                           WordingCase{"ThreeConnectionsPosted", 3, {}}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(JsonReportRun, GivingUpListsTheRestAsNotPosted) {
  configureJson();
  for (const char* name : {"a.bin", "b.bin", "c.bin"}) {
    addFile(name, name);
  }
  // The first connection takes a.bin; b.bin breaks every later one off.
  server.onArticle(Response::reply("240 article posted ok"), 1);
  server.onArticle(Response::reset(), 4);
  start();
  ASSERT_TRUE(postAndWait());
  ASSERT_EQ(session->outcome(), RunOutcome::EndedWithoutFinishing);
  const auto json = document();
  ASSERT_FALSE(json.empty());
  expectAgreement(json);
  EXPECT_EQ(text(json, "files.1.parts.0.reason"), "Not posted");
  EXPECT_EQ(json.at("files.1.parts.0.number"), "1");
  EXPECT_EQ(json.at("files.1.parts.0.reply"), "null");
  EXPECT_EQ(text(json, "outcome"), "ended_without_finishing");
}

TEST_F(JsonReportRun, ARunCutShortLeavesAValidDocument) {
  configureJson();
  for (const char* name : {"a.bin", "b.bin", "c.bin"}) {
    addFile(name, name);
  }
  server.onArticle(Response::reply("240 article posted ok"), 1);
  server.onArticle(Response::silence(), 1);
  start();
  session->post();
  ASSERT_TRUE(runUntil([&] { return server.articles().size() == 2; }));
  const std::string path = dir.file(jsonReportName(session->reportFileName()));
  session.reset();  // the program is killed while b.bin waits for its answer
  const auto json = parsedByPython(path);
  ASSERT_FALSE(json.empty());
  EXPECT_EQ(json.at("ended"), "null");
  EXPECT_EQ(text(json, "outcome"), "ended_without_finishing");
  EXPECT_EQ(text(json, "files.0.parts.0.outcome"), "ok");
  EXPECT_EQ(json.at("files.1.parts#"), "0");
  EXPECT_EQ(json.at("files.2.parts#"), "0");
}

// The record is fed the outcomes in data: a refusal of our own Message-ID
// keeps the server's reply and the program's reason apart, and every part
// whose id is known carries it, with one connection and with three.
TEST_F(JsonReportRun, OutcomesInDataWithMessageIds) {
  for (const char* connections : {"1", "3"}) {
    SCOPED_TRACE(connections);
    configureJson();
    setting("MessageIDs", "TRUE");
    setting("FastPosting", "TRUE");
    setting("Connections", connections);
    addFile("a.bin", "first");
    addFile("b.bin", "second");
    server.onArticle(Response::reply("240 article posted ok"), 1);
    server.onArticle(Response::reply("441 435 Duplicate"), 1);
    const std::size_t before = server.articles().size();
    start();
    ASSERT_TRUE(postAndWait());
    const auto json = document();
    ASSERT_FALSE(json.empty());
    expectAgreement(json);
    const std::vector<std::string> articles = server.articles();
    ASSERT_EQ(articles.size(), before + 2);
    std::set<std::string> ids;
    for (std::size_t i = before; i < articles.size(); ++i) {
      ids.insert(headerOf(articles[i], "Message-ID"));
    }
    int refused = 0;
    for (const std::string part : {"files.0.parts.0", "files.1.parts.0"}) {
      const std::string id = text(json, part + ".message_id");
      EXPECT_EQ(ids.count(id), 1U) << id;
      if (text(json, part + ".reply") == "441 435 Duplicate") {
        ++refused;
        EXPECT_EQ(text(json, part + ".reason"), "Message-ID " + id + " exists on the server");
      }
    }
    EXPECT_EQ(refused, 1);
    session.reset();
  }
}

// A resumed run lists every part of the file, those of the earlier run
// marked, and the article in flight at the cut, found by STAT, is one "Ok."
// line and one count, with one connection and with three.
TEST_F(JsonReportRun, AResumedRunListsEveryPart) {
  for (const char* connections : {"1", "3"}) {
    SCOPED_TRACE(connections);
    configureJson();
    setting("Encoding", "yEnc");
    setting("FastPosting", "TRUE");
    setting("PartSize", "1000");
    setting("Resume", "TRUE");
    setting("Connections", connections);
    const std::string path = addFile("a.bin", std::string(2500, 'x'));
    std::int64_t size = 0;
    std::int64_t mtime = 0;
    ASSERT_TRUE(fileStamp(path, size, mtime));
    const PartSums sums(PartSource::Yenc, path, "", 1000, 3);
    RunJournal journal;
    ASSERT_TRUE(journal.create(journalPathFor(settings.configFilePath()), journalSettings(settings)));
    ASSERT_TRUE(journal.startFile("a.bin", size, mtime, 3));
    ASSERT_TRUE(journal.noteSubject("a.bin", "Test - a.bin (1/3) 2500 bytes", 1700000000));
    ASSERT_TRUE(journal.noteAccepted("a.bin", 1, 1200, "<p1@tidewell.invalid>", sums.sumOf(1)));
    ASSERT_TRUE(journal.noteInFlight("a.bin", 3, 700, "<p3@tidewell.invalid>", sums.sumOf(3)));
    journal.close();
    prompt.answers.push_back(PromptAnswer::Yes);
    server.onCommand("stat", Response::reply("223 0 <p3@tidewell.invalid>"), 1);
    start();
    ASSERT_TRUE(postAndWait());
    const std::vector<std::string> lines = reportLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Articles Ok        : 2"), 1) << report();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "HH:MM:SS 001 a.bin ... Ok. (3/3 - found on the server by STAT)"),
              1)
        << report();
    const auto json = document();
    ASSERT_FALSE(json.empty());
    EXPECT_EQ(json.at("files.0.part_count"), "3");
    ASSERT_EQ(json.at("files.0.parts#"), "3");
    EXPECT_EQ(json.at("files.0.parts.0.earlier_run"), "true");
    EXPECT_EQ(text(json, "files.0.parts.0.message_id"), "<p1@tidewell.invalid>");
    for (const std::string part : {"files.0.parts.1", "files.0.parts.2"}) {
      EXPECT_EQ(text(json, part + ".outcome"), "ok");
      EXPECT_FALSE(json.contains(part + ".earlier_run"));
    }
    EXPECT_EQ(json.at("files.0.parts.1.number"), "2");
    EXPECT_EQ(text(json, "files.0.parts.2.message_id"), "<p3@tidewell.invalid>");
    EXPECT_EQ(text(json, "files.0.parts.2.reply"), "223 0 <p3@tidewell.invalid>");
    session.reset();
    uploadList.clear();
  }
}

TEST_F(JsonReportRun, OffByDefault) {
  configure();
  addFile("a.bin", "first");
  start();
  ASSERT_TRUE(postAndWait());
  EXPECT_FALSE(fileExists(dir.file("Report01.json")));
}

}  // namespace
}  // namespace tidewell::test
