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
  connect(ui_->edt4002, &QLineEdit::textChanged, this, &DlgSet::onSampleInputChanged);
  connect(ui_->chk5006, &QCheckBox::clicked, this, &DlgSet::onSampleInputChanged);
  connect(ui_->chk5001, &QCheckBox::clicked, this, &DlgSet::onSampleInputChanged);
  connect(ui_->btn5005, &QPushButton::clicked, this, &DlgSet::EditFilesBbs);
  connect(ui_->btn3005, &QPushButton::clicked, this, &DlgSet::onOk);
  connect(ui_->btn3004, &QPushButton::clicked, this, &DlgSet::onCancel);
  connect(ui_->btn3006, &QPushButton::clicked, this, &DlgSet::onChooseDirectory);
  connect(ui_->btn3007, &QPushButton::clicked, this, &DlgSet::onChooseGroups);

  LoadFields();
  sampleReady_ = true;
  UpdateSampleSubject();
}

DlgSet::~DlgSet() {
  sampleReady_ = false;
}

QLineEdit& DlgSet::newsgroupsField() const {
  return *ui_->edt4010;
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
  const QSignalBlocker quietPrefix(ui_->edt4002);
  ui_->edt4008->setText(text("Host", kPlaceholderHost));
  ui_->edt4007->setText(text("Username", ""));
  ui_->edt4006->setText(text("Password", ""));
  ui_->edt4005->setText(text("From", ""));
  ui_->edt4004->setText(text("ReplyTo", ""));
  ui_->edt4003->setText(text("Organization", kDefaultOrganization));
  ui_->edt4002->setText(text("Subject", kDefaultSubject));
  ui_->edt4009->setText(text("Directory", temporaryFolder()));
  ui_->edt4010->setText(text("Newsgroup", kDefaultNewsgroup));
  ui_->edt4014->setText(text("PartSize", "0"));
  ui_->edt4017->setPlainText(toQt(bodyCommentForEditing(store.read("BodyComment", "", kFieldLimit))));
  ui_->chk5001->setChecked(flag("AppendFileSize", "TRUE"));
  ui_->chk5003->setChecked(flag("ShowFilename", "TRUE"));
  ui_->chk5002->setChecked(flag("ShowCount", "TRUE"));
  ui_->chk5006->setChecked(flag("UseBBS", "FALSE"));
}

void DlgSet::UpdateSampleSubject() {
  if (!sampleReady_) {
    return;
  }
  ui_->lbl4022->setText(
      toQt(sampleSubject(ui_->edt4002->text().toStdString(), ui_->chk5006->isChecked(), ui_->chk5001->isChecked())));
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
  const std::string host = fieldText(ui_->edt4008->text());
  if (host.empty()) {
    problem("The news server HOST has not been specified.");
    return false;
  }
  if (!save("Host", host) || !save("Username", fieldText(ui_->edt4007->text())) ||
      !save("Password", fieldText(ui_->edt4006->text()))) {
    return false;
  }

  const std::string from = fieldText(ui_->edt4005->text());
  if (from.find('@') == std::string::npos) {
    problem(fromNeedsAtMessage());
    return false;
  }
  if (!save("From", from) || !save("ReplyTo", fieldText(ui_->edt4004->text())) ||
      !save("Organization", fieldText(ui_->edt4003->text())) || !save("Subject", fieldText(ui_->edt4002->text()))) {
    return false;
  }

  const std::string directory = fieldText(ui_->edt4009->text());
  if (directory.empty()) {
    problem("No files directory specified.  Please indicate the directory to source upload files from.");
    return false;
  }
  if (!save("Directory", directory)) {
    return false;
  }

  const std::string newsgroup = fieldText(ui_->edt4010->text());
  if (newsgroup.empty()) {
    problem("No news group directory specified.  Please indicate the newsgroup to upload files to.");
    return false;
  }
  if (!save("Newsgroup", newsgroup)) {
    return false;
  }

  const std::int32_t partSize = normalisedPartSize(fieldText(ui_->edt4014->text()));
  return save("PartSize", std::to_string(partSize)) &&
         save("BodyComment", bodyCommentForStorage(ui_->edt4017->toPlainText().toStdString())) &&
         save("AppendFileSize", boolText(ui_->chk5001->isChecked())) &&
         save("ShowCount", boolText(ui_->chk5002->isChecked())) &&
         save("ShowFilename", boolText(ui_->chk5003->isChecked())) &&
         save("UseBBS", boolText(ui_->chk5006->isChecked()));
}

void DlgSet::EditFilesBbs() {
  editFilesBbs(ui_->edt4009->text().toStdString(), services_.settings, services_.prompt);
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
  const QString chosen = chooseDirectory_(this, ui_->edt4009->text().trimmed());
  if (!chosen.isEmpty()) {
    ui_->edt4009->setText(chosen);
  }
}

void DlgSet::onChooseGroups() {
  groupDialog_.reset(std::make_unique<DlgGroup>(*this, services_, groupsFilePath(services_.settings.configFilePath())));
  services_.host.switchPanel(groupDialog_.get());
}

}  // namespace tidewell
