#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "app/app_context.h"
#include "app/frame_window.h"
#include "app/startup_panels.h"

namespace tidewell::test {

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

}  // namespace tidewell::test
