#include "dialogs/dlg_post.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "dialogs/activity_light.h"
#include "dialogs/dlg_set.h"
#include "dialogs/posting_commands.h"
#include "dialogs/run_progress.h"
#include "dialogs/tips.h"
#include "settings/settings_store.h"
#include "support/manual_clock.h"
#include "support/qt/fake_frame.h"
#include "support/qt/find_widget.h"
#include "support/scripted_prompt.h"
#include "support/temp_dir.h"

namespace tidewell {
namespace {

using test::findWidget;

class RecordingCommands final : public PostingCommands {
 public:
  explicit RecordingCommands(std::vector<std::string>& record) : calls(record) {}
  void setUp() override { calls.push_back("setUp"); }
  void post() override { calls.push_back("post"); }
  void stopOrQuit() override { calls.push_back("stopOrQuit"); }
  void settingsCommand() override { calls.push_back("settingsCommand"); }
  std::vector<std::string>& calls;
};

class DlgPostTest : public ::testing::Test {
 protected:
  DlgPostTest() {
    panel.setCommands(std::make_unique<RecordingCommands>(calls));
    panel.setRunEndNotice([](const QString&, const QString&) {});  // no notification on the desktop of a test
    frame.posting = &panel;
    frame.show();
    frame.switchPanel(&panel);
    EXPECT_EQ(calls, std::vector<std::string>{"setUp"});  // when it first shows
    calls.clear();
  }

  QLabel& label(const char* name) { return *findWidget<QLabel>(panel, name); }
  QListWidget& list(const char* name) { return *findWidget<QListWidget>(panel, name); }
  QPushButton& button(const char* name) { return *findWidget<QPushButton>(panel, name); }
  bool lit(const char* name) { return findWidget<ActivityLight>(panel, name)->isLit(); }

  static QStringList lines(const QListWidget& list) {
    QStringList texts;
    for (int i = 0; i < list.count(); ++i) {
      texts.append(list.item(i)->text());
    }
    return texts;
  }

