#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "dialogs/dialog_services.h"
#include "dialogs/owned_panel.h"
#include "dialogs/setting_binding.h"

class QLineEdit;
namespace Ui {
class SettingsDialog;
}

namespace tidewell {

class DlgGroup;
class DlgServer;

// The settings panel: edits every setting of section Settings (except the
// logging switch, the report number and the window position), shows a
// sample subject as the fields change, checks and writes the fields on Ok
// and lets the user edit FILES.BBS. "Server && Speed..." opens the panel of
// the connection and posting keys (DlgServer), which writes its own keys. It takes the posting panel's place in
// the frame and gives it back on Ok or Cancel.
class DlgSet : public QDialog {
  Q_OBJECT

 public:
  // Picks a directory, starting at `start`; an empty result leaves the
  // field alone. A seam so tests need no file dialog.
  using DirectoryChooser = std::function<QString(QWidget* parent, const QString& start)>;

  explicit DlgSet(DialogServices services, QWidget* parent = nullptr);
  ~DlgSet() override;
  DlgSet(const DlgSet&) = delete;
  DlgSet& operator=(const DlgSet&) = delete;

  // Fills every control from the configuration file.
  void LoadFields();
  // Checks the fields and writes them, each key as soon as the checks before
  // it have passed. False (after a message) keeps the panel open.
  bool ValidateAndSave();
  // Rebuilds the sample subject once the panel is set up.
  void UpdateSampleSubject();
  // The E D I T command: offers a FILES.BBS template, then opens the file
  // in the viewer.
  void EditFilesBbs();

  [[nodiscard]] bool sampleReady() const { return sampleReady_; }
  // The Newsgroups field, which the group selection panel reads and fills.
  [[nodiscard]] QLineEdit& newsgroupsField() const;
  // The group selection panel opened last, while it exists.
  [[nodiscard]] DlgGroup* groupDialog() const { return groupDialog_.get(); }
  // The server and speed panel opened last, while it exists.
  [[nodiscard]] DlgServer* serverDialog() const { return serverDialog_.get(); }
  // A folder dropped on the window fills Files From Dir (written on Ok).
  bool takeDroppedFolder(const QString& folder);
  void setDirectoryChooser(DirectoryChooser chooser) { chooseDirectory_ = std::move(chooser); }

 public slots:
  // Escape works as Cancel.
  void reject() override;

 private:
  void onSampleInputChanged();
  void onOk();
  void onCancel();
  void onChooseDirectory();
  void onChooseGroups();
  void onServerAndSpeed();
  void returnToPosting(int result);
  void problem(std::string_view text);

  std::unique_ptr<Ui::SettingsDialog> ui_;
  DialogServices services_;
  bool sampleReady_ = false;
  DirectoryChooser chooseDirectory_;
  OwnedPanel<DlgGroup> groupDialog_;
  OwnedPanel<DlgServer> serverDialog_;
  std::vector<SettingBinding> fields_;
};

}  // namespace tidewell
