#include "dialogs/dlg_set.h"

#include <QFileDialog>
#include <QSignalBlocker>

#include "dialogs/dlg_group.h"
#include "dialogs/files_bbs_editing.h"
#include "dialogs/group_sources.h"
#include "dialogs/panel_host.h"
#include "dialogs/settings_rules.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "platform/user_prompt.h"
#include "settings/settings_store.h"
#include "ui_settings_dialog.h"

namespace tidewell {

namespace {

QString toQt(const std::string& text) {
  return QString::fromStdString(text);
}

// A field's text as the checks and the configuration file see it: at most
// the buffer's length, trimmed.
std::string fieldText(const QString& text) {
  return trimmed(cutUtf8(text.toStdString(), kFieldLimit));
}

const char* boolText(bool value) {
  return value ? "TRUE" : "FALSE";
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
  const SettingsStore& store = services_.settings;
  const auto text = [&](std::string_view key, std::string_view fallback) {
    return toQt(store.read(key, fallback, kFieldLimit));
  };
  const auto flag = [&](std::string_view key, std::string_view fallback) {
    return parseBoolSetting(store.read(key, fallback, kBoolLimit));
  };
  // Filling the prefix raises its change notification; the sample is built
  // once, after everything is loaded.
  const QSignalBlocker quietPrefix(ui_->subjectEdit);
  ui_->hostEdit->setText(text("Host", kPlaceholderHost));
  ui_->usernameEdit->setText(text("Username", ""));
  ui_->passwordEdit->setText(text("Password", ""));
  ui_->fromEdit->setText(text("From", ""));
  ui_->replyToEdit->setText(text("ReplyTo", ""));
  ui_->organizationEdit->setText(text("Organization", kDefaultOrganization));
  ui_->subjectEdit->setText(text("Subject", kDefaultSubject));
  ui_->directoryEdit->setText(text("Directory", temporaryFolder()));
  ui_->newsgroupsEdit->setText(text("Newsgroup", kDefaultNewsgroup));
  ui_->partSizeEdit->setText(text("PartSize", "0"));
  ui_->bodyEdit->setPlainText(toQt(bodyCommentForEditing(store.read("BodyComment", "", kFieldLimit))));
  ui_->appendSizeCheck->setChecked(flag("AppendFileSize", "TRUE"));
  ui_->fileNameCheck->setChecked(flag("ShowFilename", "TRUE"));
  ui_->showCountCheck->setChecked(flag("ShowCount", "TRUE"));
  ui_->useBbsCheck->setChecked(flag("UseBBS", "FALSE"));
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

bool DlgSet::save(std::string_view key, const std::string& value) {
  if (services_.settings.write(key, value)) {
    return true;
  }
  problem("Unable to save the settings in " + services_.settings.configFilePath() + ".");
  return false;
}

bool DlgSet::ValidateAndSave() {
  const std::string host = fieldText(ui_->hostEdit->text());
  if (host.empty()) {
    problem("The news server HOST has not been specified.");
    return false;
  }
  if (!save("Host", host) || !save("Username", fieldText(ui_->usernameEdit->text())) ||
      !save("Password", fieldText(ui_->passwordEdit->text()))) {
    return false;
  }

  const std::string from = fieldText(ui_->fromEdit->text());
  if (from.find('@') == std::string::npos) {
    problem(fromNeedsAtMessage());
    return false;
  }
  if (!save("From", from) || !save("ReplyTo", fieldText(ui_->replyToEdit->text())) ||
      !save("Organization", fieldText(ui_->organizationEdit->text())) ||
      !save("Subject", fieldText(ui_->subjectEdit->text()))) {
    return false;
  }

  const std::string directory = fieldText(ui_->directoryEdit->text());
  if (directory.empty()) {
    problem("No files directory specified.  Please indicate the directory to source upload files from.");
    return false;
  }
  if (!save("Directory", directory)) {
    return false;
  }

  const std::string newsgroup = fieldText(ui_->newsgroupsEdit->text());
  if (newsgroup.empty()) {
    problem("No news group directory specified.  Please indicate the newsgroup to upload files to.");
    return false;
  }
  if (!save("Newsgroup", newsgroup)) {
    return false;
  }

  const std::int32_t partSize = normalisedPartSize(fieldText(ui_->partSizeEdit->text()));
  return save("PartSize", std::to_string(partSize)) &&
         save("BodyComment", bodyCommentForStorage(ui_->bodyEdit->toPlainText().toStdString())) &&
         save("AppendFileSize", boolText(ui_->appendSizeCheck->isChecked())) &&
         save("ShowCount", boolText(ui_->showCountCheck->isChecked())) &&
         save("ShowFilename", boolText(ui_->fileNameCheck->isChecked())) &&
         save("UseBBS", boolText(ui_->useBbsCheck->isChecked()));
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

void DlgSet::onChooseGroups() {
  groupDialog_.reset(std::make_unique<DlgGroup>(*this, services_, groupsFilePath(services_.settings.configFilePath())));
  services_.host.switchPanel(groupDialog_.get());
}

}  // namespace tidewell
