#include "app/tidewell_app.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <stdexcept>
#include <thread>

#include "app/frame_window.h"
#include "app_test_support.h"
#include "dialogs/qt_prompt.h"
#include "support/scripted_prompt.h"
#include "support/temp_dir.h"

namespace tidewell {
namespace {

using test::application;
using test::applicationContext;

// The scripted prompt stands in for the Qt message boxes while a test runs.
class ScriptedPromptScope {
 public:
  ScriptedPromptScope() {
    auto scripted = std::make_unique<ScriptedPrompt>();
    prompt = scripted.get();
    applicationContext().prompt.setTarget(std::move(scripted));
  }
  ~ScriptedPromptScope() { applicationContext().prompt.setTarget(std::make_unique<QtPrompt>()); }
  ScriptedPromptScope(const ScriptedPromptScope&) = delete;
  ScriptedPromptScope& operator=(const ScriptedPromptScope&) = delete;

  ScriptedPrompt* prompt;
};

TEST(TidewellApp, RunsUntilTheShownPanelQuitsAndReturnsZero) {
  test::TempDir dir;
  const test::ScopedChdir inside(dir.path());
  QTimer::singleShot(0, [] { application().frame()->close(); });
  EXPECT_EQ(application().run(), 0);
  EXPECT_FALSE(application().frame()->isVisible());
}

TEST(TidewellApp, AnExceptionInTheLoopEndsTheRunWithItsMessage) {
  test::TempDir dir;
  const test::ScopedChdir inside(dir.path());
  const ScriptedPromptScope scripted;
  QTimer::singleShot(0, [] { throw std::runtime_error("out of handles"); });
  EXPECT_EQ(application().run(), -1);
  ASSERT_EQ(scripted.prompt->asked.size(), 1u);
  EXPECT_EQ(scripted.prompt->asked[0].text, "out of handles");
  EXPECT_EQ(scripted.prompt->asked[0].caption, "Exception");
}

TEST(TidewellApp, MessageLoopWorkIsDispatchedByQtsLoop) {
  MessageLoop& loop = applicationContext().loop;
  int delivered = 0;
  TargetHandle target = kNoTarget;
  // Each message posts the next: what stays queued after one dispatch must
  // wake Qt's loop again.
  target = loop.createTarget([&](const Message& message) {
    ++delivered;
    if (message.id < 50) {
      loop.post(target, message.id + 1);
    }
  });
  loop.post(target, 1);
  bool fromThread = false;
  std::thread worker([&] { loop.postTask([&] { fromThread = true; }); });
  worker.join();
  // Qt's loop alone does the dispatching; if the notifier did not wake for
  // what stays queued, the chain would stall here.
  QElapsedTimer waited;
  waited.start();
  while ((delivered < 50 || !fromThread) && waited.elapsed() < 5000) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
  }
  EXPECT_EQ(delivered, 50);
  EXPECT_TRUE(fromThread);
  loop.destroyTarget(target);
}

}  // namespace
}  // namespace tidewell
