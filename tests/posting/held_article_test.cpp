// A composed article held for a link: the spool's memory taken over, given
// back in pieces of any size, nothing past its end.
#include "posting/held_article.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "upload/article_spool.h"

namespace tidewell::test {
namespace {

TEST(HeldArticle, TakesTheComposedArticleOverAndGivesItBackInPieces) {
  TempDir dir;
  std::string text;
  for (int i = 0; i < 70000; ++i) {
    text += static_cast<char>('!' + i % 90);
  }
  ArticleSpool spool(dir.file("spool"));
  spool.useMemory(true);
  spool.resetArticleSpool();
  ASSERT_TRUE(spool.appendToArticleSpool(text));
  HeldArticle held;
  ASSERT_TRUE(held.holdFrom(spool));
  ASSERT_EQ(held.size(), static_cast<std::int64_t>(text.size()));
  for (const std::size_t piece : {std::size_t{1000}, std::size_t{65536}, text.size()}) {
    std::string back;
    for (std::int64_t at = 0; at < held.size();) {
      const auto want = std::min<std::size_t>(piece, static_cast<std::size_t>(held.size() - at));
      const std::string_view chunk = held.piece(at, want);
      ASSERT_EQ(chunk.size(), want);
      back += chunk;
      at += static_cast<std::int64_t>(chunk.size());
    }
    EXPECT_EQ(back, text) << piece;
  }
  EXPECT_TRUE(held.piece(held.size() - 10, 20).empty()) << "a piece past the end is none";
  EXPECT_TRUE(held.piece(held.size() + 1, 0).empty());
  // An article composed into the spool file is not held.
  ArticleSpool onDisk(dir.file("disk"));
  onDisk.resetArticleSpool();
  ASSERT_TRUE(onDisk.appendToArticleSpool(text));
  EXPECT_FALSE(held.holdFrom(onDisk));
  EXPECT_EQ(held.size(), 0);
}

}  // namespace
}  // namespace tidewell::test
