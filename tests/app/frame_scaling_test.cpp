// The frame as a user of a small or scaled screen meets it, driven by keys.
// ctest runs these tests three times: on the offscreen platform's own
// screen, on 1024x768 at scale 1 and on 1366x768 at QT_SCALE_FACTOR=1.5
// (TIDEWELL_TEST_SCREEN, qt_environment_test.cpp).
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QScreen>
#include <QScrollArea>
#include <QTabWidget>
#include <QTest>
#include <QUrl>
#include <functional>

#include "app_test_support.h"
#include "dialogs/activity_light.h"
#include "dialogs/dlg_group.h"
#include "dialogs/dlg_post.h"
#include "dialogs/dlg_server.h"
#include "dialogs/dlg_set.h"
#include "dialogs/panel_host.h"
#include "started_frame.h"
#include "support/qt/find_widget.h"
#include "support/qt/qt_printers.h"

namespace tidewell {
namespace {

using test::AppFixture;
using test::findWidget;
using test::StartedFrame;

class FrameScaling : public ::testing::Test {
 protected:
  FrameScaling() : app(false, "[Settings]\r\nFrom=me@example.net\r\n"), started(*app.context) {
    app.dir.write("groups.dat", "alt.binaries.test 1 2 y\nalt.test 3 4 y\ncomp.lang.c 5 6 y\n");
    frame().activateWindow();
    QApplication::processEvents();
  }

  void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* focused = QApplication::focusWidget();
    ASSERT_NE(focused, nullptr);
    QTest::keyClick(focused, static_cast<Qt::Key>(key), modifiers);
    app.context->loop.runUntilIdle();
    QApplication::processEvents();
  }
  // A mnemonic presses its button a moment later: wait for the press.
  void pressMnemonic(int key, const std::function<bool()>& pressed) {
    press(key, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor(pressed)) << "Alt+" << QKeySequence(key).toString().toStdString();
  }
  [[nodiscard]] QString focusName() const {
    return QApplication::focusWidget() == nullptr ? QString() : QApplication::focusWidget()->objectName();
  }

  // The frame lies inside the screen's free area, and every button of the
  // panel shown can be reached: with the focus on it, it lies inside the
  // visible part of the frame.
  void expectEveryButtonOnScreen(const char* panel) {
    SCOPED_TRACE(panel);
    const QRect free = frame().screen()->availableGeometry();
    EXPECT_TRUE(free.contains(frame().frameGeometry()))
        << frame().frameGeometry().width() << "x" << frame().frameGeometry().height() << " on " << free.width() << "x"
        << free.height();
    QWidget* viewport = findWidget<QScrollArea>(frame(), "panelScroll")->viewport();
    for (QAbstractButton* button : frame().currentPanel()->findChildren<QAbstractButton*>()) {
      if (!button->isVisible() || !button->isEnabled() || button->focusPolicy() == Qt::NoFocus) {
        continue;
      }
      button->setFocus(Qt::TabFocusReason);
      QApplication::processEvents();
      const QRect shown(button->mapTo(viewport, QPoint(0, 0)), button->size());
      EXPECT_TRUE(viewport->rect().contains(shown)) << button->objectName().toStdString();
      EXPECT_TRUE(free.contains(QRect(button->mapToGlobal(QPoint(0, 0)), button->size())))
          << button->objectName().toStdString();
    }
  }

  [[nodiscard]] TMyFrameWindow& frame() const { return *started.frame; }
  [[nodiscard]] DlgPost& posting() const { return *static_cast<DlgPost*>(frame().postingPanel()); }
  [[nodiscard]] DlgSet& settings() const { return *posting().settingsDialog(); }

  AppFixture app;
  StartedFrame started;
};

TEST_F(FrameScaling, EveryPanelFitsTheScreenAndItsButtonsAreReachedByKeys) {
  expectEveryButtonOnScreen("about");
  press(Qt::Key_Return);
  ASSERT_EQ(frame().currentPanel(), &posting());
  expectEveryButtonOnScreen("posting");
  pressMnemonic(Qt::Key_S, [this] { return posting().settingsDialog() != nullptr; });
  ASSERT_EQ(frame().currentPanel(), &settings());
  expectEveryButtonOnScreen("settings");

  settings().findChild<QAbstractButton*>(QStringLiteral("groupsButton"))->setFocus();
  press(Qt::Key_Space);
  ASSERT_EQ(frame().currentPanel(), settings().groupDialog());
  expectEveryButtonOnScreen("groups");
  press(Qt::Key_Escape);

  settings().findChild<QAbstractButton*>(QStringLiteral("serverButton"))->setFocus();
  press(Qt::Key_Space);
  ASSERT_EQ(frame().currentPanel(), settings().serverDialog());
  auto& tabs = *findWidget<QTabWidget>(*settings().serverDialog(), "serverTabs");
  EXPECT_EQ(focusName(), "portEdit");
  for (int page = 0; page < tabs.count(); ++page) {
    ASSERT_EQ(tabs.currentIndex(), page);
    expectEveryButtonOnScreen(tabs.tabText(page).toUtf8().constData());
    focusFirstControl(*tabs.currentWidget());
    press(Qt::Key_Tab, Qt::ControlModifier);  // the next page
  }
  press(Qt::Key_Escape);
  EXPECT_EQ(frame().currentPanel(), &settings());
}

// Alt+O is Ok on the settings panel (Organization has Alt+G); Quit and Stop
// are in dlg_post_test.cpp.
TEST_F(FrameScaling, AltOIsOkAndAltGOrganization) {
  press(Qt::Key_Return);
  pressMnemonic(Qt::Key_S, [this] { return posting().settingsDialog() != nullptr; });
  press(Qt::Key_G, Qt::AltModifier);
  EXPECT_EQ(focusName(), "organizationEdit");
  QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("Harbour"));
  pressMnemonic(Qt::Key_O, [this] { return frame().currentPanel() == &posting(); });
  EXPECT_EQ(app.context->settings.read("Organization", "-", 100), "Harbour");
}