  test::TempDir dir;
  SettingsStore store{dir.file("Tidewell.INI")};
  ScriptedPrompt prompt;
  ManualClock clock;
  test::FakeFrame frame;
  std::vector<std::string> calls;
  DlgPost panel{DialogServices{frame, store, prompt}, clock};
};

TEST_F(DlgPostTest, StatusLinesShowTheTextAsGiven) {
  EXPECT_EQ(panel.windowTitle(), "Tidewell - Automatic News Posting");
  EXPECT_EQ(label("versionLabel").text(), "Version 1.01ZRB.32bit");
  panel.ShowState("Idle.");
  panel.ShowTimeRate("00:00:12 / 3.52 Kb/Sec");
  panel.ShowEstimate("Total: 1024 bytes");
  EXPECT_EQ(label("stateLabel").text(), "Idle.");
  EXPECT_EQ(label("timeRateLabel").text(), "00:00:12 / 3.52 Kb/Sec");
  EXPECT_EQ(label("estimateLabel").text(), "Total: 1024 bytes");
}

TEST_F(DlgPostTest, InformationListsShowOnlyTheLatestTextOneLinePerPiece) {
  panel.ShowInboundInfo("200 news.example.net ready\r\n\r\n  more text \nafter\r");
  EXPECT_EQ(lines(list("inboundList")), QStringList({"200 news.example.net ready", "more text", "after"}));
  // A carriage return anywhere goes before an earlier line feed.
  panel.ShowInboundInfo("a\r\nb \n c\rd");
  EXPECT_EQ(lines(list("inboundList")), QStringList({"a", "b \n c", "d"}));
  panel.ShowInboundInfo("281 Ok");
  EXPECT_EQ(lines(list("inboundList")), QStringList({"281 Ok"}));

  panel.ShowOutboundInfo(std::string(5000, 'x') + "\rcut away");
  EXPECT_EQ(lines(list("outboundList")), QStringList({QString(4096, 'x')}));
  panel.ShowOutboundInfo(" \r\n ");
  EXPECT_EQ(list("outboundList").count(), 0);
  for (const char* name : {"filesList", "inboundList", "outboundList"}) {
    EXPECT_EQ(list(name).verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn) << name;
  }
}

TEST_F(DlgPostTest, FileLinesAreAppendedCutAt275AndTheLastIsSelected) {
  QListWidget& files = list("filesList");
  panel.AppendToFileLine("given-up notice");  // an empty list gets a line
  panel.AddFileLine("a.zip [1/2]");
  panel.AppendToFileLine(" ... ");
  panel.AppendToFileLine("Ok");
  EXPECT_EQ(lines(files), QStringList({"given-up notice", "a.zip [1/2] ... Ok"}));
  EXPECT_EQ(files.currentRow(), 1);
  EXPECT_TRUE(files.item(1)->isSelected());

  panel.AddFileLine(std::string(270, 'f'));
  panel.AppendToFileLine("441 posting failed");
  EXPECT_EQ(files.item(2)->text(), QString(270, 'f') + "441 p");
  EXPECT_EQ(files.currentRow(), 2);

  for (int i = 0; i < 40; ++i) {
    panel.AddFileLine("part " + std::to_string(i));
  }
  const QRect lastRect = files.visualItemRect(files.item(files.count() - 1));
  EXPECT_TRUE(files.viewport()->rect().contains(lastRect.center()));  // scrolled into view

  panel.ClearFileLines();
  EXPECT_EQ(files.count(), 0);
}

TEST_F(DlgPostTest, LightsGoOnWithTrafficAndOffTogether) {
  EXPECT_FALSE(lit("outboundLight") || lit("inboundLight") || lit("heartbeatLight"));
  panel.OutboundLight();
  EXPECT_TRUE(lit("outboundLight"));
  EXPECT_FALSE(lit("inboundLight"));
  panel.InboundLight();
  EXPECT_TRUE(lit("inboundLight"));
  panel.lightsOff();
  EXPECT_FALSE(lit("outboundLight") || lit("inboundLight"));

  panel.HeartbeatLight();
  EXPECT_TRUE(lit("heartbeatLight"));
  panel.HeartbeatLight();
  EXPECT_FALSE(lit("heartbeatLight"));

  // The user cannot switch a light: a click on it goes to the panel.
  const ActivityLight& light = *findWidget<ActivityLight>(panel, "outboundLight");
  QTest::mouseClick(frame.windowHandle(), Qt::LeftButton, {}, light.mapTo(&frame, light.rect().center()));
  EXPECT_FALSE(lit("outboundLight"));
}

TEST_F(DlgPostTest, ButtonsLockDuringASessionAndTheThirdReadsStopThenQuit) {
  EXPECT_EQ(button("quitButton").text(), "&Quit");
  panel.LockButtons();
  EXPECT_FALSE(button("postButton").isEnabled());
  EXPECT_FALSE(button("settingsButton").isEnabled());
  EXPECT_TRUE(button("quitButton").isEnabled());
  EXPECT_EQ(button("quitButton").text(), "&Stop");

  panel.ShowTimeRate("00:00:03");
  panel.OutboundLight();
  panel.ResetButtons();
  EXPECT_TRUE(button("postButton").isEnabled());
  EXPECT_TRUE(button("settingsButton").isEnabled());
  EXPECT_EQ(button("quitButton").text(), "&Quit");
  EXPECT_EQ(label("timeRateLabel").text(), "");
  EXPECT_FALSE(lit("outboundLight"));
}

// The bar and the title follow the Total Estimate line during a run only;
// the run's end puts the title back and tells the desktop how it ended.
TEST_F(DlgPostTest, WholeRunProgressInTheBarAndTitleAndANoticeAtTheEnd) {
  std::vector<std::pair<QString, QString>> notices;
  panel.setRunEndNotice([&](const QString& summary, const QString& body) { notices.emplace_back(summary, body); });
  ASSERT_TRUE(store.write(Setting::DesktopNotice, "TRUE"));
  frame.setWindowTitle(QStringLiteral("Tidewell"));
  const auto& bar = *findWidget<QProgressBar>(panel, "runProgressBar");
  panel.ShowEstimate("Elapsed: 00:00:30 To Go: 00:01:30");  // no run: nothing moves
  EXPECT_EQ(bar.value(), 0);
  EXPECT_EQ(frame.windowTitle(), "Tidewell");

  panel.LockButtons();
  EXPECT_TRUE(panel.running());
  panel.ShowEstimate("Elapsed: --:--:-- To Go: --:--:--");
  EXPECT_EQ(frame.windowTitle(), "Tidewell");
  panel.ShowEstimate("Elapsed: 00:00:30 To Go: 00:01:30");
  EXPECT_EQ(bar.value(), 25);
  EXPECT_EQ(frame.windowTitle(), "25% - Tidewell");
  EXPECT_FALSE(panel.takeDroppedFolder(QString::fromStdString(dir.path())));  // not during a run
  panel.ShowState("Article Accepted.");
  panel.ResetButtons();
  panel.ShowState("Idle.");
  panel.ShowState("Finished.");  // the session's last word comes after the reset
  EXPECT_FALSE(panel.running());
  EXPECT_EQ(frame.windowTitle(), "Tidewell");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !notices.empty(); }));
  EXPECT_EQ(notices[0].second, "Finished.");
  panel.ResetButtons();  // idle again: no second notice
  QCoreApplication::processEvents();
  EXPECT_EQ(notices.size(), 1U);

  EXPECT_TRUE(panel.takeDroppedFolder(QString::fromStdString(dir.path())));
  EXPECT_EQ(label("stateLabel").text().toStdString(), "Files From Dir: " + dir.path());
}

