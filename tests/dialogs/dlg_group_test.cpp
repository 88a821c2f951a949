#include "dialogs/dlg_group.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "dialogs/dlg_set.h"
#include "dialogs/group_sources.h"
#include "platform/user_prompt.h"
#include "settings/settings_store.h"
#include "support/qt/fake_frame.h"
#include "support/qt/find_widget.h"
#include "support/temp_dir.h"

namespace tidewell {
namespace {

using test::findWidget;

class DlgGroupTest : public ::testing::Test {
 protected:
  DlgGroupTest() {
    posting.setFixedSize(200, 100);
    frame.posting = &posting;
    frame.show();
    settings = std::make_unique<DlgSet>(DialogServices{frame, store, prompt});
    frame.switchPanel(settings.get());
  }

  // Opens the group panel from the settings panel's "..." button.
  DlgGroup& open(const QString& field) {
    settings->newsgroupsField().setText(field);
    QTest::mouseClick(findWidget<QPushButton>(*settings, "groupsButton"), Qt::LeftButton);
    group = settings->groupDialog();
    EXPECT_EQ(frame.shown(), group);
    postList = findWidget<QListWidget>(*group, "postList");
    availableList = findWidget<QListWidget>(*group, "availableList");
    return *group;
  }

  void click(const char* name) { QTest::mouseClick(findWidget<QPushButton>(*group, name), Qt::LeftButton); }

  // A user's double click: the first click, then the double click event.
  static void doubleClick(QListWidget& list, const QListWidgetItem& item) {
    const QPoint at = list.visualItemRect(&item).center();
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at);
  }

  static QStringList entries(const QListWidget& list) {
    QStringList texts;
    for (int i = 0; i < list.count(); ++i) {
      texts.append(list.item(i)->text());
    }
    return texts;
  }
  static QString selected(const QListWidget& list) {
    const auto items = list.selectedItems();
    return items.isEmpty() ? QStringLiteral("<none>") : items.front()->text();
  }

  void selectAvailable(const QString& name) {
    const auto found = availableList->findItems(name, Qt::MatchExactly);
    ASSERT_FALSE(found.isEmpty()) << name.toStdString();
    availableList->setCurrentItem(found.front());
  }

  QString field() const { return settings->newsgroupsField().text(); }

