#include "app/frame_window.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "app/startup_panels.h"
#include "app_test_support.h"
#include "platform/file_system.h"
#include "upload/spool_files.h"

namespace tidewell {
namespace {

using test::AppFixture;

// A frame with the start-up panels, started as the program starts it.
struct StartedFrame {
  explicit StartedFrame(AppContext& context) : frame(std::make_unique<TMyFrameWindow>(context)) {
    StartupPanels panels = createStartupPanels(context, *frame);
    frame->setPanels(std::move(panels.about), std::move(panels.posting));
    closed = std::make_unique<QSignalSpy>(frame.get(), &TMyFrameWindow::closed);
    frame->start();
  }

  void click(QWidget* panel, const char* button) const {
    auto* target = panel->findChild<QPushButton*>(QString::fromUtf8(button));
    ASSERT_NE(target, nullptr) << button;
    QTest::mouseClick(target, Qt::LeftButton);
    QCoreApplication::processEvents();
  }

  std::unique_ptr<TMyFrameWindow> frame;
  std::unique_ptr<QSignalSpy> closed;
};

TEST(FrameWindow, HasTheProgramsTitleIconAndAFixedSizeWithoutMaximiseBox) {
  AppFixture app;
  StartedFrame started(*app.context);
  TMyFrameWindow& frame = *started.frame;
  EXPECT_EQ(frame.windowTitle(), QStringLiteral("Tidewell - Automating News Posting"));
  EXPECT_FALSE(frame.windowIcon().isNull());
  EXPECT_FALSE(QIcon(QStringLiteral(":/ICON_1")).isNull());
  const Qt::WindowFlags flags = frame.windowFlags();
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_EQ(frame.minimumSize(), frame.maximumSize());
  EXPECT_EQ(frame.size(), frame.aboutPanel()->size());
}

TEST(FrameWindow, ShowsTheAboutPanelFirstAndContinueSwitchesToPostingAndResizes) {
  AppFixture app;
  StartedFrame started(*app.context);
  TMyFrameWindow& frame = *started.frame;
  ASSERT_EQ(frame.currentPanel(), frame.aboutPanel());
  EXPECT_TRUE(frame.aboutPanel()->isVisible());
  EXPECT_FALSE(frame.postingPanel()->isVisible());
  EXPECT_FALSE(frame.aboutPanel()->isWindow());

  started.click(frame.aboutPanel(), "continueButton");
  EXPECT_EQ(frame.currentPanel(), frame.postingPanel());
  EXPECT_TRUE(frame.postingPanel()->isVisible());
  EXPECT_FALSE(frame.postingPanel()->isWindow());
  EXPECT_FALSE(frame.aboutPanel()->isVisible());
  EXPECT_EQ(frame.size(), frame.postingPanel()->size());
  EXPECT_EQ(frame.minimumSize(), frame.maximumSize());
  QCoreApplication::processEvents();
  EXPECT_EQ(started.closed->count(), 0);
  EXPECT_TRUE(frame.isVisible());
}

TEST(FrameWindow, PostAtStartShowsThePostingPanelFirst) {
  AppFixture app(true);
  StartedFrame started(*app.context);
  EXPECT_EQ(started.frame->currentPanel(), started.frame->postingPanel());
  EXPECT_FALSE(started.frame->aboutPanel()->isVisible());
}

TEST(FrameWindow, ClosingTheShownPanelClosesTheFrame) {
  AppFixture app(true);
  StartedFrame started(*app.context);
  started.click(started.frame->postingPanel(), "quitButton");  // Quit while idle
  // The session carries the quit out from the program's message loop.
  app.context->loop.runUntilIdle();
  QCoreApplication::processEvents();
  EXPECT_EQ(started.closed->count(), 1);
  EXPECT_FALSE(started.frame->isVisible());
}

TEST(FrameWindow, ClosingAPanelThatIsNotShownLeavesTheFrameOpen) {
  AppFixture app;
  StartedFrame started(*app.context);
  started.frame->postingPanel()->close();
  QCoreApplication::processEvents();
  EXPECT_EQ(started.closed->count(), 0);
  EXPECT_TRUE(started.frame->isVisible());
}

TEST(FrameWindow, DestroyingTheShownPanelClosesTheFrame) {
  AppFixture app;
  StartedFrame started(*app.context);
  auto settings = std::make_unique<QWidget>();
  started.frame->switchPanel(settings.get());
  EXPECT_EQ(started.frame->currentPanel(), settings.get());
  settings.reset();
  QCoreApplication::processEvents();
  EXPECT_EQ(started.closed->count(), 1);
  EXPECT_EQ(started.frame->currentPanel(), nullptr);
}

TEST(FrameWindow, ClosingTheFrameFromAnyPanelEndsTheProgram) {
  for (const bool postAtStart : {false, true}) {
    AppFixture app(postAtStart);
    StartedFrame started(*app.context);
    started.frame->close();
    EXPECT_EQ(started.closed->count(), 1) << postAtStart;
  }
}

// Qt's offscreen platform shifts a shown window by its simulated border after
// each move, so these tests compare with what the platform reports; the exact
// round trip holds on a real X server.
TEST(FrameWindow, RestoresTheSavedPositionNegativeValuesIncluded) {
  AppFixture app(false, "[Settings]\nX=-50\nY=  -30junk\n");
  StartedFrame started(*app.context);
  EXPECT_EQ(started.frame->pos(), QPoint(-50, -30));
  EXPECT_EQ(started.frame->left(), -50);
  EXPECT_EQ(started.frame->top(), -30);
}

TEST(FrameWindow, MissingOrBadPositionReadsAsZero) {
  AppFixture app(false, "[Settings]\nX=left\n");
  StartedFrame started(*app.context);
  EXPECT_EQ(started.frame->pos(), QPoint(0, 0));
}

TEST(FrameWindow, SavesTheLastPositionWithItsSignWhenItGoes) {
  AppFixture app(false, "[Settings]\r\nHost=news.example\r\n");
  StartedFrame started(*app.context);
  started.frame->move(-70, -80);
  QCoreApplication::processEvents();
  const QPoint where = started.frame->pos();
  ASSERT_LT(where.x(), 0);
  EXPECT_EQ(started.frame->left(), where.x());
  EXPECT_EQ(started.frame->top(), where.y());
  started.frame.reset();
  EXPECT_EQ(app.dir.read("Tidewell.INI"), "[Settings]\r\nHost=news.example\r\nX=" + std::to_string(where.x()) +
                                              "\r\nY=" + std::to_string(where.y()) + "\r\n");
}

TEST(FrameWindow, AMinimisedFrameKeepsItsLastNormalPosition) {
  AppFixture app;
  StartedFrame started(*app.context);
  started.frame->move(40, 50);
  QCoreApplication::processEvents();
  const QPoint normal = started.frame->pos();
  started.frame->showMinimized();
  started.frame->move(900, 900);
  QCoreApplication::processEvents();
  EXPECT_EQ(QPoint(started.frame->left(), started.frame->top()), normal);
}

TEST(FrameWindow, SpoolFilesAreDeletedWhenTheFrameIsMadeAndAgainWhenItGoes) {
  AppFixture app;
  app.dir.write(std::string(kEncodedFileName), "old encoded lines");
  app.dir.write(std::string(kArticleFileName), "old article");
  auto frame = std::make_unique<TMyFrameWindow>(*app.context);
  EXPECT_FALSE(fileExists(app.dir.file(kEncodedFileName)));
  EXPECT_FALSE(fileExists(app.dir.file(kArticleFileName)));
  app.dir.write(std::string(kEncodedFileName), "written during the run");
  app.dir.write(std::string(kArticleFileName), "written during the run");
  frame.reset();
  EXPECT_FALSE(fileExists(app.dir.file(kEncodedFileName)));
  EXPECT_FALSE(fileExists(app.dir.file(kArticleFileName)));
}

}  // namespace
}  // namespace tidewell
