#include "dialogs/dlg_server.h"

#include <QFileDialog>
#include <QKeySequence>
#include <QShortcut>
#include <QTabBar>
#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "dialogs/panel_host.h"
#include "platform/user_prompt.h"
#include "settings/settings_store.h"
#include "settings/unchecked_tls.h"
#include "settings/value_rules.h"
#include "ui_server_dialog.h"

namespace tidewell {

DlgServer::DlgServer(QWidget& settingsWindow, DialogServices services, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::ServerDialog>()), settingsWindow_(settingsWindow), services_(services) {
  ui_->setupUi(this);
  // The page tabs come last in the tab order, after Ok; the first control
  // is Port.
  QWidget::setTabOrder(ui_->okButton, ui_->serverTabs->tabBar());
  // Ctrl+Tab and Ctrl+Page Down turn to the next page (backwards with Shift,
  // or Page Up) from any control of the panel, the combo boxes too.
  const auto turnPage = [this](int step) {
    const int count = ui_->serverTabs->count();
    ui_->serverTabs->setCurrentIndex((ui_->serverTabs->currentIndex() + step + count) % count);
  };
  for (const auto& [keys, step] : {std::pair{QKeySequence(Qt::CTRL | Qt::Key_Tab), 1},
                                   {QKeySequence(Qt::CTRL | Qt::Key_PageDown), 1},
                                   {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), -1},
                                   {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), -1},
                                   {QKeySequence(Qt::CTRL | Qt::Key_PageUp), -1}}) {
    auto& shortcut = pageKeys_.emplace_back(std::make_unique<QShortcut>(keys, this));
    shortcut->setContext(Qt::WidgetWithChildrenShortcut);
    connect(shortcut.get(), &QShortcut::activated, this, [turnPage, step = step] { turnPage(step); });
  }
  chooseFile_ = [](QWidget* owner, const QString& start) {
    return QFileDialog::getOpenFileName(owner, QStringLiteral("CA File"), start,
                                        QStringLiteral("Certificates (*.pem *.crt);;All files (*)"));
  };
  connect(ui_->okButton, &QPushButton::clicked, this, &DlgServer::onOk);
  connect(ui_->cancelButton, &QPushButton::clicked, this, &DlgServer::reject);
  connect(ui_->caFileButton, &QPushButton::clicked, this, &DlgServer::onChooseCaFile);

  // Every field and its key, in the order Ok checks them.
  fields_ = {
      {ui_->portEdit, Setting::Port},
      {ui_->encryptionCombo, Setting::Encryption},
      {ui_->verifyCheck, Setting::TLSVerify},
      {ui_->caFileEdit, Setting::TLSCAFile},
      {ui_->pinEdit, Setting::TLSPin},
      {ui_->fastPostingCheck, Setting::FastPosting},
      {ui_->encodingCombo, Setting::Encoding},
      {ui_->lineLengthEdit, Setting::LineLength},
      {ui_->obfuscateCheck, Setting::Obfuscate},
      {ui_->messageIdsCheck, Setting::MessageIDs},
      {ui_->messageIdDomainEdit, Setting::MessageIDDomain},
      {ui_->nzbCheck, Setting::NZB},
      {ui_->jsonReportCheck, Setting::JsonReport},
      {ui_->connectionsEdit, Setting::Connections},
      {ui_->maxRateEdit, Setting::MaxRate},
      {ui_->maxRateScheduleEdit, Setting::MaxRateSchedule},
      {ui_->proxyEdit, Setting::Proxy},
      {ui_->resumeCheck, Setting::Resume},
      {ui_->checkPostedCheck, Setting::Verify},
      {ui_->verifyHostEdit, Setting::VerifyHost},
      {ui_->verifyPortEdit, Setting::VerifyPort},
      {ui_->verifyEncryptionCombo, Setting::VerifyEncryption},
      {ui_->verifyUsernameEdit, Setting::VerifyUsername},
      {ui_->verifyPasswordEdit, Setting::VerifyPassword},
      {ui_->verifyDelayEdit, Setting::VerifyDelay},
      {ui_->par2Check, Setting::Par2},
      {ui_->par2RedundancyEdit, Setting::Par2Redundancy},
      {ui_->par2SliceSizeEdit, Setting::Par2SliceSize},
      {ui_->par2NameEdit, Setting::Par2Name},
      {ui_->par2MemoryEdit, Setting::Par2Memory},
      {ui_->par2KeepCheck, Setting::Par2Keep},
  };
  LoadFields();
  connect(ui_->encryptionCombo, &QComboBox::currentTextChanged, this, &DlgServer::showWhatApplies);
  connect(ui_->fastPostingCheck, &QCheckBox::toggled, this, &DlgServer::showWhatApplies);
  connect(ui_->encodingCombo, &QComboBox::currentTextChanged, this, &DlgServer::showWhatApplies);
  connect(ui_->checkPostedCheck, &QCheckBox::toggled, this, &DlgServer::showWhatApplies);
  connect(ui_->verifyCheck, &QCheckBox::toggled, this, &DlgServer::showWhatApplies);
  connect(ui_->pinEdit, &QLineEdit::textChanged, this, &DlgServer::showWhatApplies);
}

