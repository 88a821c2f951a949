#pragma once

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

namespace tidewell {

// Stand-in for the posting panel until the posting session is wired to
// DlgPost: a Quit button, so the frame's switching and program end work.
class PlaceholderPostingPanel final : public QWidget {
  Q_OBJECT

 public:
  PlaceholderPostingPanel();

 private:
  QVBoxLayout layout_;
  QLabel text_;
  QPushButton quit_;
};

}  // namespace tidewell
