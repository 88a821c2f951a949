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
#include "platform/host_address.h"
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
  connect(ui_->caFileButton, &QPushButton::clicked, this, [this] { onChooseCaFile(*ui_->caFileEdit); });
  connect(ui_->backupCaFileButton, &QPushButton::clicked, this, [this] { onChooseCaFile(*ui_->backupCaFileEdit); });

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
  backupFields_ = {
      {ui_->backupHostEdit, Setting::Host},
      {ui_->backupPortEdit, Setting::Port},
      {ui_->backupUsernameEdit, Setting::Username},
      {ui_->backupPasswordEdit, Setting::Password},
      {ui_->backupEncryptionCombo, Setting::Encryption},
      {ui_->backupVerifyCheck, Setting::TLSVerify},
      {ui_->backupCaFileEdit, Setting::TLSCAFile},
      {ui_->backupPinEdit, Setting::TLSPin},
      {ui_->backupConnectionsEdit, Setting::Connections},
  };
  LoadFields();
  connect(ui_->backupCombo, &QComboBox::currentIndexChanged, this,
          [this](int index) { showBackup(kFirstBackupServer + std::max(index, 0)); });
  connect(ui_->backupEncryptionCombo, &QComboBox::currentTextChanged, this, &DlgServer::showWhatApplies);
  connect(ui_->backupVerifyCheck, &QCheckBox::toggled, this, &DlgServer::showWhatApplies);
  connect(ui_->backupPinEdit, &QLineEdit::textChanged, this, &DlgServer::showWhatApplies);
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
  // The proxy's password is not shown; Ok keeps it unless it is typed anew.
  ui_->proxyEdit->setText(QString::fromStdString(maskedProxyText(services_.settings.read(Setting::Proxy))));
  for (int number = kFirstBackupServer; number <= kLastBackupServer; ++number) {
    backupLoaded_[number - kFirstBackupServer] = readBackupServer(services_.settings, number);
  }
  backupEntered_ = backupLoaded_;
  backupShown_ = kFirstBackupServer + std::max(ui_->backupCombo->currentIndex(), 0);
  for (std::size_t i = 0; i < backupFields_.size(); ++i) {
    showSettingText(backupFields_[i], backupEntered_[backupShown_ - kFirstBackupServer][i]);
  }
  showWhatApplies();
}

void DlgServer::showBackup(int number) {
  BackupServerValues& kept = backupEntered_[backupShown_ - kFirstBackupServer];
  for (std::size_t i = 0; i < backupFields_.size(); ++i) {
    kept[i] = enteredSetting(backupFields_[i]);
  }
  backupShown_ = number;
  for (std::size_t i = 0; i < backupFields_.size(); ++i) {
    showSettingText(backupFields_[i], backupEntered_[number - kFirstBackupServer][i]);
  }
  showWhatApplies();
}

// Fields that cannot matter with the choices made are greyed (their values
// are kept and written as they are), by the key each needs in the settings
// table: the certificate checks without encryption, the number of
// connections without fast posting, the check's server without the check,
// obfuscation without yEnc. A backup's certificate checks follow its own
// encryption; its connections, fast posting.
void DlgServer::showWhatApplies() {
  const auto find = [](const std::vector<SettingBinding>& group, Setting key) {
    const auto found =
        std::find_if(group.begin(), group.end(), [key](const SettingBinding& other) { return other.key == key; });
    return found != group.end() ? &*found : nullptr;
  };
  for (const std::vector<SettingBinding>* group : {&fields_, &backupFields_}) {
    for (const SettingBinding& field : *group) {
      if (const std::optional<Setting> needed = rowOf(field.key).needs) {
        const SettingBinding* on = find(*group, *needed);
        on = on != nullptr ? on : find(fields_, *needed);
        field.widget->setEnabled(on != nullptr && settingIsOn(*on));
      }
    }
  }
  ui_->caFileButton->setEnabled(ui_->caFileEdit->isEnabled());
  ui_->backupCaFileButton->setEnabled(ui_->backupCaFileEdit->isEnabled());
  // Certificates unchecked and no pin: whoever answers gets the password.
  ui_->uncheckedTlsWarning->setToolTip(
      QString::fromUtf8(kUncheckedTlsWarning.data(), static_cast<qsizetype>(kUncheckedTlsWarning.size())));
  ui_->uncheckedTlsWarning->setVisible(ui_->verifyCheck->isEnabled() && !ui_->verifyCheck->isChecked() &&
                                       ui_->pinEdit->text().trimmed().isEmpty());
  ui_->backupUncheckedTlsWarning->setToolTip(ui_->uncheckedTlsWarning->toolTip());
  ui_->backupUncheckedTlsWarning->setVisible(ui_->backupVerifyCheck->isEnabled() &&
                                             !ui_->backupVerifyCheck->isChecked() &&
                                             ui_->backupPinEdit->text().trimmed().isEmpty());
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
    std::string entered = enteredSetting(field);
    if (field.key == Setting::Proxy) {
      entered = unmaskedProxyText(entered, services_.settings.read(Setting::Proxy));
    }
    CheckedValue value = checkSettingValue(field.key, entered);
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
  std::array<BackupServerValues, kBackupServerCount> backups;
  if (!checkBackups(backups)) {
    return false;
  }
  bool written = true;
  for (const auto& [key, stored] : values) {
    written = written && services_.settings.write(key, stored);
  }
  for (int number = kFirstBackupServer; number <= kLastBackupServer; ++number) {
    const std::size_t at = static_cast<std::size_t>(number - kFirstBackupServer);
    written = written && writeBackupServer(services_.settings, number, backups[at], backupLoaded_[at]);
  }
  if (!written) {
    problem("Unable to save the settings in " + services_.settings.configFilePath() + ".");
    return false;
  }
  return true;
}

bool DlgServer::checkBackups(std::array<BackupServerValues, kBackupServerCount>& stored) {
  showBackup(backupShown_);  // keeps what the fields hold
  for (int number = kFirstBackupServer; number <= kLastBackupServer; ++number) {
    BackupServerCheck checked = checkBackupServer(number, backupEntered_[number - kFirstBackupServer]);
    if (!checked.problem.empty()) {
      problem(checked.problem);
      ui_->backupCombo->setCurrentIndex(number - kFirstBackupServer);
      QWidget& field = *backupFields_[checked.refused].widget;
      field.setEnabled(true);
      showPageOf(field);
      field.setFocus(Qt::OtherFocusReason);
      return false;
    }
    stored[number - kFirstBackupServer] = std::move(checked.stored);
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

void DlgServer::onChooseCaFile(QLineEdit& field) {
  const QString chosen = chooseFile_(this, field.text().trimmed());
  if (!chosen.isEmpty()) {
    field.setText(chosen);
  }
}

}  // namespace tidewell
