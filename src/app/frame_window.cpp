#include "app/frame_window.h"

#include <QCloseEvent>
#include <QIcon>
#include <QMoveEvent>
#include <string>

#include "app/app_context.h"
#include "settings/settings_store.h"
#include "upload/spool_files.h"

namespace tidewell {

TMyFrameWindow::TMyFrameWindow(AppContext& context)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      context_(context),
      layout_(this) {
  deleteSpoolFiles();
  setWindowTitle(QString::fromUtf8(kAppTitle));
  setWindowIcon(QIcon(QStringLiteral(":/ICON_1")));
  setObjectName(QStringLiteral("frame"));
  layout_.setContentsMargins(0, 0, 0, 0);
  layout_.setSpacing(0);
  // The frame always has exactly its panel's size, and the user cannot
  // change it.
  layout_.setSizeConstraint(QLayout::SetFixedSize);
}

TMyFrameWindow::~TMyFrameWindow() {
  tearingDown_ = true;
  deleteSpoolFiles();
  savePosition();
  for (QWidget* panel : {about_.get(), posting_.get()}) {
    if (panel != nullptr) {
      panel->removeEventFilter(this);
    }
  }
}

void TMyFrameWindow::setPanels(std::unique_ptr<QWidget> about, std::unique_ptr<QWidget> posting) {
  about_ = std::move(about);
  posting_ = std::move(posting);
}

void TMyFrameWindow::start() {
  restorePosition();
  QWidget* first = context_.postAtStart ? posting_.get() : about_.get();
  if (first != nullptr) {
    switchPanel(first);
  }
  show();
}

void TMyFrameWindow::restorePosition() {
  left_ = context_.settings.number(Setting::X);
  top_ = context_.settings.number(Setting::Y);
  // Used as stored, even off the visible screen.
  move(left_, top_);
}

QPoint TMyFrameWindow::normalPosition() const {
  if (isMinimized() || isMaximized()) {
    return {left_, top_};
  }
  return pos();
}

void TMyFrameWindow::savePosition() {
  const QPoint where = normalPosition();
  context_.settings.write(Setting::X, std::to_string(where.x()));
  context_.settings.write(Setting::Y, std::to_string(where.y()));
}

void TMyFrameWindow::switchPanel(QWidget* panel) {
  if (panel == nullptr) {
    return;
  }
  switching_ = true;
  if (current_ != nullptr && current_ != panel) {
    current_->hide();
    layout_.removeWidget(current_);
  }
  if (panel->parentWidget() != this || panel->isWindow()) {
    // A panel taken into the frame loses its own caption and frame.
    panel->setParent(this, Qt::Widget);
  }
  if (current_ != panel) {
    layout_.addWidget(panel);
    panel->installEventFilter(this);
    connect(panel, &QObject::destroyed, this, &TMyFrameWindow::panelDestroyed, Qt::UniqueConnection);
  }
  current_ = panel;
  panel->show();
  layout_.activate();
  switching_ = false;
}

void TMyFrameWindow::moveEvent(QMoveEvent* event) {
  if (!isMinimized() && !isMaximized()) {
    left_ = x();
    top_ = y();
  }
  QWidget::moveEvent(event);
}

void TMyFrameWindow::closeEvent(QCloseEvent* event) {
  event->accept();
  emit closed();
}

bool TMyFrameWindow::eventFilter(QObject* watched, QEvent* event) {
  // A panel that hides itself while shown (its Quit, or a dialog's done())
  // has closed: the frame follows. Hiding because the frame is minimised or
  // closed is not the panel's own doing and does not count.
  if (event->type() == QEvent::Hide && watched == current_ && !switching_ && !tearingDown_ && current_->isHidden()) {
    requestClose();
  }
  return QWidget::eventFilter(watched, event);
}

void TMyFrameWindow::panelDestroyed(QObject* panel) {
  if (panel == current_) {
    current_ = nullptr;
    if (!tearingDown_) {
      requestClose();
    }
  }
}

void TMyFrameWindow::requestClose() {
  QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

}  // namespace tidewell
