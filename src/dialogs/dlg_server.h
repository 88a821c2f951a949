#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "dialogs/backup_server_fields.h"
#include "dialogs/dialog_services.h"
#include "dialogs/setting_binding.h"

class QLineEdit;
class QShortcut;
namespace Ui {
class ServerDialog;
}

namespace tidewell {

// The server and speed panel, opened by "Server && Speed..." on the settings
// panel, its keys on tabs: Server (the port, our own Message-IDs, the NZB,
// the JSON report, resuming, the proxy), Security (the encryption and its
// certificate checks), Speed (fast posting, connections, the encoding, the
// bandwidth cap and its schedule), Checking
// (what was posted, on which server), Recovery (the PAR2 set) and Backups
// (servers 2 to 9, one at a time through a selector). Ok checks
// every field and, when all pass, writes them at once (a refused field
// leaves the file untouched); Cancel writes nothing. Either way the
// settings panel comes back.
class DlgServer : public QDialog {
  Q_OBJECT

 public:
  // Picks a file, starting at `start`; an empty result leaves the field
  // alone. A seam so tests need no file dialog.
  using FileChooser = std::function<QString(QWidget* parent, const QString& start)>;

  DlgServer(QWidget& settingsWindow, DialogServices services, QWidget* parent = nullptr);
  ~DlgServer() override;
  DlgServer(const DlgServer&) = delete;
  DlgServer& operator=(const DlgServer&) = delete;

  // Fills every control from the configuration file.
  void LoadFields();
  // Checks every field, then writes them all. False (after a message) keeps
  // the panel open and writes nothing.
  bool ValidateAndSave();
  void setFileChooser(FileChooser chooser) { chooseFile_ = std::move(chooser); }

 public slots:
  // Escape works as Cancel.
  void reject() override;

 private:
  void onOk();
  void onChooseCaFile(QLineEdit& field);
  void showWhatApplies();
  // Keeps what the backup fields hold for the backup shown, then shows
  // backup `number`.
  void showBackup(int number);
  // Checks every backup; on a refusal shows it with the field focused.
  bool checkBackups(std::array<BackupServerValues, kBackupServerCount>& stored);
  // Brings the tab holding `field` to the front.
  void showPageOf(const QWidget& field);
  void returnToSettings(int result);
  void problem(std::string_view text);

  std::unique_ptr<Ui::ServerDialog> ui_;
  QWidget& settingsWindow_;
  DialogServices services_;
  FileChooser chooseFile_;
  std::vector<SettingBinding> fields_;
  std::vector<SettingBinding> backupFields_;                          // in the order of kServerKeys
  std::array<BackupServerValues, kBackupServerCount> backupLoaded_;   // as the file had them
  std::array<BackupServerValues, kBackupServerCount> backupEntered_;  // as the fields had them
  int backupShown_ = kFirstBackupServer;
  std::vector<std::unique_ptr<QShortcut>> pageKeys_;  // the keys that turn the pages
};

}  // namespace tidewell