  test::TempDir dir;
  SettingsStore store{dir.file("Tidewell.INI")};
  ScriptedPrompt prompt;
  QWidget posting;
  test::FakeFrame frame;
  std::unique_ptr<DlgSet> settings;
  DlgGroup* group = nullptr;
  QListWidget* postList = nullptr;
  QListWidget* availableList = nullptr;
};

TEST_F(DlgGroupTest, LoadsTheFieldAndTheMasterListSortedWithoutRegardToCase) {
  dir.write("groups.dat", "alt.binaries.test 0000012 0000001 y\r\n\t  Comp.lang.c 1 2 m\n\nalt.test\n");
  open(" alt.b ,Alt.A,, alt.c");
  EXPECT_EQ(entries(*postList), QStringList({"Alt.A", "alt.b", "alt.c"}));
  EXPECT_EQ(selected(*postList), "alt.c");  // the group named last in the field
  EXPECT_EQ(entries(*availableList),
            QStringList({"", "Alt.A", "alt.b", "alt.binaries.test", "alt.c", "alt.test", "Comp.lang.c"}));
  EXPECT_FALSE(findWidget<QPushButton>(*group, "createButton")->isVisible());
  EXPECT_EQ(group->windowTitle(), "Tidewell - Automatic News Posting - Group Selection");
}

TEST_F(DlgGroupTest, AddingAndRemovingBeepWhereNothingCanBeDone) {
  dir.write("groups.dat", "alt.test\nalt.binaries.test\n\n");
  open("ALT.TEST");
  availableList->setCurrentItem(nullptr);
  availableList->clearSelection();
  click("addButton");
  EXPECT_EQ(prompt.beeps, 1);  // nothing selected

  selectAvailable("alt.test");  // the same group in other letters
  click("addButton");
  EXPECT_EQ(prompt.beeps, 2);
  EXPECT_EQ(entries(*postList), QStringList({"ALT.TEST"}));

  selectAvailable("");  // a blank line of the master list is no group
  click("addButton");
  EXPECT_EQ(prompt.beeps, 3);

  selectAvailable("alt.binaries.test");
  doubleClick(*availableList, *availableList->currentItem());
  EXPECT_EQ(entries(*postList), QStringList({"alt.binaries.test", "ALT.TEST"}));
  EXPECT_EQ(selected(*postList), "alt.binaries.test");

  click("removeButton");  // the first goes, the one after it is selected
  EXPECT_EQ(entries(*postList), QStringList({"ALT.TEST"}));
  EXPECT_EQ(selected(*postList), "ALT.TEST");
  doubleClick(*postList, *postList->item(0));
  EXPECT_TRUE(entries(*postList).isEmpty());
  EXPECT_EQ(selected(*postList), "<none>");
  click("removeButton");
  EXPECT_EQ(prompt.beeps, 4);

  click("createButton");  // hidden, but its command only beeps
  EXPECT_EQ(prompt.beeps, 5);
  EXPECT_TRUE(prompt.asked.empty());
}

TEST_F(DlgGroupTest, OkWritesTheGroupsInAlphabeticalOrderJoinedByCommas) {
  dir.write("groups.dat", "c.group\nB.group\na.group\n");
  open("");
  for (const char* name : {"c.group", "B.group", "a.group"}) {
    selectAvailable(name);
    click("addButton");
  }
  click("okButton");
  EXPECT_TRUE(prompt.asked.empty());
  EXPECT_EQ(field(), "a.group,B.group,c.group");
  EXPECT_EQ(frame.shown(), settings.get());
  EXPECT_EQ(group->result(), QDialog::Accepted);
  // Only the settings panel's Ok writes the configuration file.
  EXPECT_EQ(store.read("Newsgroup", "<absent>", 100), "<absent>");
}

TEST_F(DlgGroupTest, OkRefusesNoGroupsAndMoreThanFifty) {
  open("");
  click("okButton");
  ASSERT_EQ(prompt.asked.size(), 1U);
  EXPECT_EQ(prompt.asked[0].text, "You have not specified any groups.");
  EXPECT_EQ(prompt.asked[0].caption, "Tidewell Error");
  EXPECT_EQ(frame.shown(), group);

  QStringList fifty;
  for (int i = 0; i < 50; ++i) {
    fifty.append(QStringLiteral("alt.group%1").arg(i, 2, 10, QLatin1Char('0')));
  }
  const QString exactlyFifty = fifty.join(',');
  open(exactlyFifty + ",alt.extra");
  click("okButton");
  ASSERT_EQ(prompt.asked.size(), 2U);
  EXPECT_EQ(prompt.asked[1].text,
            "More than the maximum number of allowed groups (50) has been selected.  Remove some groups.");
  EXPECT_EQ(field(), exactlyFifty + ",alt.extra");
  EXPECT_EQ(postList->count(), 51);
  EXPECT_EQ(frame.shown(), group);

  postList->setCurrentRow(0);
  click("removeButton");  // alt.extra sorts first
  click("okButton");
  EXPECT_EQ(prompt.asked.size(), 2U);
  EXPECT_EQ(field(), exactlyFifty);
  EXPECT_EQ(frame.shown(), settings.get());
}

TEST_F(DlgGroupTest, CancelLeavesTheFieldExactlyAsItWas) {
  dir.write("groups.dat", "alt.test\n");
  const QString original = " zed , alt.b,,";
  open(original);
  selectAvailable("alt.test");
  click("addButton");
  postList->setCurrentRow(0);
  click("removeButton");
  click("cancelButton");
  EXPECT_EQ(field(), original);
  EXPECT_EQ(frame.shown(), settings.get());
  EXPECT_EQ(group->result(), QDialog::Rejected);

  open(original);
  QTest::keyClick(group, Qt::Key_Escape);
  EXPECT_EQ(field(), original);
  EXPECT_EQ(frame.shown(), settings.get());
}

TEST(GroupSources, MasterListLinesAreReadInPiecesOf511Characters) {
  test::TempDir dir;
  const std::string longLine = std::string(1200, 'g') + "\n";
  const std::string path = dir.write("groups.dat", "  alt.x\t12 13\n" + longLine + "last.line");
  const std::vector<std::string> entries = readGroupsFile(path);
  ASSERT_EQ(entries.size(), 5U);
  EXPECT_EQ(entries[0], "alt.x");
  EXPECT_EQ(entries[1], std::string(511, 'g'));
  EXPECT_EQ(entries[2], std::string(511, 'g'));
  EXPECT_EQ(entries[3], std::string(178, 'g'));
  EXPECT_EQ(entries[4], "last.line");
  EXPECT_TRUE(readGroupsFile(dir.file("none.dat")).empty());
}

TEST(GroupSources, TheMasterListBesideTheConfigurationFileIsPreferred) {
  test::TempDir dir;
  const std::string config = dir.file("Tidewell.INI");
  EXPECT_EQ(groupsFilePath(config), "groups.dat");
  dir.write("groups.dat", "alt.test\n");
  EXPECT_EQ(groupsFilePath(config), dir.file("groups.dat"));
  EXPECT_EQ(groupsFilePath("Tidewell.INI"), "groups.dat");
}

}  // namespace
}  // namespace tidewell
