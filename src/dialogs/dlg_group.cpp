#include "dialogs/dlg_group.h"

#include <QLineEdit>
#include <QListWidget>

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
  loadGroupLists();
}

DlgGroup::~DlgGroup() = default;

void DlgGroup::loadGroupLists() {
  QListWidget& postList = *ui_->postList;
  QListWidget& availableList = *ui_->availableList;
  for (const std::string& name : splitNewsgroupsField(settingsWindow_.newsgroupsField().text().toStdString())) {
    const QString group = QString::fromStdString(name);
    addSortedEntry(postList, group);
    addSortedEntry(availableList, group);
    selectRow(postList, findEntry(postList, group));
  }
  for (const std::string& name : readGroupsFile(groupsFile_)) {
    addSortedEntry(availableList, QString::fromStdString(name));
  }
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
