// The panels as a keyboard user meets them in the real frame: every key goes
// to QApplication::focusWidget(), as typing does, after the frame switched
// panels.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <functional>

#include "app_test_support.h"
#include "dialogs/dlg_group.h"
#include "dialogs/dlg_post.h"
#include "dialogs/dlg_server.h"
#include "dialogs/dlg_set.h"
#include "started_frame.h"
#include "support/qt/find_widget.h"
#include "support/qt/qt_printers.h"

namespace tidewell {
namespace {

using test::AppFixture;
using test::findWidget;
using test::StartedFrame;

constexpr const char* kIni = "[Settings]\r\nFrom=me@example.net\r\n";

// Records every key that reaches a widget that is not shown.
class KeyWitness final : public QObject {
 public:
  KeyWitness() { QCoreApplication::instance()->installEventFilter(this); }
  ~KeyWitness() override { QCoreApplication::instance()->removeEventFilter(this); }
  KeyWitness(const KeyWitness&) = delete;
  KeyWitness& operator=(const KeyWitness&) = delete;

  bool eventFilter(QObject* receiver, QEvent* event) override {
    const auto* widget = qobject_cast<QWidget*>(receiver);
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) && widget != nullptr &&
        !widget->isVisible()) {
      hidden.append(widget->objectName());
    }
    return false;
  }

  QStringList hidden;
};

// The program's frame with its start-up panels, active, driven by keys.
class FrameKeyboard : public ::testing::Test {
 protected:
  FrameKeyboard() : app(false, kIni), started(*app.context) {
    started.frame->activateWindow();
    QApplication::processEvents();
  }
  ~FrameKeyboard() override { EXPECT_EQ(witness.hidden, QStringList()) << "keys reached a hidden panel"; }

  void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* focused = QApplication::focusWidget();
    ASSERT_NE(focused, nullptr);
    QTest::keyClick(focused, static_cast<Qt::Key>(key), modifiers);
    app.context->loop.runUntilIdle();
    QApplication::processEvents();
  }
  void type(const QString& text) {
    press(Qt::Key_A, Qt::ControlModifier);  // select all: the typing replaces the field
    QTest::keyClicks(QApplication::focusWidget(), text);
  }
  // A mnemonic (Alt+letter) presses its button the way a click looks, a
  // moment later: wait for that press, not for a time.
  void pressMnemonic(int key, const std::function<bool()>& pressed) {
    press(key, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor(pressed));
    app.context->loop.runUntilIdle();
  }
  // Tab until the control named `name` has the focus.
  void tabTo(const char* name) {
    for (int i = 0; i < 40 && focusName() != name; ++i) {
      press(Qt::Key_Tab);
    }
    ASSERT_EQ(focusName(), name);
  }
  // The object name of the focused control, after checking that it belongs
  // to the panel shown.
  QString focusName() const {
    QWidget* focused = QApplication::focusWidget();
    if (focused == nullptr) {
      return QStringLiteral("<none>");
    }
    EXPECT_TRUE(frame().currentPanel()->isAncestorOf(focused)) << focused->objectName().toStdString();
    return focused->objectName();
  }

  [[nodiscard]] TMyFrameWindow& frame() const { return *started.frame; }
  [[nodiscard]] DlgPost& posting() const { return *static_cast<DlgPost*>(frame().postingPanel()); }
  [[nodiscard]] std::string setting(const char* key) const { return app.context->settings.read(key, "-", 1000); }

  // About, Enter on Continue, then Alt+S: the settings panel.
  void openSettingsByKeyboard() {
    ASSERT_EQ(frame().currentPanel(), frame().aboutPanel());
    EXPECT_EQ(focusName(), "continueButton");
    press(Qt::Key_Return);
    ASSERT_EQ(frame().currentPanel(), &posting());
    EXPECT_EQ(focusName(), "postButton");
    pressMnemonic(Qt::Key_S, [this] { return posting().settingsDialog() != nullptr; });
    ASSERT_NE(posting().settingsDialog(), nullptr);
    ASSERT_EQ(frame().currentPanel(), posting().settingsDialog());
    EXPECT_EQ(focusName(), "hostEdit");
  }

  KeyWitness witness;
  AppFixture app;
  StartedFrame started;
};

TEST_F(FrameKeyboard, ContinueThenAltSThenTypingAndEnterSaves) {
  openSettingsByKeyboard();
  type(QStringLiteral("news.example.net"));
  press(Qt::Key_Return);
  EXPECT_EQ(frame().currentPanel(), &posting());
  EXPECT_EQ(focusName(), "postButton");
  EXPECT_EQ(setting("Host"), "news.example.net");
}

TEST_F(FrameKeyboard, TabOnceRoundInTheTabOrderThenEnterSaves) {
  openSettingsByKeyboard();
  type(QStringLiteral("news.example.net"));
  QStringList order;
  do {
    order.append(focusName());
    press(Qt::Key_Tab);
  } while (focusName() != "hostEdit" && order.size() < 40);
  EXPECT_EQ(order,
            QStringList({"hostEdit",         "usernameEdit",   "passwordEdit",  "fromEdit",        "replyToEdit",
                         "organizationEdit", "subjectEdit",    "directoryEdit", "directoryButton", "newsgroupsEdit",
                         "groupsButton",     "partSizeEdit",   "bodyEdit",      "useBbsCheck",     "editBbsButton",
                         "appendSizeCheck",  "showCountCheck", "fileNameCheck", "serverButton",    "cancelButton",
                         "okButton"}));
  press(Qt::Key_Return);
  EXPECT_EQ(frame().currentPanel(), &posting());
  EXPECT_EQ(setting("Host"), "news.example.net");
}

