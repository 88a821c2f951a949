#include "app/frame_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QIcon>
#include <QMimeData>
#include <QMoveEvent>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <string>

#include "app/app_context.h"
#include "dialogs/dlg_post.h"
#include "dialogs/dlg_set.h"
#include "dialogs/folder_drop.h"
#include "settings/settings_store.h"
#include "upload/spool_files.h"

namespace tidewell {

namespace {
// The size a panel's form gives it, kept on the panel at its first showing.
constexpr const char* kPreferredSize = "tidewellPreferredSize";
}  // namespace

TMyFrameWindow::TMyFrameWindow(AppContext& context)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      context_(context),
      frameLayout_(this),
      layout_(&content_) {
  deleteSpoolFiles();
  setWindowTitle(QString::fromUtf8(kAppTitle));
  setWindowIcon(QIcon(QStringLiteral(":/ICON_1")));
  setObjectName(QStringLiteral("frame"));
  frameLayout_.setContentsMargins(0, 0, 0, 0);
  frameLayout_.addWidget(&scroll_);
  layout_.setContentsMargins(0, 0, 0, 0);
  layout_.setSpacing(0);
  // The panel fills the frame; the scroll bars appear only when the screen
  // is too small for the panel's smallest arrangement.
  scroll_.setObjectName(QStringLiteral("panelScroll"));
  scroll_.setFrameShape(QFrame::NoFrame);
  // The frame sizes the panel itself (fitToPanel): the scroll area's own
  // resizing would give a panel with word-wrapped labels its preferred
  // height instead of the frame's.
  scroll_.setWidgetResizable(false);
  scroll_.setFocusPolicy(Qt::NoFocus);
  scroll_.setWidget(&content_);
  // A control reached by Tab or a mnemonic is scrolled into view.
  connect(qApp, &QApplication::focusChanged, this, [this](QWidget* /*old*/, QWidget* now) {
    if (now != nullptr && content_.isAncestorOf(now)) {
      scroll_.ensureWidgetVisible(now, 8, 8);
    }
  });
  setAcceptDrops(true);
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
  if (panel->parentWidget() != &content_ || panel->isWindow()) {
    // A panel taken into the frame loses its own caption and frame.
    if (!panel->property(kPreferredSize).isValid()) {
      // The size its form gives it, before any layout in the frame changed it.
      panel->setProperty(kPreferredSize, panel->size());
    }
    panel->setParent(&content_, Qt::Widget);
  }
  if (current_ != panel) {
    layout_.addWidget(panel);
    panel->installEventFilter(this);
    connect(panel, &QObject::destroyed, this, &TMyFrameWindow::panelDestroyed, Qt::UniqueConnection);
  }
  current_ = panel;
  panel->show();
  layout_.activate();
  fitToPanel();
  // The focus leaves the panel just hidden: keys go to the one shown.
  focusFirstControl(*panel);
  switching_ = false;
}

void TMyFrameWindow::fitToPanel() {
  if (current_ == nullptr) {
    return;
  }
  const QSize preferred = current_->property(kPreferredSize).toSize().expandedTo(current_->minimumSizeHint());
  QSize room(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  if (const QScreen* where = screen(); where != nullptr) {
    // The title bar and borders the window manager adds; before the first
    // show they are not known, so a title bar's height is assumed.
    QSize decoration = frameGeometry().size() - size();
    if (!isVisible() || decoration.isEmpty()) {
      decoration = QSize(0, style()->pixelMetric(QStyle::PM_TitleBarHeight));
    }
    room = where->availableGeometry().size() - decoration;
  }
  QSize fitted = preferred.boundedTo(room);
  // A scroll bar takes room from the other direction.
  const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  if (preferred.height() > room.height()) {
    fitted.setWidth(qMin(room.width(), fitted.width() + bar));
  }
  if (preferred.width() > room.width()) {
    fitted.setHeight(qMin(room.height(), fitted.height() + bar));
  }
  setFixedSize(fitted);
  // Lay the frame out now, so the panel has its new size at once: the
  // frame's inside, or the panel's smallest size where that is more (then
  // it scrolls, and a scroll bar takes its room).
  frameLayout_.activate();
  const QSize smallest = content_.minimumSizeHint();
  QSize inside = scroll_.maximumViewportSize();
  if (smallest.height() > inside.height()) {
    inside.rwidth() -= bar;
  }
  if (smallest.width() > inside.width()) {
    inside.rheight() -= bar;
  }
  content_.resize(inside.expandedTo(smallest));
}

bool TMyFrameWindow::panelTakesFolder() const {
  if (const auto* posting = qobject_cast<const DlgPost*>(current_)) {
    return !posting->running();
  }
  return qobject_cast<const DlgSet*>(current_) != nullptr;
}

void TMyFrameWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (panelTakesFolder() && !droppedFolder(*event->mimeData()).isEmpty()) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void TMyFrameWindow::dropEvent(QDropEvent* event) {
  const QString folder = droppedFolder(*event->mimeData());
  bool taken = false;
  if (!folder.isEmpty() && panelTakesFolder()) {
    if (auto* posting = qobject_cast<DlgPost*>(current_)) {
      taken = posting->takeDroppedFolder(folder);
    } else if (auto* settings = qobject_cast<DlgSet*>(current_)) {
      taken = settings->takeDroppedFolder(folder);
    }
  }
  if (taken) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
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
