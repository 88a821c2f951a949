#include "posting/widgets/dlg_post.h"

#include <QListWidget>

#include "dialogs/dlg_set.h"
#include "dialogs/panel_host.h"
#include "posting/display_text.h"
#include "posting/tips.h"
#include "posting/widgets/posting_commands.h"
#include "ui_tidewell_dialog.h"

namespace tidewell {

namespace {

QString toQt(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void showLabel(QLabel& label, std::string_view text) {
  label.setText(toQt(text));
  label.repaint();
}

void showList(QListWidget& list, std::string_view text) {
  list.clear();
  for (const std::string& line : splitListLines(text)) {
    list.addItem(QString::fromStdString(line));
  }
  list.repaint();
}

}  // namespace

DlgPost::DlgPost(DialogServices services, const Clock& clock, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TidewellDialog>()), services_(services), clock_(clock) {
  ui_->setupUi(this);
  // The lights are the program's alone: clicks pass through them.
  for (QRadioButton* light : {ui_->outboundLight, ui_->inboundLight, ui_->heartbeatLight}) {
    light->setAttribute(Qt::WA_TransparentForMouseEvents);
  }
  ui_->versionLabel->setText(QString::fromLatin1(kVersionText));
  connect(ui_->postButton, &QPushButton::clicked, this, &DlgPost::onPost);
  connect(ui_->quitButton, &QPushButton::clicked, this, &DlgPost::onStopOrQuit);
  connect(ui_->settingsButton, &QPushButton::clicked, this, &DlgPost::onSettings);
}

DlgPost::~DlgPost() {
  // The session reports to this panel up to its end.
  commands_.reset();
}

void DlgPost::setCommands(std::unique_ptr<PostingCommands> commands) {
  commands_ = std::move(commands);
}

void DlgPost::closePanel() {
  QDialog::done(QDialog::Accepted);
}

void DlgPost::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!setUpDone_ && commands_ != nullptr) {
    setUpDone_ = true;
    commands_->SetUp();
  }
}

void DlgPost::ShowState(std::string_view text) {
  showLabel(*ui_->stateLabel, text);
}
void DlgPost::ShowTimeRate(std::string_view text) {
  showLabel(*ui_->timeRateLabel, text);
}
void DlgPost::ShowEstimate(std::string_view text) {
  showLabel(*ui_->estimateLabel, text);
}
void DlgPost::ShowOutboundInfo(std::string_view text) {
  showList(*ui_->outboundList, text);
}
void DlgPost::ShowInboundInfo(std::string_view text) {
  showList(*ui_->inboundList, text);
}

void DlgPost::AddFileLine(std::string_view text) {
  QListWidget& files = *ui_->filesList;
  files.addItem(toQt(text));
  files.setCurrentRow(files.count() - 1);
  // Lay the list out now, so the scroll range already counts the new line.
  files.doItemsLayout();
  files.scrollToItem(files.currentItem());
}

void DlgPost::AppendToFileLine(std::string_view text) {
  QListWidget& files = *ui_->filesList;
  std::string last;
  if (files.count() > 0) {
    const std::unique_ptr<QListWidgetItem> item(files.takeItem(files.count() - 1));
    last = item->text().toStdString();
  }
  AddFileLine(appendedFileLine(last, text));
}

void DlgPost::ClearFileLines() {
  ui_->filesList->clear();
}

void DlgPost::LockButtons() {
  ui_->settingsButton->setEnabled(false);
  ui_->postButton->setEnabled(false);
  ui_->quitButton->setText(QStringLiteral("Stop"));
}

void DlgPost::ResetButtons() {
  LightsOff();
  ui_->settingsButton->setEnabled(true);
  ui_->postButton->setEnabled(true);
  ui_->quitButton->setText(QStringLiteral("Quit"));
  ShowTimeRate("");
}

void DlgPost::OutboundLight() {
  ui_->outboundLight->setChecked(true);
}
void DlgPost::InboundLight() {
  ui_->inboundLight->setChecked(true);
}

void DlgPost::LightsOff() {
  ui_->outboundLight->setChecked(false);
  ui_->inboundLight->setChecked(false);
}

void DlgPost::HeartbeatLight() {
  heartbeat_ = !heartbeat_;
  ui_->heartbeatLight->setChecked(heartbeat_);
}

void DlgPost::ShowTip() {
  showLabel(*ui_->tipLabel, tipForNow(clock_));
}

void DlgPost::onPost() {
  if (commands_ != nullptr) {
    commands_->Post();
  }
}

void DlgPost::onStopOrQuit() {
  if (commands_ != nullptr) {
    commands_->StopOrQuit();
  }
}

void DlgPost::onSettings() {
  if (commands_ != nullptr) {
    commands_->SettingsCommand();
  }
  settingsDialog_.reset(std::make_unique<DlgSet>(services_));
  services_.host.switchPanel(settingsDialog_.get());
}

}  // namespace tidewell