// The filter box narrows the available groups; Enter goes to the list and
// Alt+A adds the one selected there.
TEST_F(FrameScaling, TheGroupFilterNarrowsTheAvailableList) {
  press(Qt::Key_Return);
  pressMnemonic(Qt::Key_S, [this] { return posting().settingsDialog() != nullptr; });
  settings().findChild<QAbstractButton*>(QStringLiteral("groupsButton"))->setFocus();
  press(Qt::Key_Space);
  DlgGroup& groups = *settings().groupDialog();
  const auto& available = *findWidget<QListWidget>(groups, "availableList");
  const auto shownGroups = [&] {
    QStringList names;
    for (int row = 0; row < available.count(); ++row) {
      names.append(available.item(row)->text());
    }
    return names;
  };
  press(Qt::Key_F, Qt::AltModifier);
  EXPECT_EQ(focusName(), "filterEdit");
  QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("LANG"));
  EXPECT_EQ(shownGroups(), QStringList({"comp.lang.c"}));
  press(Qt::Key_Return);
  EXPECT_EQ(frame().currentPanel(), &groups);  // Enter in the filter box is not Ok
  EXPECT_EQ(focusName(), "availableList");
  const auto& chosen = *findWidget<QListWidget>(groups, "postList");
  pressMnemonic(Qt::Key_A, [&] { return chosen.count() == 2; });
  EXPECT_EQ(chosen.item(1)->text(), "comp.lang.c");
  findWidget<QLineEdit>(groups, "filterEdit")->clear();
  EXPECT_EQ(shownGroups().size(), 4);  // alt.test of the Newsgroups field too
}

// A folder dropped on the window becomes the upload directory: written at
// once on the idle posting panel, into the field on the settings panel;
// files and several items are refused.
TEST_F(FrameScaling, AFolderDroppedOnTheWindowBecomesTheDirectory) {
  const auto drop = [this](const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    const QPointF middle = QRectF(frame().rect()).center();
    QDragEnterEvent enter(middle.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&frame(), &enter);
    QDropEvent dropped(middle, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&frame(), &dropped);
    return enter.isAccepted() && dropped.isAccepted();
  };
  const QString folder = QString::fromStdString(app.dir.path());
  const std::string file = app.dir.write("notes.txt", "x");
  press(Qt::Key_Return);
  EXPECT_FALSE(drop({QUrl::fromLocalFile(QString::fromStdString(file))}));
  EXPECT_FALSE(drop({QUrl::fromLocalFile(folder), QUrl::fromLocalFile(folder)}));
  EXPECT_FALSE(drop({QUrl(QStringLiteral("https://example.org/uploads/"))}));
  EXPECT_EQ(app.context->settings.read("Directory", "-", 1000), "-");
  EXPECT_TRUE(drop({QUrl::fromLocalFile(folder + QStringLiteral("/"))}));
  EXPECT_EQ(app.context->settings.read("Directory", "-", 1000), app.dir.path());

  posting().LockButtons();  // a run is on: the directory stays
  EXPECT_FALSE(drop({QUrl::fromLocalFile(QDir::tempPath())}));
  posting().ResetButtons();

  pressMnemonic(Qt::Key_S, [this] { return posting().settingsDialog() != nullptr; });
  EXPECT_TRUE(drop({QUrl::fromLocalFile(QDir::tempPath())}));
  EXPECT_EQ(findWidget<QLineEdit>(settings(), "directoryEdit")->text(), QDir::tempPath());
  EXPECT_EQ(app.context->settings.read("Directory", "-", 1000), app.dir.path());  // until Ok
}

// During a run the title leads with the run's share; the lights are drawn
// lamps, green when lit.
TEST_F(FrameScaling, TitlePercentageAndLitLamps) {
  press(Qt::Key_Return);
  const QString title = frame().windowTitle();
  posting().setRunEndNotice([](const QString&, const QString&) {});
  posting().LockButtons();
  posting().ShowEstimate("Elapsed: 00:01:00 To Go: 00:03:00");
  EXPECT_EQ(frame().windowTitle(), QStringLiteral("25% - ") + title);
  posting().ResetButtons();
  EXPECT_EQ(frame().windowTitle(), title);

  auto& light = *findWidget<ActivityLight>(posting(), "outboundLight");
  const auto middle = [&] {
    const QImage image = light.grab().toImage();
    return image.pixelColor(image.width() / 2, image.height() / 2);
  };
  const QColor dark = middle();
  posting().OutboundLight();
  const QColor lit = middle();
  EXPECT_GT(lit.green(), lit.red() + 60);
  EXPECT_LT(dark.green(), dark.red() + 30);
  EXPECT_GE(light.height(), light.fontMetrics().height() / 2);
}

}  // namespace
}  // namespace tidewell