TEST_F(FrameKeyboard, EnterInTheTextMessageStartsANewLineAndSavesNothing) {
  openSettingsByKeyboard();
  tabTo("bodyEdit");
  press(Qt::Key_Return);
  EXPECT_EQ(frame().currentPanel(), posting().settingsDialog());
  EXPECT_EQ(setting("Host"), "-");
}

TEST_F(FrameKeyboard, EscapeAfterAMouseSwitchCancelsAndLeavesTheFileUntouched) {
  started.click(frame().aboutPanel(), "continueButton");
  started.click(&posting(), "settingsButton");
  ASSERT_EQ(frame().currentPanel(), posting().settingsDialog());
  const std::string before = app.dir.read("Tidewell.INI");
  type(QStringLiteral("news.example.net"));
  press(Qt::Key_Escape);
  EXPECT_EQ(frame().currentPanel(), &posting());
  EXPECT_EQ(app.dir.read("Tidewell.INI"), before);
}

TEST_F(FrameKeyboard, EnterInGroupSelectionCommitsAndASecondEnterInSettingsSaves) {
  app.dir.write("groups.dat", "alt.binaries.test 0000000010 0000000001 y\n");
  openSettingsByKeyboard();
  tabTo("groupsButton");
  press(Qt::Key_Space);
  ASSERT_EQ(frame().currentPanel(), posting().settingsDialog()->groupDialog());
  EXPECT_EQ(focusName(), "postList");
  tabTo("availableList");
  press(Qt::Key_Down);  // alt.test, then back to alt.binaries.test
  press(Qt::Key_Up);
  const QListWidget& chosen = *findWidget<QListWidget>(*frame().currentPanel(), "postList");
  pressMnemonic(Qt::Key_A, [&] { return chosen.count() == 2; });  // Add To Post List
  press(Qt::Key_Return);
  ASSERT_EQ(frame().currentPanel(), posting().settingsDialog());
  EXPECT_EQ(posting().settingsDialog()->newsgroupsField().text(), "alt.binaries.test,alt.test");
  EXPECT_EQ(focusName(), "hostEdit");
  EXPECT_EQ(setting("Newsgroup"), "-");  // the group panel never writes the file
  press(Qt::Key_Return);
  EXPECT_EQ(frame().currentPanel(), &posting());
  EXPECT_EQ(setting("Newsgroup"), "alt.binaries.test,alt.test");
}

// "Server && Speed..." by Tab and Space; Ctrl+Tab and Ctrl+Page Down turn its
// pages; Enter in its combo box is Ok, which writes at once; Escape leaves the keys as they were. The hidden settings
// panel's mnemonics never fire meanwhile.
TEST_F(FrameKeyboard, ServerAndSpeedOpensByKeyboardEnterSavesEscapeLeaves) {
  openSettingsByKeyboard();
  tabTo("serverButton");
  press(Qt::Key_Space);
  ASSERT_NE(posting().settingsDialog()->serverDialog(), nullptr);
  ASSERT_EQ(frame().currentPanel(), posting().settingsDialog()->serverDialog());
  EXPECT_EQ(focusName(), "portEdit");
  type(QStringLiteral("8119"));
  press(Qt::Key_Tab, Qt::ControlModifier);       // the Security page
  EXPECT_EQ(focusName(), "encryptionCombo");     // the certificate checks are greyed without encryption
  press(Qt::Key_PageDown, Qt::ControlModifier);  // the Speed page, from the combo box too
  tabTo("fastPostingCheck");
  press(Qt::Key_H, Qt::AltModifier);  // Host of the hidden settings panel
  EXPECT_EQ(focusName(), "fastPostingCheck");
  tabTo("encodingCombo");
  press(Qt::Key_Down);  // uuencode -> yEnc
  press(Qt::Key_Return);
  ASSERT_EQ(frame().currentPanel(), posting().settingsDialog());
  EXPECT_EQ(focusName(), "hostEdit");
  EXPECT_EQ(setting("Port"), "8119");
  EXPECT_EQ(setting("Encoding"), "yEnc");

  tabTo("serverButton");
  press(Qt::Key_Space);
  ASSERT_EQ(frame().currentPanel(), posting().settingsDialog()->serverDialog());
  type(QStringLiteral("119"));
  tabTo("nzbCheck");
  press(Qt::Key_Space);
  press(Qt::Key_Escape);
  ASSERT_EQ(frame().currentPanel(), posting().settingsDialog());
  EXPECT_EQ(focusName(), "hostEdit");
  press(Qt::Key_Escape);  // the settings panel's Cancel keeps what the server panel wrote
  EXPECT_EQ(frame().currentPanel(), &posting());
  EXPECT_EQ(setting("Port"), "8119");
  EXPECT_EQ(setting("NZB"), "FALSE");  // as the first Ok wrote it
}

TEST_F(FrameKeyboard, EnterAndEscapeOnThePostingPanelNeverStartOrEndAnything) {
  press(Qt::Key_Return);
  ASSERT_EQ(frame().currentPanel(), &posting());
  for (const char* button : {"postButton", "settingsButton", "quitButton"}) {
    tabTo(button);
    press(Qt::Key_Return);
    press(Qt::Key_Enter, Qt::KeypadModifier);
    press(Qt::Key_Escape);
    EXPECT_EQ(frame().currentPanel(), &posting()) << button;
    EXPECT_EQ(started.closed->count(), 0) << button;
    EXPECT_EQ(posting().findChild<QPushButton*>(QStringLiteral("quitButton"))->text(), "&Quit") << button;
  }
}

}  // namespace
}  // namespace tidewell
