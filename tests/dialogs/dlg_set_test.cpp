#include "dialogs/dlg_set.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "dialogs/settings_rules.h"
#include "platform/file_system.h"
#include "platform/user_prompt.h"
#include "settings/settings_store.h"
#include "support/qt/fake_frame.h"
#include "support/qt/find_widget.h"
#include "support/temp_dir.h"

namespace tidewell {
namespace {

using test::findWidget;

constexpr std::string_view kAbsent = "<absent>";

class DlgSetTest : public ::testing::Test {
 protected:
  DlgSetTest() {
    posting.setFixedSize(200, 100);
    frame.posting = &posting;
    frame.show();
  }

  // Opens a settings panel in the frame, as the posting panel does.
  DlgSet& open() {
    panel = std::make_unique<DlgSet>(DialogServices{frame, store, prompt});
    frame.switchPanel(panel.get());
    return *panel;
  }

  QLineEdit& edit(const char* name) { return *findWidget<QLineEdit>(*panel, name); }
  QCheckBox& check(const char* name) { return *findWidget<QCheckBox>(*panel, name); }
  void click(const char* name) { QTest::mouseClick(findWidget<QAbstractButton>(*panel, name), Qt::LeftButton); }
  [[nodiscard]] QString sample() const { return findWidget<QLabel>(*panel, "sampleLabel")->text(); }
  [[nodiscard]] std::string stored(std::string_view key) const { return store.read(key, kAbsent, kLongLimit); }

  // Fields that pass every check.
  void fillValid() {
    edit("hostEdit").setText("news.example.net");
    edit("fromEdit").setText("me@example.net");
    edit("directoryEdit").setText("/srv/upload");
    edit("newsgroupsEdit").setText("alt.test");
  }

