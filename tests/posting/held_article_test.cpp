// A composed article held for a link: the spool's memory taken over, or the
// spool file read, given back in pieces of any size, a piece asked for
// again (bytes the network did not take) the same, nothing past its end.
#include "posting/held_article.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "upload/article_spool.h"

namespace tidewell::test {
namespace {

class HeldArticleTest : public ::testing::TestWithParam<bool> {};

TEST_P(HeldArticleTest, GivesTheComposedArticleBackInPieces) {
  const bool inMemory = GetParam();
  TempDir dir;
  std::string text;
  for (int i = 0; i < 70000; ++i) {
    text += static_cast<char>('!' + i % 90);
  }
  ArticleSpool spool(dir.file("spool"));
  spool.useMemory(inMemory);
  spool.resetArticleSpool();
  ASSERT_TRUE(spool.appendToArticleSpool(text));
  HeldArticle held;
  // Only an article composed in memory is taken over; one in the file is read.
  ASSERT_EQ(held.holdFrom(spool), inMemory);
  if (!inMemory) {
    held.readFrom(spool);
  }
  ASSERT_EQ(held.size(), static_cast<std::int64_t>(text.size()));
  for (const std::size_t piece : {std::size_t{448}, std::size_t{65536}, text.size()}) {
    std::string back;
    for (std::int64_t at = 0; at < held.size();) {
      const auto want = std::min<std::size_t>(piece, static_cast<std::size_t>(held.size() - at));
      const std::string_view chunk = held.piece(at, want);
      ASSERT_EQ(chunk.size(), want);
      back += chunk;
      // Half of it taken: the rest is asked for again.
      at += static_cast<std::int64_t>(want > 1 && at == 0 ? want / 2 : want);
      if (at < static_cast<std::int64_t>(want)) {
        back.resize(static_cast<std::size_t>(at));
      }
    }
    EXPECT_EQ(back, text) << piece;
  }
  EXPECT_TRUE(held.piece(held.size() - 10, 20).empty()) << "a piece past the end is none";
}

INSTANTIATE_TEST_SUITE_P(HeldArticle, HeldArticleTest, ::testing::Bool(),
                         [](const auto& param) { return param.param ? "InMemory" : "InTheFile"; });

}  // namespace
}  // namespace tidewell::test
