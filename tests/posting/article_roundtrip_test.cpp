// Round trip through independent decoders: every file is encoded, cut into
// parts, composed into articles, received as an NNTP server stores them
// (dot-stuffing undone), and decoded by uudeview (from the articles) and by
// sharutils' uudecode (from the parts' bodies joined in order). Both must
// give back the source byte for byte.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/text.h"
#include "posting/article.h"
#include "posting/article_wire.h"
#include "settings/settings_store.h"
#include "support/recording_display.h"
#include "support/temp_dir.h"
#include "upload/article_spool.h"
#include "upload/encoded_spool.h"
#include "upload/encoder.h"
#include "upload/upload_scan.h"

namespace tidewell {
namespace {

struct SourceFile {
  std::string name;  // as listed; the articles carry it lower-cased
  std::string content;
};

std::string randomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) {
    c = static_cast<char>(random() & 0xFF);
  }
  return bytes;
}

int run(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool haveTool(const char* tool) {
  return run(std::string("command -v ") + tool + " >/dev/null 2>&1") == 0;
}

class ArticleRoundTripTest : public ::testing::Test {
 protected:
  ArticleRoundTripTest()
      : settings(work.file("Tidewell.INI")), encoded(work.file("TIDEWELL.ENC")), article(work.file("TIDEWELL.ART")) {
    std::filesystem::create_directory(sourceDir());
    settings.write("From", "tester@example.com");
    settings.write("Subject", "Round trip");
    settings.write("ShowCount", "FALSE");
    settings.write("BodyComment", "Posted by the round-trip test.\xFC\xE9.A dotted line.");
  }

  void SetUp() override {
    ASSERT_TRUE(haveTool("uudeview") && haveTool("uudecode"))
        << "the round trip needs uudeview and uudecode: apt-get install uudeview sharutils";
  }

  [[nodiscard]] std::string sourceDir() const { return work.file("source"); }

  // Posts every file with the part size setting and checks both decoders.
  void roundTrip(const std::vector<SourceFile>& files, std::int32_t partSize) {
    const std::string tag = std::to_string(partSize);
    const std::string articles = work.file("articles-" + tag);
    const std::string streams = work.file("streams-" + tag);
    const std::string byUudeview = work.file("uudeview-" + tag);
    const std::string byUudecode = work.file("uudecode-" + tag);
    for (const std::string& dir : {articles, streams, byUudeview, byUudecode}) {
      std::filesystem::create_directory(dir);
    }
    std::string streamList;
    for (const SourceFile& file : files) {
      test::writeFile(sourceDir() + "/" + file.name, file.content);
      ASSERT_EQ(encodeFile(sourceDir(), file.name, encoded.path()), kEncodeOk);
      encoded.setEncodedTotal(fileSizeOf(encoded.path()));
      const PartPlan plan = planParts(encoded.getEncodedTotal(), partSize);
      const std::string name = toLowerAscii(file.name);
      std::vector<test::ReceivedArticle> parts;
      ASSERT_TRUE(test::composeAllParts({settings, encoded, article, display}, name, "",
                                        static_cast<std::int64_t>(file.content.size()), plan, parts));
      std::string stream;
      for (std::size_t k = 0; k < parts.size(); ++k) {
        test::writeFile(articles + "/" + name + "." + std::to_string(k + 1), parts[k].asFile());
        std::string body = parts[k].body;
        if (k + 1 < parts.size()) {
          // A part that is not the last ends in an empty line before the
          // "." line; the encoded lines continue in the next part.
          ASSERT_TRUE(body.ends_with("\r\n\r\n"));
          body.resize(body.size() - 2);
        }
        stream += body;
      }
      test::writeFile(streams + "/" + name + ".uue", stream);
      streamList += " " + streams + "/" + name + ".uue";
      std::filesystem::remove(sourceDir() + "/" + file.name);
    }

    ASSERT_EQ(run("cd " + byUudecode + " && uudecode" + streamList), 0);
    ASSERT_EQ(
        run("uudeview -i -o -q -n -p " + byUudeview + "/ " + articles + "/* >" + work.file("uudeview.log") + " 2>&1"),
        0)
        << test::readFile(work.file("uudeview.log"));
    for (const SourceFile& file : files) {
      const std::string name = toLowerAscii(file.name);
      EXPECT_TRUE(test::readFile(byUudecode + "/" + name) == file.content)
          << "uudecode, " << file.name << ", part size " << partSize;
      if (!file.content.empty()) {
        EXPECT_TRUE(test::readFile(byUudeview + "/" + name) == file.content)
            << "uudeview, " << file.name << ", part size " << partSize;
      }
    }
  }

  test::TempDir work;
  SettingsStore settings;
  EncodedSpool encoded;
  ArticleSpool article;
  test::RecordingDisplay display;
};

TEST_F(ArticleRoundTripTest, EveryLengthUpTo300Bytes) {
  std::vector<SourceFile> files;
  for (std::size_t size = 0; size <= 300; ++size) {
    const std::string number = std::to_string(1000 + size).substr(1);
    files.push_back({"S" + number + ".bin", randomBytes(size, static_cast<unsigned>(size))});
  }
  // 0, 50000 and 123457 give one article per file here; 253 cuts the
  // longer files into parts of four lines (uudeview does not take a part of
  // fewer than four encoded lines for data; real part sizes are far above).
  for (const std::int32_t partSize : {0, 50000, 123457, 253}) {
    roundTrip(files, partSize);
  }
}

TEST_F(ArticleRoundTripTest, LargeRandomFiles) {
  const std::vector<SourceFile> files = {
      {"Big.BIN", randomBytes(1048576 + 17, 1)},
      {"middle.dat", randomBytes(45 * 55555 + 14, 2)},  // ends on a line of 14 bytes: a doubled dot
      {"five.zip", randomBytes(5 * 1048576 - 1, 3)},
  };
  for (const std::int32_t partSize : {0, 50000, 123457}) {
    roundTrip(files, partSize);
  }
}

TEST_F(ArticleRoundTripTest, TextFileWithDottedLinesSurvivesDotStuffing) {
  const std::string text = ".\n..\n.leading dot\nplain\r\n...three\r\n.\r\n\n.last";
  test::writeFile(sourceDir() + "/Dots.TXT", text);
  ASSERT_EQ(encodeFile(sourceDir(), "Dots.TXT", encoded.path()), kEncodeOk);
  encoded.setEncodedTotal(fileSizeOf(encoded.path()));
  std::vector<test::ReceivedArticle> parts;
  ASSERT_TRUE(test::composeAllParts({settings, encoded, article, display}, "dots.txt", "",
                                    static_cast<std::int64_t>(text.size()), planParts(encoded.getEncodedTotal(), 0),
                                    parts));
  ASSERT_EQ(parts.size(), 1u);
  EXPECT_EQ(parts[0].header("Subject"), "Round trip - dots.txt (1/1) 44 bytes");
  EXPECT_EQ(parts[0].body,
            "Posted by the round-trip test.\r\n.A dotted line.\r\n\r\n"
            ".\r\n..\r\n.leading dot\r\nplain\r\n...three\r\n.\r\n\r\n.last\r\n");
}

}  // namespace
}  // namespace tidewell