  test::TempDir dir;
  SettingsStore store{dir.file("Tidewell.INI")};
  ScriptedPrompt prompt;
  QWidget posting;
  test::FakeFrame frame;
  std::unique_ptr<DlgSet> panel;
};

TEST_F(DlgSetTest, LoadsDefaultsWhenTheConfigurationIsEmpty) {
  open();
  EXPECT_EQ(edit("hostEdit").text(), "news.example.com");
  EXPECT_EQ(edit("usernameEdit").text(), "");
  EXPECT_EQ(edit("organizationEdit").text(), "The Usenet Upload Circle");
  EXPECT_EQ(edit("subjectEdit").text(), "Type Subject Here");
  EXPECT_EQ(edit("directoryEdit").text(), QString::fromStdString(temporaryFolder()));
  EXPECT_EQ(edit("newsgroupsEdit").text(), "alt.test");
  EXPECT_EQ(edit("partSizeEdit").text(), "0");
  EXPECT_TRUE(check("appendSizeCheck").isChecked());
  EXPECT_TRUE(check("showCountCheck").isChecked());
  EXPECT_TRUE(check("fileNameCheck").isChecked());
  EXPECT_FALSE(check("useBbsCheck").isChecked());
  EXPECT_EQ(edit("passwordEdit").echoMode(), QLineEdit::Password);
  EXPECT_TRUE(panel->sampleReady());
  EXPECT_EQ(sample(), "Type Subject Here - SOMEFILE.ZIP - [1/1] 123456 bytes");
  EXPECT_TRUE(prompt.asked.empty());
}

TEST_F(DlgSetTest, OkWritesEveryFieldAndTheNextOpeningShowsThem) {
  open();
  fillValid();
  edit("usernameEdit").setText("  tester ");
  edit("passwordEdit").setText("secret");
  edit("replyToEdit").setText("reply@example.net");
  edit("organizationEdit").setText("");
  edit("subjectEdit").setText("Holiday pictures");
  edit("partSizeEdit").setText("60000");
  auto& body = *findWidget<QPlainTextEdit>(*panel, "bodyEdit");
  body.setFocus();
  QTest::keyClicks(&body, "first line");
  QTest::keyClick(&body, Qt::Key_Return);  // a new line, not the Ok button
  QTest::keyClicks(&body, "second line");
  EXPECT_EQ(frame.shown(), panel.get());
  click("showCountCheck");
  click("useBbsCheck");

  click("okButton");

  EXPECT_TRUE(prompt.asked.empty());
  EXPECT_EQ(frame.shown(), &posting);
  EXPECT_EQ(panel->result(), QDialog::Accepted);
  EXPECT_EQ(stored("Host"), "news.example.net");
  EXPECT_EQ(stored("Username"), "tester");
  EXPECT_EQ(stored("Password"), "secret");
  EXPECT_EQ(stored("ReplyTo"), "reply@example.net");
  EXPECT_EQ(stored("Organization"), "");
  EXPECT_EQ(stored("Subject"), "Holiday pictures");
  EXPECT_EQ(stored("Directory"), "/srv/upload");
  EXPECT_EQ(stored("PartSize"), "60000");
  EXPECT_EQ(stored("BodyComment"), "first line\xFC\xE9second line");
  EXPECT_EQ(stored("AppendFileSize"), "TRUE");
  EXPECT_EQ(stored("ShowCount"), "FALSE");
  EXPECT_EQ(stored("ShowFilename"), "TRUE");
  EXPECT_EQ(stored("UseBBS"), "TRUE");
  EXPECT_EQ(store.getBodyComment(), "first line\r\nsecond line");

  open();
  EXPECT_EQ(edit("usernameEdit").text(), "tester");
  EXPECT_EQ(findWidget<QPlainTextEdit>(*panel, "bodyEdit")->toPlainText(), "first line\nsecond line");
  EXPECT_FALSE(check("showCountCheck").isChecked());
  EXPECT_TRUE(check("useBbsCheck").isChecked());
  EXPECT_EQ(sample(), "Holiday pictures - The BBS Description - SOMEFILE.ZIP - [1/1] 123456 bytes");
}

TEST_F(DlgSetTest, CancelAndEscapeWriteNothing) {
  open();
  fillValid();
  click("cancelButton");
  EXPECT_EQ(frame.shown(), &posting);
  EXPECT_EQ(panel->result(), QDialog::Rejected);
  EXPECT_FALSE(fileExists(store.configFilePath()));

  open();
  fillValid();
  QTest::keyClick(panel.get(), Qt::Key_Escape);
  EXPECT_EQ(frame.shown(), &posting);
  EXPECT_FALSE(fileExists(store.configFilePath()));
}

TEST_F(DlgSetTest, BlankHostIsRefusedBeforeAnythingIsWritten) {
  open();
  fillValid();
  edit("hostEdit").setText("   ");
  click("okButton");
  ASSERT_EQ(prompt.asked.size(), 1U);
  EXPECT_EQ(prompt.asked[0].text, "The news server HOST has not been specified.");
  EXPECT_EQ(prompt.asked[0].caption, "Settings Problem");
  EXPECT_EQ(prompt.asked[0].icon, PromptIcon::Stop);
  EXPECT_EQ(frame.shown(), panel.get());
  EXPECT_FALSE(fileExists(store.configFilePath()));
}

// Each check stops the save where it fails: the keys before it are written
// (and stay written after Cancel), the keys after it are not, and the panel
// keeps everything typed.
TEST_F(DlgSetTest, AFailedCheckKeepsTheKeysWrittenBeforeIt) {
  struct Case {
    const char* field;
    const char* message;
    const char* lastWritten;
    const char* firstUnwritten;
  };
  const Case cases[] = {
      {"fromEdit", nullptr, "Password", "From"},
      {"directoryEdit", "No files directory specified.  Please indicate the directory to source upload files from.",
       "Subject", "Directory"},
      {"newsgroupsEdit", "No news group directory specified.  Please indicate the newsgroup to upload files to.",
       "Directory", "Newsgroup"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    deleteFile(store.configFilePath());
    prompt.asked.clear();
    open();
    fillValid();
    edit("usernameEdit").setText("user");
    edit(c.field).setText(" ");
    click("okButton");
    ASSERT_EQ(prompt.asked.size(), 1U);
    EXPECT_EQ(prompt.asked[0].text, c.message != nullptr ? std::string(c.message) : fromNeedsAtMessage());
    EXPECT_EQ(prompt.asked[0].caption, "Settings Problem");
    EXPECT_EQ(frame.shown(), panel.get());
    EXPECT_NE(stored(c.lastWritten), kAbsent);
    EXPECT_EQ(stored(c.firstUnwritten), kAbsent);
    EXPECT_EQ(stored("Username"), "user");
    EXPECT_EQ(edit("usernameEdit").text(), "user");
    EXPECT_EQ(edit("hostEdit").text(), "news.example.net");
    click("cancelButton");
    EXPECT_EQ(stored("Username"), "user");
  }
  EXPECT_NE(fromNeedsAtMessage().find("'anonymous' you can use something like '"), std::string::npos);
}

TEST_F(DlgSetTest, MaxBytesPerPartIsCorrectedOnSave) {
  const std::pair<const char*, const char*> cases[] = {
      {"letters", "0"},   {"-5", "0"},          {"1", "50000"},         {"49999", "50000"},
      {"50000", "50000"}, {"123456", "123456"}, {"  70000  ", "70000"}, {"", "0"},
  };
  for (const auto& [typed, expected] : cases) {
    SCOPED_TRACE(typed);
    open();
    fillValid();
    edit("partSizeEdit").setText(typed);
    click("okButton");
    EXPECT_EQ(stored("PartSize"), expected);
  }
  EXPECT_TRUE(prompt.asked.empty());
}

TEST_F(DlgSetTest, SampleSubjectFollowsThePrefixUseAndAppendFileSize) {
  store.write("AppendFileSize", "FALSE");
  open();
  QLineEdit& prefix = edit("subjectEdit");
  prefix.clear();
  EXPECT_EQ(sample(), "SOMEFILE.ZIP - [1/1]");

  QTest::keyClicks(&prefix, "  My Files ");
  EXPECT_EQ(sample(), "My Files - SOMEFILE.ZIP - [1/1]");
  click("useBbsCheck");
  click("appendSizeCheck");
  EXPECT_EQ(sample(), "My Files - The BBS Description - SOMEFILE.ZIP - [1/1] 123456 bytes");
  prefix.clear();
  EXPECT_EQ(sample(), "The BBS Description - SOMEFILE.ZIP - [1/1] 123456 bytes");

  // The other two check boxes have nothing to do with the subject.
  const QString before = sample();
  click("showCountCheck");
  click("fileNameCheck");
  EXPECT_EQ(sample(), before);
  EXPECT_EQ(sampleSubject(std::string(300, 'x'), false, false), std::string(254, 'x') + " - SOMEFILE.ZIP - [1/1]");
}

TEST_F(DlgSetTest, FailingToWriteTheConfigurationIsReportedAndKeepsThePanelOpen) {
  store = SettingsStore(dir.file("missing-folder/Tidewell.INI"));
  open();
  fillValid();
  click("okButton");
  ASSERT_EQ(prompt.asked.size(), 1U);
  EXPECT_EQ(prompt.asked[0].text, "Unable to save the settings in " + store.configFilePath() + ".");
  EXPECT_EQ(prompt.asked[0].caption, "Settings Problem");
  EXPECT_EQ(frame.shown(), panel.get());
}

TEST_F(DlgSetTest, TheDirectoryButtonFillsTheFieldFromTheChooser) {
  open();
  QString offered;
  QString answer = "/home/me/upload";
  panel->setDirectoryChooser([&](QWidget*, const QString& start) {
    offered = start;
    return answer;
  });
  edit("directoryEdit").setText(" /srv ");
  click("directoryButton");
  EXPECT_EQ(offered, "/srv");
  EXPECT_EQ(edit("directoryEdit").text(), "/home/me/upload");
  answer.clear();  // the chooser was cancelled
  click("directoryButton");
  EXPECT_EQ(edit("directoryEdit").text(), "/home/me/upload");
}

}  // namespace
}  // namespace tidewell
