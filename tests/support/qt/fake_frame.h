#pragma once

#include <QPointer>
#include <QWidget>
#include <vector>

#include "dialogs/panel_host.h"

namespace tidewell::test {

// A frame for panel tests: shows one panel at a time as its child, sized to
// the panel, and records every switch.
class FakeFrame final : public QWidget, public PanelHost {
 public:
  FakeFrame() = default;
  ~FakeFrame() override {
    // The panels belong to their owners, not to the frame.
    for (QObject* child : children()) {
      if (auto* widget = qobject_cast<QWidget*>(child)) {
        widget->setParent(nullptr);
      }
    }
  }
  FakeFrame(const FakeFrame&) = delete;
  FakeFrame& operator=(const FakeFrame&) = delete;

  void switchPanel(QWidget* panel) override {
    if (shown_ != nullptr) {
      shown_->hide();
    }
    panel->setParent(this);
    panel->move(0, 0);
    panel->show();
    resize(panel->size());
    focusFirstControl(*panel);
    shown_ = panel;
    switches.push_back(panel);
  }
  [[nodiscard]] QWidget* postingPanel() const override { return posting; }
  [[nodiscard]] QWidget* shown() const { return shown_.data(); }

  QWidget* posting = nullptr;
  std::vector<QWidget*> switches;

 private:
  QPointer<QWidget> shown_;
};

}  // namespace tidewell::test
