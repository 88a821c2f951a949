// A composed article held for a link: read back byte for byte in pieces of
// any size, and nothing left in the working directory at any time.
#include "posting/held_article.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "upload/article_spool.h"

namespace tidewell::test {
namespace {

std::size_t entriesIn(const std::string& path) {
  std::size_t count = 0;
  DIR* dir = opendir(path.c_str());
  while (dir != nullptr && readdir(dir) != nullptr) {
    ++count;
  }
  if (dir != nullptr) {
    closedir(dir);
  }
  return count - 2;  // "." and ".."
}

TEST(HeldArticle, ReadsBackWhatWasComposedAndLeavesNoFile) {
  TempDir dir;
  ScopedChdir inDir{dir.path()};
  std::string text;
  for (int i = 0; i < 70000; ++i) {
    text += static_cast<char>('!' + i % 90);
  }
  ArticleSpool spool(dir.file("spool"));
  spool.resetArticleSpool();
  ASSERT_TRUE(spool.appendToArticleSpool(text));
  HeldArticle held;
  ASSERT_EQ(held.holdFrom(spool, 4096), 0);
  spool.deleteArticleSpool();
  EXPECT_EQ(entriesIn(dir.path()), 0U) << "the held file has no name";
  ASSERT_EQ(held.size(), static_cast<std::int64_t>(text.size()));
  for (const std::size_t piece : {std::size_t{1000}, std::size_t{65536}, text.size()}) {
    std::string back;
    std::string chunk;
    for (std::int64_t at = 0; at < held.size(); at += static_cast<std::int64_t>(chunk.size())) {
      const auto want = std::min<std::size_t>(piece, static_cast<std::size_t>(held.size() - at));
      ASSERT_TRUE(held.read(at, want, chunk));
      back += chunk;
    }
    EXPECT_EQ(back, text) << piece;
  }
  std::string past;
  EXPECT_FALSE(held.read(held.size() - 10, 20, past)) << "a short read is said";
  // A spool cut short cannot be held.
  ArticleSpool gone(dir.file("gone"));
  gone.resetArticleSpool();
  ASSERT_TRUE(gone.appendToArticleSpool(text));
  gone.deleteArticleSpool();
  EXPECT_EQ(held.holdFrom(gone, 4096), -1);
}

}  // namespace
}  // namespace tidewell::test