TEST(RunProgress, TheTotalEstimateLineGivesTheShareOfTheRun) {
  const std::pair<const char*, std::optional<int>> cases[] = {
      {"Elapsed: 00:00:30 To Go: 00:01:30", 25},
      {"Elapsed: 01:00:00 To Go: 00:00:01", 99},
      {"Elapsed: 00:00:07", 100},                   // nothing left to go
      {"Elapsed: 123:00:00 To Go: 123:00:00", 50},  // hours do not wrap
      {"Elapsed: --:--:-- To Go: --:--:--", std::nullopt},
      {"Elapsed: 00:00:30 To Go: 00:61:00", std::nullopt},
      {"Elapsed: 00:00:30 To Go: 00:01:30 ", std::nullopt},
      {"", std::nullopt},
      {"Posted 38400 of 60642 (63%)", std::nullopt},
  };
  for (const auto& [line, percent] : cases) {
    EXPECT_EQ(runPercentFromEstimate(line), percent) << line;
  }
}

// During a run Alt+S is Stop (Settings is greyed); after it, Alt+Q is Quit.
TEST_F(DlgPostTest, StopAndQuitKeepTheirMnemonics) {
  frame.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
  panel.LockButtons();
  QTest::keyClick(&panel, Qt::Key_S, Qt::AltModifier);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !calls.empty(); }));
  panel.ResetButtons();
  QTest::keyClick(&panel, Qt::Key_Q, Qt::AltModifier);
  ASSERT_TRUE(QTest::qWaitFor([&] { return calls.size() == 2; }));
  EXPECT_EQ(calls, (std::vector<std::string>{"stopOrQuit", "stopOrQuit"}));
}

