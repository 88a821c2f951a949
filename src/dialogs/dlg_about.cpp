#include "dialogs/dlg_about.h"

#include <QPainter>

#include "dialogs/panel_host.h"
#include "ui_about_dlg.h"

// The resources live in a static library: register them before first use,
// or the linker may have left their initialiser out.
static void initResources() {
  Q_INIT_RESOURCE(tidewell);
}

namespace tidewell {

DlgAbout::DlgAbout(PanelHost& host, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::AboutDlg>()), host_(host), aboutPicture_() {
  initResources();
  aboutPicture_.load(QString::fromLatin1(kPictureResource));
  ui_->setupUi(this);
  connect(ui_->continueButton, &QPushButton::clicked, this, &DlgAbout::continueToPosting);
}

DlgAbout::~DlgAbout() = default;

void DlgAbout::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawPixmap(rect(), aboutPicture_);
}

void DlgAbout::reject() {
  continueToPosting();
}

void DlgAbout::continueToPosting() {
  // The posting panel must be installed before this one closes: closing the
  // panel the frame shows would end the program.
  host_.switchPanel(host_.postingPanel());
  QDialog::done(QDialog::Accepted);
}

}  // namespace tidewell
