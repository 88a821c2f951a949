// Every file a run creates takes its mode from the umask, except those that
// hold what is the user's alone (the configuration, the debug log, the
// resume journal and its folder), which are owner-only whatever the umask.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "posting/session_fixture.h"
#include "support/scoped_env.h"
#include "upload/journal_path.h"

namespace tidewell::test {
namespace {

mode_t modeOf(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 07777;
}

class FileModes : public SessionTest, public ::testing::WithParamInterface<mode_t> {
 protected:
  FileModes() : previousMask_(umask(GetParam())) {}
  ~FileModes() override { umask(previousMask_); }

  ScopedEnv stateHome{"XDG_STATE_HOME", dir.file("state")};

 private:
  mode_t previousMask_;
};

TEST_P(FileModes, SharedFilesFollowTheUmaskPrivateOnesAreTheOwners) {
  configure();  // creates the configuration file
  setting("NZB", "TRUE");
  setting("JsonReport", "TRUE");
  setting("Logging", "TRUE");
  setting("Resume", "TRUE");
  setting("PartSize", "100");
  addFile("a.bin", std::string(250, 'a'));
  server.onArticle(Response::reply("240 ok"), 1);
  server.onArticle(Response::reply("441 posting failed"), 1);  // the journal stays for a resume
  start();
  ASSERT_TRUE(postAndWait());
  ASSERT_EQ(session->outcome(), RunOutcome::FinishedWithFailures);

  const mode_t shared = 0666 & ~GetParam();
  const std::string report = session->reportFileName();
  const std::string journal = resolveJournalPath(settings.configFilePath());
  const struct {
    std::string path;
    mode_t mode;
  } files[] = {
      {report, shared},
      {session->nzbFileName(), shared},
      {report.substr(0, 8) + ".json", shared},
      {settings.configFilePath(), 0600},
      {"LOGGIT.TXT", 0600},
      {journal, 0600},
      {dir.file("state/tidewell"), 0700},
  };
  for (const auto& file : files) {
    EXPECT_EQ(modeOf(file.path), file.mode) << file.path;
  }
  EXPECT_EQ(journal.rfind(dir.file("state/tidewell/"), 0), 0U) << journal;
}

INSTANTIATE_TEST_SUITE_P(Umasks, FileModes, ::testing::Values(mode_t{022}, mode_t{077}));

}  // namespace
}  // namespace tidewell::test
