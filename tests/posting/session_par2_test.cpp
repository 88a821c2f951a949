// A run with Par2=TRUE: the set is computed from the reads for posting, its
// files are posted after the data files like any file of the run, and the
// set kept beside the report is one Debian's par2 finds correct.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <set>
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "posting/session_fixture.h"

namespace tidewell::test {
namespace {

struct Par2RunCase {
  const char* label;
  const char* encoding;
  int connections;
  const char* firstVolume;
};

class Par2Run : public SessionTest, public ::testing::WithParamInterface<Par2RunCase> {};

std::string subjectName(const std::string& article) {
  const std::string subject = headerOf(article, "Subject");
  // yEnc: Test - "name" yEnc (k/N) ...; uuencode: Test - name (k/N) ...
  if (const std::size_t open = subject.find('"'); open != std::string::npos) {
    return subject.substr(open + 1, subject.find('"', open + 1) - open - 1);
  }
  const std::size_t from = subject.find(" - ") + 3;
  return subject.substr(from, subject.rfind(" (") - from);
}

TEST_P(Par2Run, TheSetIsPostedAfterTheFilesAndVerifies) {
  const Par2RunCase& c = GetParam();
  if (std::system("command -v par2 >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "Debian's par2 is not installed";
  }
  configure();
  useConnections(c.connections);
  setting("Encoding", c.encoding);
  setting("NZB", "TRUE");
  setting("PartSize", "50000");
  setting("Par2", "TRUE");
  setting("Par2Keep", "TRUE");
  setting("Par2Name", "holiday");
  setting("JsonReport", "TRUE");
  std::string big(230000, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) {
    big[i] = static_cast<char>(i * 7 + i / 251);
  }
  addFile("big.bin", big);
  addFile("tiny one \xC3\xA4.txt", "x");
  addFile("empty.bin", "");
  start();
  ASSERT_TRUE(postAndWait());
  ASSERT_EQ(session->outcome(), RunOutcome::Finished) << report();

  // Every file of the set is posted, and its lines follow the data files'.
  std::set<std::string> posted;
  for (const std::string& article : server.articles()) {
    posted.insert(subjectName(article));
  }
  const std::string text = report();
  EXPECT_TRUE(posted.contains("holiday.par2")) << text;
  EXPECT_TRUE(posted.contains(c.firstVolume)) << text;
  EXPECT_LT(text.rfind("tiny one \xC3\xA4.txt ... Ok."), text.find("holiday.par2 ... Ok.")) << text;
  const std::string folder = session->reportFileName().substr(0, 8) + ".par2";
  EXPECT_NE(text.find("Recovery: a PAR2 set of "), std::string::npos) << text;
  // Every byte of the set came from the reads for posting.
  EXPECT_NE(text.find("; 0 bytes read only for the set."), std::string::npos) << text;
  std::string nzb;
  ASSERT_EQ(readWholeFile(session->nzbFileName(), nzb), FileRead::Read);
  for (const std::string& name : posted) {
    EXPECT_NE(nzb.find(name), std::string::npos) << name;
  }

  std::string json;
  ASSERT_EQ(readWholeFile(session->reportFileName().substr(0, 8) + ".json", json), FileRead::Read);
  EXPECT_NE(json.find("\"holiday.par2\""), std::string::npos) << json.substr(0, 2000);
  const std::string command = "par2 verify -q -B'" + uploads + "' '" + folder + "/holiday.par2' >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
}

INSTANTIATE_TEST_SUITE_P(Runs, Par2Run,
                         // yEnc slices are an article's bytes; uuencode's are chosen: 198 recovery slices
                         ::testing::Values(Par2RunCase{"Yenc", "yEnc", 1, "holiday.vol0+1.par2"},
                                           Par2RunCase{"YencTwoConnections", "yEnc", 2, "holiday.vol0+1.par2"},
                                           Par2RunCase{"Uuencode", "uuencode", 1, "holiday.vol000+01.par2"}),
                         [](const auto& test) { return std::string(test.param.label); });

}  // namespace
}  // namespace tidewell::test
