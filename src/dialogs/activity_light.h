#pragma once

#include <QColor>
#include <QWidget>

namespace tidewell {

// One activity light of the posting panel: a small round lamp, lit or dark,
// drawn by the widget itself so it does not look like a choice the user
// could make. It takes no focus and lets mouse clicks pass through; only
// the program switches it.
class ActivityLight final : public QWidget {
  Q_OBJECT

 public:
  explicit ActivityLight(QWidget* parent = nullptr);

  void setLit(bool lit);
  [[nodiscard]] bool isLit() const { return lit_; }

  [[nodiscard]] QSize sizeHint() const override;
  [[nodiscard]] QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  bool lit_ = false;
};

}  // namespace tidewell
