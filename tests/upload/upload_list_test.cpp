#include "upload/upload_list.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace tidewell {
namespace {

std::vector<std::string> namesOf(const nodeManagerClass& list) {
  std::vector<std::string> names;
  for (const nodeClass& entry : list) {
    names.push_back(entry.getName().value_or("<none>"));
  }
  return names;
}

std::vector<std::string> descriptionsOf(const nodeManagerClass& list) {
  std::vector<std::string> descriptions;
  for (const nodeClass& entry : list) {
    descriptions.push_back(entry.getDescription().value_or("<none>"));
  }
  return descriptions;
}

void add(nodeManagerClass& list, std::optional<std::string> name, std::optional<std::string> description = {}) {
  list.insertSorted(std::make_unique<nodeClass>(std::move(name), std::move(description)));
}

TEST(UploadNameOrder, FoldsLowerCaseAndSortsUnderscoreAfterLetters) {
  nodeManagerClass list;
  for (const char* name : {"b.zip", "A.ZIP", "_x.zip", "c.txt"}) {
    add(list, std::string(name));
  }
  EXPECT_EQ(namesOf(list), (std::vector<std::string>{"A.ZIP", "b.zip", "c.txt", "_x.zip"}));
}

TEST(UploadNameOrder, BytesAboveAsciiSortBeforeEverythingAndPrefixesFirst) {
  EXPECT_LT(compareUploadNames("\xC3\xA9t\xC3\xA9.zip", "!.zip"), 0);
  EXPECT_LT(compareUploadNames("ab", "abc"), 0);
  EXPECT_GT(compareUploadNames("ABD", "abc"), 0);
  EXPECT_EQ(compareUploadNames("MiXeD.Zip", "mixed.ZIP"), 0);
  // Only a-z fold: "[" (0x5B) sorts after "Z" but before "a" would in
  // plain ASCII; folded, "a" is 0x41 and so sorts before "[".
  EXPECT_LT(compareUploadNames("a", "["), 0);
}

TEST(UploadNameOrder, EqualNamesKeepInsertionOrderAndNamelessEntriesGoFirst) {
  nodeManagerClass list;
  add(list, std::string("b.zip"), std::string("1"));
  add(list, std::string("a.zip"), std::string("2"));
  add(list, std::string("A.ZIP"), std::string("3"));
  add(list, std::nullopt, std::string("4"));
  add(list, std::string("a.zip"), std::string("5"));
  add(list, std::nullopt, std::string("6"));
  EXPECT_EQ(descriptionsOf(list), (std::vector<std::string>{"6", "4", "2", "3", "5", "1"}));
  list.insertSorted(nullptr);
  EXPECT_EQ(list.size(), 6u);
}

TEST(UploadList, RemovesEntriesByIdentityAndIgnoresStrangers) {
  nodeManagerClass list;
  list.removeHead();  // empty list: nothing happens
  add(list, std::string("a"));
  add(list, std::string("b"));
  add(list, std::string("c"));
  const nodeClass stranger(std::string("b"), std::nullopt);
  list.removeEntry(&stranger);
  list.removeEntry(nullptr);
  EXPECT_EQ(namesOf(list), (std::vector<std::string>{"a", "b", "c"}));

  list.removeEntry(list.getHead()->getNext());
  EXPECT_EQ(namesOf(list), (std::vector<std::string>{"a", "c"}));
  removeHead(list);
  EXPECT_EQ(namesOf(list), (std::vector<std::string>{"c"}));
  list.clear();
  EXPECT_TRUE(list.isEmpty());
  EXPECT_EQ(list.getHead(), nullptr);
}

TEST(UploadList, LongListsAreDestroyedWithoutRecursion) {
  // Nameless entries go in front in constant time; a recursive destructor
  // would overflow the stack on a chain this long.
  nodeManagerClass list;
  for (int i = 0; i < 300000; ++i) {
    add(list, std::nullopt);
  }
  EXPECT_EQ(list.size(), 300000u);
  list.clear();
  EXPECT_TRUE(list.isEmpty());

  auto chain = std::make_unique<nodeClass>(std::nullopt, std::nullopt);
  for (int i = 0; i < 300000; ++i) {
    chain = std::make_unique<nodeClass>(std::nullopt, std::nullopt, std::move(chain));
  }
}

}  // namespace
}  // namespace tidewell
