#include "app/placeholder_panels.h"

namespace tidewell {

PlaceholderPostingPanel::PlaceholderPostingPanel()
    : layout_(this),
      text_(QStringLiteral("The posting panel is not built yet."), this),
      quit_(QStringLiteral("&Quit"), this) {
  setObjectName(QStringLiteral("postingPanel"));
  quit_.setObjectName(QStringLiteral("quitButton"));
  text_.setAlignment(Qt::AlignCenter);
  layout_.addWidget(&text_);
  layout_.addWidget(&quit_);
  setFixedSize(540, 360);
  connect(&quit_, &QPushButton::clicked, this, &QWidget::close);
}

}  // namespace tidewell
