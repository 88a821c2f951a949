#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "support/temp_dir.h"
#include "upload/article_spool.h"
#include "upload/encoded_spool.h"
#include "upload/part_plan.h"

namespace tidewell {
namespace {

std::int64_t lastPartLength(const PartPlan& plan, std::int64_t total) {
  return total - (plan.partCount - 1) * plan.partLength;
}

TEST(PartPlan, CutsOnWholeLinesAndLetsASmallRestRideAlong) {
  PartPlan plan = planParts(100000, 50000);
  EXPECT_EQ(plan.partLength, 49959);
  EXPECT_EQ(plan.partCount, 2);
  EXPECT_EQ(lastPartLength(plan, 100000), 50041);

  plan = planParts(100300, 50000);
  EXPECT_EQ(plan.partCount, 3);
  EXPECT_EQ(lastPartLength(plan, 100300), 382);

  plan = planParts(50000, 50000);
  EXPECT_EQ(plan.partCount, 1);
  EXPECT_EQ(lastPartLength(plan, 50000), 50000);

  EXPECT_EQ(planParts(2 * 49959 + 128, 50000).partCount, 2);
  EXPECT_EQ(planParts(2 * 49959 + 129, 50000).partCount, 3);
}

TEST(PartPlan, ZeroMeansOneArticleUpTo32MiB) {
  EXPECT_EQ(planParts(33554431, 0).partCount, 1);
  EXPECT_EQ(planParts(10, 0).partCount, 1);
  EXPECT_EQ(planParts(10, 0).partLength, 10);
  EXPECT_EQ(planParts(3 * 33554430LL, 0).partCount, 3);
}

TEST(PartPlan, OddSettingsStaySafe) {
  // Settings the dialog never stores must still not divide by zero or
  // plan no part at all.
  EXPECT_EQ(planParts(1000, 1).partLength, 63);
  EXPECT_EQ(planParts(1000, -5).partCount, 1);
  EXPECT_EQ(planParts(0, 50000).partCount, 1);
  EXPECT_EQ(planParts(0, 50000).partLength, 0);
  // Files beyond 2 GiB keep exact offsets.
  const PartPlan big = planParts(5000000000LL, 50000);
  EXPECT_EQ(big.partCount, 100083);
  EXPECT_EQ(big.partEnd(big.partCount - 1, 5000000000LL), (big.partCount - 1) * 49959LL);
}

class SpoolTest : public ::testing::Test {
 protected:
  test::TempDir dir;
};

TEST_F(SpoolTest, ReadsPartsChunkByChunkAndRunsOnToTheNextPart) {
  std::string text;
  for (int i = 0; i < 1000; ++i) {
    text += static_cast<char>('a' + i % 26);
  }
  dir.write("TIDEWELL.ENC", text);
  EncodedSpool encoded(dir.file("TIDEWELL.ENC"));
  encoded.setEncodedTotal(1000);
  encoded.setEncodedPosition(0);
  const PartPlan plan{630, 2};

  std::string chunk;
  ASSERT_TRUE(encoded.readPartChunk(chunk, 512, 1, plan));
  EXPECT_EQ(chunk, text.substr(0, 512));
  EXPECT_FALSE(encoded.isPartComplete(1, plan));
  ASSERT_TRUE(encoded.readPartChunk(chunk, 512, 1, plan));
  EXPECT_EQ(chunk, text.substr(512, 118));
  EXPECT_TRUE(encoded.isPartComplete(1, plan));
  EXPECT_FALSE(encoded.readPartChunk(chunk, 512, 1, plan));
  EXPECT_TRUE(chunk.empty());

  EXPECT_FALSE(encoded.isPartComplete(2, plan));
  ASSERT_TRUE(encoded.readPartChunk(chunk, 512, 2, plan));
  EXPECT_EQ(chunk, text.substr(630));
  EXPECT_TRUE(encoded.isPartComplete(2, plan));
  EXPECT_EQ(encoded.getEncodedPosition(), 1000);
}

TEST_F(SpoolTest, TellsWhetherThePositionStartsALine) {
  dir.write("E", "ab\r\ncd");
  EncodedSpool encoded(dir.file("E"));
  encoded.setEncodedTotal(6);
  EXPECT_TRUE(encoded.isAtLineStart());
  encoded.setEncodedPosition(4);
  EXPECT_TRUE(encoded.isAtLineStart());
  encoded.setEncodedPosition(5);
  EXPECT_FALSE(encoded.isAtLineStart());
}

TEST_F(SpoolTest, AMissingOrShortEncodedFileFailsWithoutMoving) {
  EncodedSpool encoded(dir.file("TIDEWELL.ENC"));
  encoded.setEncodedTotal(300);
  const PartPlan plan{300, 1};
  std::string chunk;
  EXPECT_FALSE(encoded.readPartChunk(chunk, 512, 1, plan));
  dir.write("TIDEWELL.ENC", std::string(200, 'x'));
  EXPECT_FALSE(encoded.readPartChunk(chunk, 512, 1, plan));
  EXPECT_EQ(encoded.getEncodedPosition(), 0);
  std::filesystem::remove(dir.file("TIDEWELL.ENC"));
  std::filesystem::create_directory(dir.file("TIDEWELL.ENC"));
  EXPECT_FALSE(encoded.readPartChunk(chunk, 512, 1, plan));
  EXPECT_EQ(encoded.getEncodedPosition(), 0);
}

TEST_F(SpoolTest, ArticleSpoolAppendsReadsAndRewinds) {
  ArticleSpool article(dir.file("TIDEWELL.ART"));
  dir.write("TIDEWELL.ART", "stale");
  article.resetArticleSpool();
  EXPECT_FALSE(std::filesystem::exists(dir.file("TIDEWELL.ART")));
  EXPECT_TRUE(article.isArticleSent());

  const std::string text(1000, 'q');
  ASSERT_TRUE(article.appendToArticleSpool(text.substr(0, 600)));
  ASSERT_TRUE(article.appendToArticleSpool(text.substr(600)));
  EXPECT_EQ(article.getArticleTotal(), 1000);

  std::string chunk;
  std::string sent;
  while (article.readArticleChunk(chunk, 448)) {
    sent += chunk;
  }
  EXPECT_EQ(sent, text);
  EXPECT_TRUE(article.isArticleSent());
  article.rewindArticle(100);
  EXPECT_EQ(article.getArticleSent(), 900);
  EXPECT_FALSE(article.isArticleSent());
  article.rewindArticle(5000);
  EXPECT_EQ(article.getArticleSent(), 0);

  article.deleteArticleSpool();
  EXPECT_FALSE(std::filesystem::exists(dir.file("TIDEWELL.ART")));
  EXPECT_FALSE(article.readArticleChunk(chunk, 448));
  EXPECT_EQ(article.getArticleSent(), 0);
}

// In memory the article never touches the file, reads and rewinds as the
// file does, and is handed over whole, leaving the spool empty.
TEST_F(SpoolTest, ArticleSpoolInMemoryTouchesNoFile) {
  ArticleSpool article(dir.file("TIDEWELL.ART"));
  article.useMemory(true);
  ASSERT_TRUE(article.appendToArticleSpool("before"));
  EXPECT_FALSE(article.inMemory()) << "the article under way stays in the file";
  EXPECT_TRUE(std::filesystem::exists(dir.file("TIDEWELL.ART")));
  article.resetArticleSpool();
  ASSERT_TRUE(article.inMemory());
  EXPECT_FALSE(std::filesystem::exists(dir.file("TIDEWELL.ART")));

  const std::string text = "Subject: x\r\n\r\n" + std::string(70000, 'q') + ".\r\n";
  ASSERT_TRUE(article.appendToArticleSpool(text.substr(0, 14)));
  ArticleBuffer* const buffer = article.memory();
  ASSERT_NE(buffer, nullptr);
  const std::string_view body = std::string_view(text).substr(14);
  std::copy(body.begin(), body.end(), buffer->room(body.size() + 1000));
  buffer->commit(body.size());
  EXPECT_EQ(article.getArticleTotal(), static_cast<std::int64_t>(text.size()));

  std::string chunk;
  ASSERT_TRUE(article.readArticleChunk(chunk, text.size() - 100));
  EXPECT_EQ(article.unsentView(1000), std::string_view(text).substr(text.size() - 100));
  EXPECT_FALSE(std::filesystem::exists(dir.file("TIDEWELL.ART")));

  const ArticleBuffer taken = article.takeMemory();
  EXPECT_EQ(taken.view(), text);
  EXPECT_EQ(article.getArticleTotal(), static_cast<std::int64_t>(text.size())) << "its size is still known";
  EXPECT_TRUE(article.isArticleSent());
  EXPECT_GE(article.memory()->capacity(), text.size()) << "room kept for the next article";
  article.resetArticleSpool();
  ASSERT_TRUE(article.appendToArticleSpool("next"));
  EXPECT_EQ(taken.view(), text) << "the article handed over is not touched";
}

// A text made ahead with room in front becomes the article itself: the
// headers go in front, the bytes are not copied, the old buffer comes back.
// Without the room, or with the article in the file, nothing changes.
TEST_F(SpoolTest, ArticleSpoolAdoptsATextWithRoomInFront) {
  const std::string headers = "Subject: x\r\n\r\n";
  struct Case {
    const char* name;
    bool inMemory;
    std::size_t room;
    bool adopted;
  };
  for (const Case& c :
       {Case{"room to spare", true, 4096, true}, Case{"room exactly", true, headers.size(), true},
        Case{"room too small", true, headers.size() - 1, false}, Case{"article in the file", false, 4096, false}}) {
    ArticleSpool article(dir.file("TIDEWELL.ART"));
    article.useMemory(c.inMemory);
    article.resetArticleSpool();
    ASSERT_TRUE(article.appendToArticleSpool(headers));
    ArticleBuffer text;
    text.clearLeavingFront(c.room);
    text.append(std::string(70000, 'q'));
    const char* const first = text.view().data();
    ASSERT_EQ(article.adoptText(text), c.adopted) << c.name;
    if (!c.adopted) {
      EXPECT_EQ(text.view(), std::string(70000, 'q')) << c.name;
      EXPECT_EQ(article.getArticleTotal(), static_cast<std::int64_t>(headers.size())) << c.name;
      article.deleteArticleSpool();
      continue;
    }
    EXPECT_EQ(article.unsentView(1 << 20).data() + headers.size(), first) << c.name << ": not copied";
    ASSERT_TRUE(article.appendToArticleSpool(".\r\n"));
    EXPECT_EQ(article.unsentView(1 << 20), headers + std::string(70000, 'q') + ".\r\n") << c.name;
    EXPECT_EQ(text.size(), 0U) << c.name << ": the old buffer comes back empty";
    article.resetArticleSpool();
    EXPECT_EQ(article.getArticleTotal(), 0) << c.name;
  }
}

TEST_F(SpoolTest, AnUnwritableSpoolStillCountsAndFailsTheRead) {
  std::filesystem::create_directory(dir.file("TIDEWELL.ART"));
  ArticleSpool article(dir.file("TIDEWELL.ART"));
  EXPECT_FALSE(article.appendToArticleSpool("header\r\n"));
  EXPECT_EQ(article.getArticleTotal(), 8);
  std::string chunk;
  EXPECT_FALSE(article.readArticleChunk(chunk, 448));
}

}  // namespace
}  // namespace tidewell
