#pragma once

#include <QDialog>
#include <QStringList>
#include <memory>
#include <string>

#include "dialogs/dialog_services.h"

class QListWidget;
namespace Ui {
class GroupsDialog;
}

namespace tidewell {

class DlgSet;

// The group selection panel: picks the newsgroups of the settings panel's
// Newsgroups field from the names already there and the master group list.
// Both lists keep alphabetical order without regard to letter case. Ok
// writes the chosen names back into the field, joined by ","; Cancel leaves
// the field as it was. Either way the settings panel comes back. The filter
// box above the available list shows only the groups whose names contain
// its text (any letter case); Enter there goes to the list.
class DlgGroup : public QDialog {
  Q_OBJECT

 public:
  // `groupsFile`: the master group list to offer (see groupsFilePath()).
  DlgGroup(DlgSet& settingsWindow, DialogServices services, std::string groupsFile, QWidget* parent = nullptr);
  ~DlgGroup() override;
  DlgGroup(const DlgGroup&) = delete;
  DlgGroup& operator=(const DlgGroup&) = delete;

  void loadGroupLists();
  void addSelectedGroup();
  void removeSelectedGroup();
  // Writes the chosen groups into the Newsgroups field; false (after a
  // message) when there are none or more than 50.
  bool commitGroupSelection();
  // Shows only the available groups whose names contain `text` (any letter
  // case); an empty text shows them all. The selection stays on a group
  // still shown, else goes to the first one shown.
  void filterAvailable(const QString& text);

 public slots:
  // Escape works as Cancel.
  void reject() override;

 private:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void onOk();
  void returnToSettings(int result);

  std::unique_ptr<Ui::GroupsDialog> ui_;
  DlgSet& settingsWindow_;
  DialogServices services_;
  std::string groupsFile_;
  QStringList availableNames_;  // the whole available list, in its order
};

// Sorted list boxes: alphabetical without regard to letter case.
// Adds `text` at its place (after equal entries) and returns its row.
int addSortedEntry(QListWidget& list, const QString& text);
// Fills an empty `list` with `entries` in the order that adding them one by
// one with addSortedEntry gives, sorting them only once.
void fillSorted(QListWidget& list, const QStringList& entries);
// The first row whose text equals `text` without regard to letter case, or -1.
[[nodiscard]] int findEntry(const QListWidget& list, const QString& text);

}  // namespace tidewell