DlgServer::~DlgServer() = default;

void DlgServer::LoadFields() {
  for (const SettingBinding& field : fields_) {
    showSetting(field, services_.settings);
  }
  showWhatApplies();
}

// Fields that cannot matter with the choices made are greyed (their values
// are kept and written as they are), by the key each needs in the settings
// table: the certificate checks without encryption, the number of
// connections without fast posting, the check's server without the check,
// obfuscation without yEnc.
void DlgServer::showWhatApplies() {
  for (const SettingBinding& field : fields_) {
    if (const std::optional<Setting> needed = rowOf(field.key).needs) {
      const auto on = std::find_if(fields_.begin(), fields_.end(),
                                   [&](const SettingBinding& other) { return other.key == *needed; });
      field.widget->setEnabled(on != fields_.end() && settingIsOn(*on));
    }
  }
  ui_->caFileButton->setEnabled(ui_->caFileEdit->isEnabled());
  // Certificates unchecked and no pin: whoever answers gets the password.
  ui_->uncheckedTlsWarning->setToolTip(
      QString::fromUtf8(kUncheckedTlsWarning.data(), static_cast<qsizetype>(kUncheckedTlsWarning.size())));
  ui_->uncheckedTlsWarning->setVisible(ui_->verifyCheck->isEnabled() && !ui_->verifyCheck->isChecked() &&
                                       ui_->pinEdit->text().trimmed().isEmpty());
}

void DlgServer::showPageOf(const QWidget& field) {
  for (int page = 0; page < ui_->serverTabs->count(); ++page) {
    if (ui_->serverTabs->widget(page)->isAncestorOf(&field)) {
      ui_->serverTabs->setCurrentIndex(page);
      return;
    }
  }
}

void DlgServer::problem(std::string_view text) {
  services_.prompt.notify(text, kSettingsProblemCaption, PromptIcon::Stop);
}

bool DlgServer::ValidateAndSave() {
  std::vector<std::pair<Setting, std::string>> values;
  values.reserve(fields_.size());
  for (const SettingBinding& field : fields_) {
    CheckedValue value = checkSettingValue(field.key, enteredSetting(field));
    if (!value.problem.empty()) {
      problem(value.problem);
      field.widget->setEnabled(true);  // a greyed field with a refused value must be mendable
      showPageOf(*field.widget);
      field.widget->setFocus(Qt::OtherFocusReason);
      return false;
    }
    values.emplace_back(field.key, std::move(value.stored));
  }
  const auto valueOf = [&values](Setting key) {
    const auto found =
        std::find_if(values.begin(), values.end(), [key](const auto& value) { return value.first == key; });
    return found != values.end() ? found->second : std::string();
  };
  if (const std::string refused =
          obfuscationProblem(parseBoolSetting(valueOf(Setting::Obfuscate)), valueOf(Setting::Encoding));
      !refused.empty()) {
    problem(refused);
    showPageOf(*ui_->obfuscateCheck);
    ui_->obfuscateCheck->setEnabled(true);
    ui_->obfuscateCheck->setFocus(Qt::OtherFocusReason);
    return false;
  }
  for (const auto& [key, stored] : values) {
    if (!services_.settings.write(key, stored)) {
      problem("Unable to save the settings in " + services_.settings.configFilePath() + ".");
      return false;
    }
  }
  return true;
}

void DlgServer::onOk() {
  if (ValidateAndSave()) {
    returnToSettings(QDialog::Accepted);
  }
}

void DlgServer::reject() {
  returnToSettings(QDialog::Rejected);
}

void DlgServer::returnToSettings(int result) {
  services_.host.switchPanel(&settingsWindow_);
  QDialog::done(result);
}

void DlgServer::onChooseCaFile() {
  const QString chosen = chooseFile_(this, ui_->caFileEdit->text().trimmed());
  if (!chosen.isEmpty()) {
    ui_->caFileEdit->setText(chosen);
  }
}

}  // namespace tidewell
