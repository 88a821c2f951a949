#include "dialogs/dlg_post.h"

#include <QListWidget>
#include <QProgressBar>
#include <QTimer>

#include "dialogs/activity_light.h"
#include "dialogs/desktop_notice.h"
#include "dialogs/dlg_set.h"
#include "dialogs/panel_host.h"
#include "dialogs/posting_commands.h"
#include "dialogs/run_progress.h"
#include "dialogs/tips.h"
#include "platform/user_prompt.h"
#include "posting/display_text.h"
#include "settings/settings_store.h"
#include "settings/value_rules.h"
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
  runEndNotice_ = sendDesktopNotice;
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
    commands_->setUp();
  }
}

void DlgPost::ShowState(std::string_view text) {
  showLabel(*ui_->stateLabel, text);
  // The run's last word ("Finished.", or why it stopped), which may come
  // just after the buttons are reset, as the State line returns to "Idle.".
  if (text != "Idle.") {
    lastRunState_ = toQt(text);
  }
}
void DlgPost::ShowTimeRate(std::string_view text) {
  showLabel(*ui_->timeRateLabel, text);
}
void DlgPost::ShowEstimate(std::string_view text) {
  showLabel(*ui_->estimateLabel, text);
  if (const std::optional<int> percent = runPercentFromEstimate(text); percent && running_) {
    showRunPercent(*percent);
  }
}

void DlgPost::showRunPercent(int percent) {
  ui_->runProgressBar->setValue(percent);
  window()->setWindowTitle(QStringLiteral("%1% - %2").arg(percent).arg(plainTitle_));
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
  ui_->quitButton->setText(QStringLiteral("&Stop"));
  if (!running_) {
    running_ = true;
    plainTitle_ = window()->windowTitle();
    lastRunState_.clear();
    ui_->runProgressBar->setValue(0);
  }
}

void DlgPost::ResetButtons() {
  lightsOff();
  ui_->settingsButton->setEnabled(true);
  ui_->postButton->setEnabled(true);
  ui_->quitButton->setText(QStringLiteral("&Quit"));
  ShowTimeRate("");
  if (running_) {
    running_ = false;
    window()->setWindowTitle(plainTitle_);
    if (runEndNotice_ && services_.settings.flag(Setting::DesktopNotice)) {
      // Told once the session has said how the run ended, which it does
      // right after resetting the buttons.
      QTimer::singleShot(0, this, [this] {
        if (runEndNotice_) {
          runEndNotice_(QStringLiteral("Tidewell: the run has ended"), lastRunState_);
        }
      });
    }
  }
}

void DlgPost::OutboundLight() {
  ui_->outboundLight->setLit(true);
}
void DlgPost::InboundLight() {
  ui_->inboundLight->setLit(true);
}

void DlgPost::lightsOff() {
  ui_->outboundLight->setLit(false);
  ui_->inboundLight->setLit(false);
}

void DlgPost::HeartbeatLight() {
  heartbeat_ = !heartbeat_;
  ui_->heartbeatLight->setLit(heartbeat_);
}

bool DlgPost::takeDroppedFolder(const QString& folder) {
  if (running_) {
    return false;
  }
  const CheckedValue value = checkSettingValue(Setting::Directory, folder.toStdString());
  if (!value.problem.empty()) {
    services_.prompt.notify(value.problem, kSettingsProblemCaption, PromptIcon::Stop);
    return false;
  }
  if (!services_.settings.write(Setting::Directory, value.stored)) {
    services_.prompt.notify("Unable to save the settings in " + services_.settings.configFilePath() + ".",
                            kSettingsProblemCaption, PromptIcon::Stop);
    return false;
  }
  showLabel(*ui_->stateLabel, "Files From Dir: " + value.stored);
  return true;
}

void DlgPost::showTip() {
  showLabel(*ui_->tipLabel, tipForNow(clock_));
}

void DlgPost::onPost() {
  if (commands_ != nullptr) {
    commands_->post();
  }
}

void DlgPost::onStopOrQuit() {
  if (commands_ != nullptr) {
    commands_->stopOrQuit();
  }
}

void DlgPost::onSettings() {
  if (commands_ != nullptr) {
    commands_->settingsCommand();
  }
  settingsDialog_.reset(std::make_unique<DlgSet>(services_));
  services_.host.switchPanel(settingsDialog_.get());
}

}  // namespace tidewell
