#include "dialogs/files_bbs_editing.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "dialogs/dlg_set.h"
#include "platform/file_system.h"
#include "platform/user_prompt.h"
#include "settings/settings_store.h"
#include "support/qt/fake_frame.h"
#include "support/qt/find_widget.h"
#include "support/temp_dir.h"

namespace tidewell {
namespace {

// A viewer that reports the file it was asked to open through a FIFO, so the
// test waits for the event itself rather than for time to pass.
class RecordingViewer {
 public:
  explicit RecordingViewer(const test::TempDir& dir) : fifo_(dir.file("opened.fifo")) {
    EXPECT_EQ(mkfifo(fifo_.c_str(), 0600), 0);
    reader_ = open(fifo_.c_str(), O_RDONLY | O_NONBLOCK);
    program_ = dir.write("viewer.sh", "#!/bin/sh\nprintf '%s' \"$1\" > '" + fifo_ + "'\n");
    chmod(program_.c_str(), 0700);
  }
  ~RecordingViewer() { close(reader_); }
  RecordingViewer(const RecordingViewer&) = delete;
  RecordingViewer& operator=(const RecordingViewer&) = delete;

  [[nodiscard]] const std::string& program() const { return program_; }

  // The file the viewer was started with (empty when it never ran).
  std::string openedFile() {
    std::string text;
    pollfd ready{reader_, POLLIN, 0};
    while (poll(&ready, 1, 5000) > 0) {
      char buffer[512];
      const ssize_t n = read(reader_, buffer, sizeof buffer);
      if (n <= 0) {
        break;
      }
      text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
  }

 private:
  std::string fifo_;
  std::string program_;
  int reader_ = -1;
};

class EditFilesBbsTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  SettingsStore store{dir.file("Tidewell.INI")};
  ScriptedPrompt prompt;
};

TEST_F(EditFilesBbsTest, ReportsAMissingOrUnreachableDirectory) {
  editFilesBbs("   ", store, prompt);
  editFilesBbs(dir.file("nowhere") + "/", store, prompt);
  const std::string plainFile = dir.write("plain.txt", "x");
  editFilesBbs(plainFile, store, prompt);
  ASSERT_EQ(prompt.asked.size(), 3U);
  EXPECT_EQ(prompt.asked[0].text, "No Directory Specified.");
  EXPECT_EQ(prompt.asked[0].caption, "Tidewell Error");
  EXPECT_EQ(prompt.asked[0].icon, PromptIcon::None);
  EXPECT_EQ(prompt.asked[1].text, "Directory " + dir.file("nowhere") + " does not exist or is not accessible.");
  EXPECT_EQ(prompt.asked[2].text, "Directory " + plainFile + " does not exist or is not accessible.");
}

TEST_F(EditFilesBbsTest, OpensTheExistingFileOfADirectoryWrittenWithATrailingSlash) {
  RecordingViewer viewer(dir);
  store.write("Viewer", viewer.program());
  mkdir(dir.file("upload").c_str(), 0700);
  dir.write("upload/FILES.BBS", "a.zip Pictures\r\n");
  const std::string upload = dir.file("upload");
  editFilesBbs(std::string(" ").append(upload).append("/ "), store, prompt);
  EXPECT_EQ(viewer.openedFile(), dir.file("upload/FILES.BBS"));
  EXPECT_TRUE(prompt.asked.empty());
}

TEST_F(EditFilesBbsTest, OffersATemplateAndOpensItWhenAccepted) {
  RecordingViewer viewer(dir);
  store.write("Viewer", viewer.program());
  mkdir(dir.file("upload").c_str(), 0700);
  dir.write("upload/b.zip", "bbbb");
  const std::string path = dir.file("upload/FILES.BBS");

  prompt.answers = {PromptAnswer::No};
  editFilesBbs(dir.file("upload"), store, prompt);
  ASSERT_EQ(prompt.asked.size(), 1U);
  EXPECT_EQ(prompt.asked[0].text, path + " does not exist.  Would you like a template version created?");
  EXPECT_EQ(prompt.asked[0].buttons, PromptButtons::YesNo);
  EXPECT_EQ(prompt.asked[0].icon, PromptIcon::Question);
  EXPECT_FALSE(fileExists(path));

  prompt.answers = {PromptAnswer::Yes};
  editFilesBbs(dir.file("upload"), store, prompt);
  EXPECT_EQ(viewer.openedFile(), path);
  EXPECT_EQ(prompt.asked.size(), 2U);
  EXPECT_NE(dir.read("upload/FILES.BBS").find("b.zip \r\n"), std::string::npos);
}

TEST_F(EditFilesBbsTest, AViewerThatCannotStartIsReported) {
  store.write("Viewer", dir.file("no-such-viewer"));
  dir.write("FILES.BBS", "");
  editFilesBbs(dir.path(), store, prompt);
  ASSERT_EQ(prompt.asked.size(), 1U);
  EXPECT_EQ(prompt.asked[0].text, "Unable to start NOTEPAD.");
  EXPECT_EQ(prompt.asked[0].caption, "Tidewell Error");
}

TEST_F(EditFilesBbsTest, TheEditButtonUsesTheDirectoryFieldAndLeavesTheSettingsAlone) {
  RecordingViewer viewer(dir);
  store.write("Viewer", viewer.program());
  dir.write("FILES.BBS", "");
  const std::string before = test::readFile(store.configFilePath());
  test::FakeFrame frame;
  DlgSet panel(DialogServices{frame, store, prompt});
  test::findWidget<QLineEdit>(panel, "directoryEdit")->setText(QString::fromStdString(dir.path()));
  QTest::mouseClick(test::findWidget<QPushButton>(panel, "editBbsButton"), Qt::LeftButton);
  EXPECT_EQ(viewer.openedFile(), dir.file("FILES.BBS"));
  EXPECT_TRUE(prompt.asked.empty());
  EXPECT_EQ(test::readFile(store.configFilePath()), before);
}

}  // namespace
}  // namespace tidewell
