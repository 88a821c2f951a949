#include "dialogs/dlg_group.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <algorithm>
#include <utility>
#include <vector>

#include "dialogs/dlg_set.h"
#include "dialogs/group_sources.h"
#include "dialogs/panel_host.h"
#include "dialogs/settings_rules.h"
#include "platform/user_prompt.h"
#include "ui_groups_dialog.h"

namespace tidewell {

int addSortedEntry(QListWidget& list, const QString& text) {
  int row = list.count();
  for (int i = 0; i < list.count(); ++i) {
    if (QString::compare(list.item(i)->text(), text, Qt::CaseInsensitive) > 0) {
      row = i;
      break;
    }
  }
  list.insertItem(row, text);
  return row;
}

void fillSorted(QListWidget& list, const QStringList& entries) {
  // Each name is case-folded once, not in every comparison; equal names
  // keep the order they came in.
  std::vector<std::pair<QString, qsizetype>> keys;
  keys.reserve(static_cast<std::size_t>(entries.size()));
  for (qsizetype i = 0; i < entries.size(); ++i) {
    keys.emplace_back(entries[i].toCaseFolded(), i);
  }
  // Pairs compare by name, then by position.
  std::sort(keys.begin(), keys.end());
  QStringList sorted;
  sorted.reserve(entries.size());
  for (const auto& key : keys) {
    sorted.append(entries[key.second]);
  }
  list.addItems(sorted);
}

int findEntry(const QListWidget& list, const QString& text) {
  for (int i = 0; i < list.count(); ++i) {
    if (QString::compare(list.item(i)->text(), text, Qt::CaseInsensitive) == 0) {
      return i;
    }
  }
  return -1;
}

namespace {

void selectRow(QListWidget& list, int row) {
  if (row >= 0 && row < list.count()) {
    list.setCurrentRow(row);
  } else {
    list.setCurrentItem(nullptr);
    list.clearSelection();
  }
}

int selectedRow(const QListWidget& list) {
  const QList<QListWidgetItem*> selected = list.selectedItems();
  return selected.isEmpty() ? -1 : list.row(selected.front());
}

}  // namespace

DlgGroup::DlgGroup(DlgSet& settingsWindow, DialogServices services, std::string groupsFile, QWidget* parent)
    : QDialog(parent),
      ui_(std::make_unique<Ui::GroupsDialog>()),
      settingsWindow_(settingsWindow),
      services_(services),
      groupsFile_(std::move(groupsFile)) {
  ui_->setupUi(this);
  ui_->createButton->hide();
  connect(ui_->addButton, &QPushButton::clicked, this, &DlgGroup::addSelectedGroup);
  connect(ui_->availableList, &QListWidget::itemDoubleClicked, this, &DlgGroup::addSelectedGroup);
  connect(ui_->removeButton, &QPushButton::clicked, this, &DlgGroup::removeSelectedGroup);
  connect(ui_->postList, &QListWidget::itemDoubleClicked, this, &DlgGroup::removeSelectedGroup);
  connect(ui_->createButton, &QPushButton::clicked, this, [this] { services_.prompt.beep(); });
  connect(ui_->okButton, &QPushButton::clicked, this, &DlgGroup::onOk);
  connect(ui_->cancelButton, &QPushButton::clicked, this, &DlgGroup::reject);
  connect(ui_->filterEdit, &QLineEdit::textChanged, this, &DlgGroup::filterAvailable);
  ui_->filterEdit->installEventFilter(this);
  loadGroupLists();
}

DlgGroup::~DlgGroup() = default;

void DlgGroup::loadGroupLists() {
  QStringList chosen;
  for (const std::string& name : splitNewsgroupsField(settingsWindow_.newsgroupsField().text().toStdString())) {
    chosen.append(QString::fromStdString(name));
  }
  QStringList available = chosen;
  for (const std::string& name : readGroupsFile(groupsFile_)) {
    available.append(QString::fromStdString(name));
  }
  // Sorted once and filled in one go: a full server list of 100,000 groups
  // opens at once, where inserting each name at its place took minutes.
  fillSorted(*ui_->postList, chosen);
  fillSorted(*ui_->availableList, available);
  availableNames_.clear();
  availableNames_.reserve(ui_->availableList->count());
  for (int row = 0; row < ui_->availableList->count(); ++row) {
    availableNames_.append(ui_->availableList->item(row)->text());
  }
  if (!chosen.isEmpty()) {
    selectRow(*ui_->postList, findEntry(*ui_->postList, chosen.back()));
  }
}

void DlgGroup::filterAvailable(const QString& text) {
  // The list is filled anew with the matching names: hiding 100,000 rows one
  // by one took a third of a second a keystroke.
  QListWidget& list = *ui_->availableList;
  const QString wanted = text.trimmed();
  const QString selected =
      list.currentItem() != nullptr && list.currentItem()->isSelected() ? list.currentItem()->text() : QString();
  QStringList shown;
  if (wanted.isEmpty()) {
    shown = availableNames_;
  } else {
    for (const QString& name : availableNames_) {
      if (name.contains(wanted, Qt::CaseInsensitive)) {
        shown.append(name);
      }
    }
  }
  list.clear();
  list.addItems(shown);
  const int again = selected.isEmpty() ? -1 : static_cast<int>(shown.indexOf(selected));
  if (again >= 0) {
    list.setCurrentRow(again);
  } else if (!wanted.isEmpty() && !shown.isEmpty()) {
    list.setCurrentRow(0);
  }
}

bool DlgGroup::eventFilter(QObject* watched, QEvent* event) {
  // Enter in the filter box goes on to the list instead of pressing Ok.
  if (watched == ui_->filterEdit && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      ui_->availableList->setFocus(Qt::TabFocusReason);
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void DlgGroup::addSelectedGroup() {
  const QListWidget& availableList = *ui_->availableList;
  QListWidget& postList = *ui_->postList;
  const int available = selectedRow(availableList);
  if (available < 0) {
    services_.prompt.beep();
    return;
  }
  const QString group = availableList.item(available)->text().left(static_cast<int>(kGroupNameLimit));
  // An empty entry (a blank line of the master list) is no group name.
  if (group.isEmpty() || findEntry(postList, group) >= 0) {
    services_.prompt.beep();
    return;
  }
  selectRow(postList, addSortedEntry(postList, group));
}

void DlgGroup::removeSelectedGroup() {
  QListWidget& postList = *ui_->postList;
  const int row = selectedRow(postList);
  if (row < 0) {
    services_.prompt.beep();
    return;
  }
  const std::unique_ptr<QListWidgetItem> removed(postList.takeItem(row));
  selectRow(postList, row);
}

bool DlgGroup::commitGroupSelection() {
  const QListWidget& postList = *ui_->postList;
  const int count = postList.count();
  if (count > kMaxPostGroups) {
    services_.prompt.notify(
        "More than the maximum number of allowed groups (50) has been selected.  Remove some groups.",
        kTidewellErrorCaption, PromptIcon::Stop);
    return false;
  }
  if (count == 0) {
    services_.prompt.notify("You have not specified any groups.", kTidewellErrorCaption, PromptIcon::Stop);
    return false;
  }
  QStringList names;
  for (int i = 0; i < count; ++i) {
    names.append(postList.item(i)->text());
  }
  settingsWindow_.newsgroupsField().setText(names.join(QLatin1Char(',')));
  return true;
}

void DlgGroup::onOk() {
  if (commitGroupSelection()) {
    returnToSettings(QDialog::Accepted);
  }
}

void DlgGroup::reject() {
  returnToSettings(QDialog::Rejected);
}

void DlgGroup::returnToSettings(int result) {
  services_.host.switchPanel(&settingsWindow_);
  QDialog::done(result);
}

}  // namespace tidewell