TEST_F(DlgPostTest, ButtonsForwardTheirCommandsToTheSession) {
  QTest::mouseClick(&button("postButton"), Qt::LeftButton);
  QTest::mouseClick(&button("quitButton"), Qt::LeftButton);
  EXPECT_EQ(calls, (std::vector<std::string>{"post", "stopOrQuit"}));
  QTest::keyClick(&panel, Qt::Key_Escape);  // no command, no close
  EXPECT_EQ(calls.size(), 2U);
  EXPECT_EQ(frame.shown(), &panel);
}

TEST_F(DlgPostTest, SettingsOpensANewSettingsPanelEachTimeAndOkComesBack) {
  QTest::mouseClick(&button("settingsButton"), Qt::LeftButton);
  EXPECT_EQ(calls, (std::vector<std::string>{"settingsCommand"}));
  DlgSet* first = panel.settingsDialog();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(frame.shown(), first);
  EXPECT_EQ(frame.size(), first->size());
  QTest::mouseClick(findWidget<QPushButton>(*first, "cancelButton"), Qt::LeftButton);
  EXPECT_EQ(frame.shown(), &panel);

  QTest::mouseClick(&button("settingsButton"), Qt::LeftButton);
  ASSERT_NE(panel.settingsDialog(), nullptr);
  EXPECT_EQ(frame.shown(), panel.settingsDialog());
  findWidget<QLineEdit>(*panel.settingsDialog(), "fromEdit")->setText("me@example.net");
  QTest::mouseClick(findWidget<QPushButton>(*panel.settingsDialog(), "okButton"), Qt::LeftButton);
  EXPECT_EQ(frame.shown(), &panel);
  EXPECT_EQ(store.read("Newsgroup", "", 100), "alt.test");
  // Coming back does not set the session up again.
  EXPECT_EQ(calls, (std::vector<std::string>{"settingsCommand", "settingsCommand"}));
}

TEST_F(DlgPostTest, ClosingThePanelHidesIt) {
  panel.closePanel();
  EXPECT_FALSE(panel.isVisible());
}

TEST_F(DlgPostTest, TheTipIsPickedByTheLocalSeconds) {
  // A moment whose local seconds are 0, in any time zone of whole minutes.
  const std::int64_t minute = 1'700'000'040;
  ASSERT_EQ(localTimeOf(minute).second, 0);
  const auto tipAt = [&](int second) {
    ManualClock at(minute + second);
    DlgPost shown(DialogServices{frame, store, prompt}, at);
    shown.showTip();
    return findWidget<QLabel>(shown, "tipLabel")->text().toStdString();
  };
  EXPECT_EQ(tipAt(19), tipTable[0]);
  EXPECT_EQ(tipAt(25),
            "Remember, when posting to multiple groups, they must be listed with a comma seperating them and no "
            "spaces at all.  Also remember that news group names are case sensitive.");
  EXPECT_EQ(tipAt(59), tipTable[2]);
  EXPECT_EQ(tipAt(39), "Are you using Tidewell responsibly?");
  EXPECT_EQ(tipForSecond(8), tipForSecond(27));
}

TEST(Tips, TheTableHoldsTheFixedHintsAndOneParagraphEach) {
  EXPECT_EQ(tipTable[8],
            "It is good internet manners to use descriptive and accurate subject lines and to post articles only to "
            "the appropriate groups.");
  EXPECT_EQ(tipTable[10],
            "If Tidewell has trouble resolving your news server's name, contact your ISP Customer Support and ask "
            "them for the IP address of your news server instead.");
  for (std::size_t i = 0; i < kTipCount; ++i) {
    SCOPED_TRACE(i);
    EXPECT_FALSE(tipTable[i].empty());
    EXPECT_LE(tipTable[i].size(), 276U);
    EXPECT_EQ(tipTable[i].find_first_of("\r\n"), std::string_view::npos);
    if (i >= 11) {
      EXPECT_NE(tipTable[i].rfind(" - "), std::string_view::npos);  // a quotation names its source
    }
  }
}

}  // namespace
}  // namespace tidewell
