#include "dialogs/dlg_set.h"

#include <QFileDialog>
#include <QSignalBlocker>

#include "dialogs/dlg_group.h"
#include "dialogs/dlg_server.h"
#include "dialogs/files_bbs_editing.h"
#include "dialogs/group_sources.h"
#include "dialogs/panel_host.h"
#include "dialogs/setting_binding.h"
#include "dialogs/settings_rules.h"
#include "platform/file_system.h"
#include "platform/user_prompt.h"
#include "settings/settings_store.h"
#include "settings/value_rules.h"
#include "ui_settings_dialog.h"

namespace tidewell {

namespace {

QString toQt(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

DlgSet::DlgSet(DialogServices services, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::SettingsDialog>()), services_(services) {
  ui_->setupUi(this);
  chooseDirectory_ = [](QWidget* owner, const QString& start) {
    return QFileDialog::getExistingDirectory(owner, QStringLiteral("Files From Dir"), start);
  };
  connect(ui_->subjectEdit, &QLineEdit::textChanged, this, &DlgSet::onSampleInputChanged);
  connect(ui_->useBbsCheck, &QCheckBox::clicked, this, &DlgSet::onSampleInputChanged);
  connect(ui_->appendSizeCheck, &QCheckBox::clicked, this, &DlgSet::onSampleInputChanged);
  connect(ui_->editBbsButton, &QPushButton::clicked, this, &DlgSet::EditFilesBbs);
  connect(ui_->okButton, &QPushButton::clicked, this, &DlgSet::onOk);
  connect(ui_->cancelButton, &QPushButton::clicked, this, &DlgSet::onCancel);
  connect(ui_->directoryButton, &QPushButton::clicked, this, &DlgSet::onChooseDirectory);
  connect(ui_->groupsButton, &QPushButton::clicked, this, &DlgSet::onChooseGroups);
  connect(ui_->serverButton, &QPushButton::clicked, this, &DlgSet::onServerAndSpeed);

  // Every field and its key, in the order Ok checks and writes them.
  fields_ = {
      {ui_->hostEdit, Setting::Host, std::string(kPlaceholderHost)},
      {ui_->usernameEdit, Setting::Username},
      {ui_->passwordEdit, Setting::Password},
      {ui_->fromEdit, Setting::From},
      {ui_->replyToEdit, Setting::ReplyTo},
      {ui_->organizationEdit, Setting::Organization},
      {ui_->subjectEdit, Setting::Subject},
      {ui_->directoryEdit, Setting::Directory, temporaryFolder()},
      {ui_->newsgroupsEdit, Setting::Newsgroup},
      {ui_->partSizeEdit, Setting::PartSize},
      {ui_->bodyEdit, Setting::BodyComment},
      {ui_->appendSizeCheck, Setting::AppendFileSize},
      {ui_->showCountCheck, Setting::ShowCount},
      {ui_->fileNameCheck, Setting::ShowFilename},
      {ui_->useBbsCheck, Setting::UseBBS},
  };

  LoadFields();
  sampleReady_ = true;
  UpdateSampleSubject();
}

DlgSet::~DlgSet() {
  sampleReady_ = false;
}

QLineEdit& DlgSet::newsgroupsField() const {
  return *ui_->newsgroupsEdit;
}

void DlgSet::LoadFields() {
  // Filling the prefix raises its change notification; the sample is built
  // once, after everything is loaded.
  const QSignalBlocker quietPrefix(ui_->subjectEdit);
  for (const SettingBinding& field : fields_) {
    showSetting(field, services_.settings);
  }
}

void DlgSet::UpdateSampleSubject() {
  if (!sampleReady_) {
    return;
  }
  ui_->sampleLabel->setText(toQt(sampleSubject(ui_->subjectEdit->text().toStdString(), ui_->useBbsCheck->isChecked(),
                                               ui_->appendSizeCheck->isChecked())));
}

void DlgSet::onSampleInputChanged() {
  sampleReady_ = true;
  UpdateSampleSubject();
}

void DlgSet::problem(std::string_view text) {
  services_.prompt.notify(text, kSettingsProblemCaption, PromptIcon::Stop);
}

bool DlgSet::ValidateAndSave() {
  for (const SettingBinding& field : fields_) {
    const CheckedValue value = checkSettingValue(field.key, enteredSetting(field));
    if (!value.problem.empty()) {
      problem(value.problem);
      return false;
    }
    if (!services_.settings.write(field.key, value.stored)) {
      problem("Unable to save the settings in " + services_.settings.configFilePath() + ".");
      return false;
    }
  }
  return true;
}

void DlgSet::EditFilesBbs() {
  editFilesBbs(ui_->directoryEdit->text().toStdString(), services_.settings, services_.prompt);
}

void DlgSet::onOk() {
  if (ValidateAndSave()) {
    returnToPosting(QDialog::Accepted);
  }
}

void DlgSet::onCancel() {
  returnToPosting(QDialog::Rejected);
}

void DlgSet::reject() {
  onCancel();
}

void DlgSet::returnToPosting(int result) {
  services_.host.switchPanel(services_.host.postingPanel());
  QDialog::done(result);
}

void DlgSet::onChooseDirectory() {
  const QString chosen = chooseDirectory_(this, ui_->directoryEdit->text().trimmed());
  if (!chosen.isEmpty()) {
    ui_->directoryEdit->setText(chosen);
  }
}

bool DlgSet::takeDroppedFolder(const QString& folder) {
  ui_->directoryEdit->setText(folder);
  return true;
}

void DlgSet::onChooseGroups() {
  groupDialog_.reset(std::make_unique<DlgGroup>(*this, services_, groupsFilePath(services_.settings.configFilePath())));
  services_.host.switchPanel(groupDialog_.get());
}

void DlgSet::onServerAndSpeed() {
  serverDialog_.reset(std::make_unique<DlgServer>(*this, services_));
  services_.host.switchPanel(serverDialog_.get());
}

}  // namespace tidewell
