#include "upload/yenc.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "support/temp_dir.h"
#include "upload/crc32.h"
#include "upload/encoder.h"
#include "upload/part_plan.h"

namespace tidewell {
namespace {

// Source bytes that encode to the given characters (each minus 42), so the
// cases below read as the encoded text they are about.
std::string sourceFor(std::string_view encoded) {
  std::string source;
  for (const char c : encoded) {
    source += static_cast<char>(static_cast<unsigned char>(c) - 42);
  }
  return source;
}

std::string encodeBody(const std::string& source, int lineLength, YencPath path = YencPath::Portable) {
  std::vector<char> out(yencBlockBound(source.size()));
  YencLine line{lineLength, 0};
  const std::size_t size = yencEncodeBlock(reinterpret_cast<const unsigned char*>(source.data()), source.size(),
                                           out.data(), line, true, path);
  return std::string(out.data(), size);
}

TEST(YencEscapeTest, EscapesEachCharacterWhereItMustBe) {
  struct Case {
    const char* what;
    std::string encoded;  // the characters before escaping
    int lineLength;
    std::string expected;
  };
  const std::string nul(1, '\0');
  const std::vector<Case> cases = {
      {"NUL, LF, CR and = mid-line", "a" + nul + "\n\r=b", 128, "a=@=J=M=}b\r\n"},
      {"TAB and space mid-line stay", "a\t b", 128, "a\t b\r\n"},
      {"TAB at the line start", "\tab", 128, "=Iab\r\n"},
      {"space at the line start", " ab", 128, "=`ab\r\n"},
      {"TAB at the line end", "ab\tcd", 3, "ab=I\r\ncd\r\n"},
      {"space at the line end", "ab cd", 3, "ab=`\r\ncd\r\n"},
      {"space as the part's last byte", "ab ", 128, "ab=`\r\n"},
      {"dot at the line start", ".a.b", 3, "=na\r\n=nb\r\n"},
      {"dot mid-line and at the line end stays", "a.b.", 2, "a.\r\nb.\r\n"},
      {"a line ending on an escape is one longer", "ab=cd", 3, "ab=}\r\ncd\r\n"},
      {"an escape just before the end ends the line", "a=bc", 3, "a=}\r\nbc\r\n"},
      {"the next line starts fresh after a long one", "ab=.", 3, "ab=}\r\n=n\r\n"},
      {"one-character lines", " .a", 1, "=`\r\n=n\r\na\r\n"},
      {"a line exactly full ends once", "abc", 3, "abc\r\n"},
      {"nothing at all", "", 128, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(encodeBody(sourceFor(c.encoded), c.lineLength), c.expected) << c.what;
  }
}

// Random bytes with many critical ones, so escapes fall at every place of a
// SIMD step and of a line.
std::string trickyBytes(std::size_t size, unsigned seed) {
  const std::string critical = sourceFor(std::string("\0\n\r=\t .", 7));
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) {
    c = random() % 4 == 0 ? critical[random() % critical.size()] : static_cast<char>(random() & 0xFF);
  }
  return bytes;
}

TEST(YencEscapeTest, EverySimdPathAndBlockSplitGivesThePortableText) {
  std::vector<YencPath> paths;
  for (const YencPath path : {YencPath::Ssse3, YencPath::Avx2, YencPath::Avx512, YencPath::Fastest}) {
    if (yencPathAvailable(path)) {
      paths.push_back(path);
    }
  }
  const std::vector<int> lineLengths = {1, 2, 3, 16, 31, 32, 33, 64, 127, 128, 997};
  unsigned seed = 1;
  for (const int lineLength : lineLengths) {
    for (const std::size_t size : {0, 1, 15, 16, 17, 33, 64, 200, 1000, 5000}) {
      const std::string source = trickyBytes(size, seed++);
      const std::string expected = encodeBody(source, lineLength);
      for (const YencPath path : paths) {
        EXPECT_EQ(encodeBody(source, lineLength, path), expected)
            << yencPathName(path) << " line " << lineLength << " size " << size;
        // The same bytes fed in uneven blocks.
        std::vector<char> out(yencBlockBound(source.size()));
        YencLine line{lineLength, 0};
        std::size_t at = 0;
        std::size_t written = 0;
        for (std::size_t block = 1; at < source.size(); block = block * 3 + 1) {
          const std::size_t count = std::min(block, source.size() - at);
          written += yencEncodeBlock(reinterpret_cast<const unsigned char*>(source.data()) + at, count,
                                     out.data() + written, line, at + count == source.size(), path);
          at += count;
        }
        EXPECT_EQ(std::string(out.data(), written), expected) << yencPathName(path) << " in blocks";
      }
    }
  }
}

std::uint32_t zlibCrc(std::string_view bytes) {
  return static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

TEST(Crc32Test, BothPathsAgreeWithZlibAndCombine) {
  EXPECT_EQ(crc32Update(0, "123456789", 9), 0xCBF43926u);
  const std::string bytes = trickyBytes(5000, 7);
  for (const std::size_t offset : {0, 1, 3}) {
    for (const std::size_t size : {0, 15, 63, 64, 65, 127, 128, 255, 256, 300, 511, 1000, 4099}) {
      const std::string_view piece = std::string_view(bytes).substr(offset, size);
      const std::uint32_t expected = zlibCrc(piece);
      EXPECT_EQ(crc32Update(0, piece.data(), piece.size(), CrcPath::Table), expected) << size;
      EXPECT_EQ(crc32Update(0, piece.data(), piece.size(), CrcPath::Fastest), expected) << size;
      for (const std::size_t at :
           {std::size_t{0}, std::size_t{1}, size / 3, size / 2, size - std::min<std::size_t>(size, 1), size}) {
        const std::size_t split = std::min(at, size);
        const std::string_view head = piece.substr(0, split);
        const std::string_view tail = piece.substr(split);
        EXPECT_EQ(crc32Combine(zlibCrc(head), zlibCrc(tail), static_cast<std::int64_t>(tail.size())), expected)
            << size << " split at " << split;
      }
    }
  }
}

TEST(YencPlanTest, CutsOnSourceBytes) {
  struct Case {
    std::int64_t fileSize;
    std::int32_t setting;
    std::int32_t parts;
    std::int64_t lastSize;
  };
  const std::vector<Case> cases = {
      {0, 1000, 1, 0},
      {1, 1000, 1, 1},
      {999, 1000, 1, 999},
      {1000, 1000, 1, 1000},
      {1001, 1000, 2, 1},
      {5000, 1000, 5, 1000},
      {5000, 0, 1, 5000},
      {40000000, -1, 2, 40000000 - kWholeFilePartSize},
      {6442450944, 1, 1610612736, 4},  // a tiny part size: the parts grow so their count fits
  };
  for (const Case& c : cases) {
    const YencPartPlan plan = planYencParts(c.fileSize, c.setting);
    EXPECT_EQ(plan.partCount, c.parts) << c.fileSize << "/" << c.setting;
    EXPECT_EQ(plan.partSize(plan.partCount), c.lastSize) << c.fileSize << "/" << c.setting;
  }
}

class YencFileTest : public ::testing::Test {
 protected:
  // Encodes `content` as the file `name` and returns the articles' text.
  std::string encodeFile(const std::string& name, const std::string& content, std::int32_t partSize,
                         int lineLength = kDefaultYencLineLength) {
    dir.write("source", content);
    EXPECT_EQ(yencEncodeFile(dir.file("source"), name, dir.file("out"), partSize, lineLength), kEncodeOk);
    return dir.read("out");
  }
  test::TempDir dir;
};

TEST_F(YencFileTest, WritesTheHeaderAndTrailerOfEveryPart) {
  const std::string content = trickyBytes(2500, 3);
  const std::string text = encodeFile("data.bin", content, 1000, 64);
  std::size_t at = 0;
  std::uint32_t crcThrough = 0;
  for (int k = 1; k <= 3; ++k) {
    const std::int64_t begin = (k - 1) * 1000;
    const std::string_view part = std::string_view(content).substr(static_cast<std::size_t>(begin), 1000);
    const std::string head = "=ybegin part=" + std::to_string(k) +
                             " total=3 line=64 size=2500 name=data.bin\r\n=ypart begin=" + std::to_string(begin + 1) +
                             " end=" + std::to_string(begin + static_cast<std::int64_t>(part.size())) + "\r\n";
    ASSERT_EQ(text.substr(at, head.size()), head) << "part " << k;
    at = text.find("=yend", at);
    ASSERT_NE(at, std::string::npos);
    crcThrough = crc32Update(crcThrough, part.data(), part.size());
    char tail[128];
    std::snprintf(tail, sizeof tail, "=yend size=%zu part=%d pcrc32=%08x", part.size(), k, zlibCrc(part));
    std::string expected = tail;
    if (k == 3) {
      std::snprintf(tail, sizeof tail, " crc32=%08x", zlibCrc(content));
      expected += tail;
    }
    expected += "\r\n";
    EXPECT_EQ(text.substr(at, expected.size()), expected) << "part " << k;
    at += expected.size();
  }
  EXPECT_EQ(at, text.size());
  EXPECT_EQ(crcThrough, zlibCrc(content));
}

TEST_F(YencFileTest, APartAloneFindsTheFileCrcAndReportsShortFilesAndFailedWrites) {
  const std::string content = trickyBytes(3000, 5);
  const FileDescriptor source = openRegularForRead(dir.write("source", content));
  YencEncoder encoder;
  YencPartRequest request;
  request.source = source.get();
  request.plan = planYencParts(3000, 1000);
  request.part = 3;
  request.name = "source";
  std::string text;
  const YencSink keep = [&](std::string_view piece) {
    text += piece;
    return true;
  };
  YencPartResult result;
  // A resumed run: no CRC of the earlier parts at hand.
  ASSERT_EQ(encoder.encodePart(request, keep, result), kEncodeOk);
  char crc[32];
  std::snprintf(crc, sizeof crc, "crc32=%08x\r\n", zlibCrc(content));
  EXPECT_TRUE(text.ends_with(crc)) << text.substr(text.rfind("=yend"));
  EXPECT_EQ(result.crcThrough, zlibCrc(content));
  EXPECT_EQ(result.encodedBytes, static_cast<std::int64_t>(text.size()));

  request.plan = planYencParts(3500, 1000);  // the file shrank since it was planned
  request.part = 4;
  EXPECT_EQ(encoder.encodePart(request, keep, result), kEncodeSourceFailed);
  request.part = 1;
  EXPECT_EQ(encoder.encodePart(
                request, [](std::string_view) { return false; }, result),
            kEncodeOutputFailed);
}

TEST_F(YencFileTest, PartsInTurnReadEachSourceByteOnce) {
  struct Case {
    std::size_t fileSize;
    std::int32_t partSize;
  };
  for (const Case c : {Case{1, 1000}, Case{1000, 1000}, Case{1001, 1000}, Case{5000, 1000}, Case{300000, 65536}}) {
    const std::string content = trickyBytes(c.fileSize, 9);
    const std::string path = dir.write("source", content);
    const FileDescriptor source = openRegularForRead(path);
    const FileDescriptor scribble(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
    ASSERT_TRUE(source.isOpen() && scribble.isOpen());
    YencEncoder encoder;
    YencPartRequest request;
    request.source = source.get();
    request.plan = planYencParts(static_cast<std::int64_t>(c.fileSize), c.partSize);
    request.name = "source";
    std::string last;
    for (std::int32_t k = 1; k <= request.plan.partCount; ++k) {
      request.part = k;
      last.clear();
      YencPartResult result;
      const YencSink keep = [&](std::string_view text) {
        last += text;
        return true;
      };
      ASSERT_EQ(encoder.encodePart(request, keep, result), kEncodeOk);
      const auto through = static_cast<std::size_t>(request.plan.partBegin(k) + request.plan.partSize(k));
      ASSERT_TRUE(result.crcThrough) << c.fileSize << " part " << k;
      EXPECT_EQ(*result.crcThrough, zlibCrc(std::string_view(content).substr(0, through)));
      request.crcBefore = result.crcThrough;
      // Bytes already encoded change under the encoder: reading them again
      // for the file's CRC would show.
      const std::string garbage(through, '\x5a');
      ASSERT_EQ(::pwrite(scribble.get(), garbage.data(), garbage.size(), 0), static_cast<ssize_t>(through));
    }
    char crc[32];
    std::snprintf(crc, sizeof crc, "crc32=%08x\r\n", zlibCrc(content));
    EXPECT_TRUE(last.ends_with(crc)) << c.fileSize << ": " << last.substr(last.rfind("=yend"));
  }
}

TEST_F(YencFileTest, AnEmptyFileIsOneEmptyPart) {
  EXPECT_EQ(encodeFile("empty.bin", "", 1000),
            "=ybegin part=1 total=1 line=128 size=0 name=empty.bin\r\n=ypart begin=1 end=0\r\n"
            "=yend size=0 part=1 pcrc32=00000000 crc32=00000000\r\n");
}

TEST_F(YencFileTest, NamesKeepSpacesQuotesAndUtf8ButNoControlCharacters) {
  const std::vector<std::pair<std::string, std::string>> names = {
      {"my file \"v2\".bin", "my file \"v2\".bin"},
      {"na\xC3\xAFve \xE2\x9C\x93.bin", "na\xC3\xAFve \xE2\x9C\x93.bin"},
      {"a\rb\nc\x7F"
       "d\te.bin",
       "a_b_c_d\te.bin"},
  };
  for (const auto& [name, shown] : names) {
    const std::string text = encodeFile(name, "x", 1000);
    EXPECT_EQ(text.substr(0, text.find("\r\n")), "=ybegin part=1 total=1 line=128 size=1 name=" + shown);
  }
}

TEST_F(YencFileTest, AnIndependentDecoderGetsTheFileBackWithGoodCrcs) {
  if (std::system("/usr/bin/python3 -c 'import sabyenc3' 2>/dev/null") != 0) {
    GTEST_SKIP() << "python3-sabyenc is not installed";
  }
  const std::string content = trickyBytes(300000, 11);
  const std::string name = "na\xC3\xAFve file.bin";
  encodeFile(name, content, 65536);
  const std::string command = "/usr/bin/python3 " TIDEWELL_SOURCE_DIR "/tests/upload/yenc_decode.py '" +
                              dir.file("out") + "' '" + dir.file("decoded") + "' > '" + dir.file("report") + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_TRUE(dir.read("decoded") == content);
  std::string expected;
  for (int k = 0; k < 5; ++k) {
    expected += name + "|1\n";
  }
  EXPECT_EQ(dir.read("report"), expected);
}

}  // namespace
}  // namespace tidewell
