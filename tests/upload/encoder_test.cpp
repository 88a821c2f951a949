#include "upload/encoder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "platform/file_io.h"
#include "support/temp_dir.h"
#include "upload/encode_streams.h"

namespace tidewell {
namespace {

// A plain reference encoder, written straight from the format: a 45-byte
// line buffer read line by line, 6-bit values offset by 0x20 with the
// backquote for zero, the length character doubled when it is a dot.
std::string referenceUuencode(const std::string& source) {
  const auto six = [](unsigned v) { return (v & 0x3F) == 0 ? '`' : static_cast<char>((v & 0x3F) + 0x20); };
  unsigned char line[45] = {};
  std::string out;
  std::size_t at = 0;
  for (;;) {
    const std::size_t n = std::min<std::size_t>(45, source.size() - at);
    for (std::size_t i = 0; i < n; ++i) {
      line[i] = static_cast<unsigned char>(source[at + i]);
    }
    at += n;
    out += six(static_cast<unsigned>(n));
    if (six(static_cast<unsigned>(n)) == '.') {
      out += '.';
    }
    for (std::size_t i = 0; i < n; i += 3) {
      out += six(line[i] >> 2);
      out += six(((line[i] << 4) & 0x30) | ((line[i + 1] >> 4) & 0x0F));
      out += six(((line[i + 1] << 2) & 0x3C) | ((line[i + 2] >> 6) & 0x03));
      out += six(line[i + 2]);
    }
    out += "\r\n";
    if (n == 0) {
      return out;
    }
  }
}

std::string randomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) {
    c = static_cast<char>(random() & 0xFF);
  }
  return bytes;
}

class EncoderTest : public ::testing::Test {
 protected:
  std::string encode(const std::string& name, const std::string& content) {
    dir.write(name, content);
    EXPECT_EQ(encodeFile(dir.path(), name, dir.file("OUT.ENC")), kEncodeOk);
    return dir.read("OUT.ENC");
  }
  test::TempDir dir;
};

TEST_F(EncoderTest, EncodesTheDocumentedExamplesByteForByte) {
  EXPECT_EQ(encode("one.bin", "A"), "!00``\r\n`\r\n");
  const std::string fourteen = encode("fourteen.bin", "fourteen bytes");
  EXPECT_EQ(fourteen.size(), 27u);
  EXPECT_TRUE(fourteen.starts_with("..")) << fourteen;
  EXPECT_EQ(fourteen.find("\r\n"), 22u);
  EXPECT_TRUE(fourteen.ends_with("\r\n`\r\n"));
  const std::string full = encode("full.bin", std::string(45, 'x'));
  EXPECT_EQ(full.size(), 66u);
  EXPECT_EQ(full[0], 'M');
  EXPECT_EQ(encode("more.bin", std::string(46, 'x')).size(), 73u);
  EXPECT_EQ(encode("empty.bin", ""), "`\r\n");
}

TEST_F(EncoderTest, MatchesTheReferenceEncoderAcrossLineAndBlockBoundaries) {
  // The encoder reads 4096 lines (184320 bytes) at a time: the short last
  // line must still take its missing bytes from the previous line, even
  // when that line was in the previous block.
  constexpr std::size_t kBlock = 4096 * 45;
  for (const std::size_t size : {std::size_t{2}, std::size_t{47}, std::size_t{91}, kBlock - 1, kBlock, kBlock + 1,
                                 kBlock + 14, 2 * kBlock + 44}) {
    const std::string source = randomBytes(size, static_cast<unsigned>(size));
    const std::string encoded = encode("random.bin", source);
    ASSERT_EQ(encoded, referenceUuencode(source)) << "size " << size;
    EXPECT_EQ(encoded.find(' '), std::string::npos);
  }
}

TEST_F(EncoderTest, PortableAndFastestLineEncodersAgree) {
  const std::string source = randomBytes(3 * 4096 * 45 + 1000, 11);
  const std::string expected = referenceUuencode(source);
  for (const LineEncoder lineEncoder : {LineEncoder::Fastest, LineEncoder::Portable}) {
    dir.write("source.bin", source);
    const FileDescriptor in = openRegularForRead(dir.file("source.bin"));
    const FileDescriptor out = createForWrite(dir.file("OUT.ENC"));
    ASSERT_EQ(uuencodeStream(in.get(), out.get(), lineEncoder), kEncodeOk);
    EXPECT_TRUE(dir.read("OUT.ENC") == expected);
  }
}

TEST_F(EncoderTest, ShortLastLineBorrowsBytesOfThePreviousLine) {
  std::string source(45, '\0');
  source[1] = static_cast<char>(0xFF);
  source[2] = static_cast<char>(0xFF);
  source += 'A';  // the second line holds one byte; its group takes 0xFF 0xFF
  const std::string encoded = encode("borrow.bin", source);
  const std::string second = encoded.substr(63, 7);
  EXPECT_EQ(second, "!0?__\r\n");
}

TEST(TextFileRule, KnowsThreeExtensionsInAnyCase) {
  EXPECT_TRUE(isTextFile("readme.txt"));
  EXPECT_TRUE(isTextFile("RUN.BAT"));
  EXPECT_TRUE(isTextFile("Setup.Ini"));
  EXPECT_FALSE(isTextFile("txt"));
  EXPECT_FALSE(isTextFile("notes.txt.zip"));
  EXPECT_FALSE(isTextFile("picture.jpg"));
}

TEST_F(EncoderTest, TextFilesAreCopiedWithCrLfAndDoubledLeadingDots) {
  EXPECT_EQ(encode("notes.txt", "a\n.b\r\n..c\rd\n.\n\r\n.last"), "a\r\n..b\r\n...c\rd\r\n..\r\n\r\n..last");
  EXPECT_EQ(encode("cr.TXT", "x\r"), "x\r");
  EXPECT_EQ(encode("crdot.txt", "\r.\r\n"), "\r.\r\n");
  // A dot that follows a cut of a long line is not at a line start.
  const std::string longLine = std::string(4095, 'x') + ".y\n.z";
  EXPECT_EQ(encode("long.txt", longLine), std::string(4095, 'x') + ".y\r\n..z");
}

TEST_F(EncoderTest, TextCopyHandlesCrLfSplitAcrossReadBlocks) {
  std::string source(262143, 'a');
  source += "\r\n.next\r";
  std::string expected(262143, 'a');
  expected += "\r\n..next\r";
  EXPECT_EQ(encode("big.txt", source), expected);
}

// The tap hands every source byte over once, in order, at its offset, and
// leaves the encoded text as it is without one; sizes straddle the read
// blocks of both encodings (180 KiB uuencode, 256 KiB text).
TEST_F(EncoderTest, TheTapSeesEverySourceByteOnceAndChangesNoOutput) {
  const struct {
    const char* name;
    std::size_t size;
  } cases[] = {{"empty.bin", 0},
               {"one.bin", 1},
               {"block.bin", 4096 * 45},
               {"over.bin", 4096 * 45 + 1},
               {"three.bin", 3 * 4096 * 45 + 44},
               {"empty.txt", 0},
               {"block.txt", 262144},
               {"over.txt", 262144 + 7}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string source = randomBytes(c.size, static_cast<unsigned>(c.size));
    const std::string plain = encode(c.name, source);
    std::string seen;
    std::int64_t calls = 0;
    const SourceTap tap = [&](std::int64_t offset, const unsigned char* data, std::size_t size) {
      EXPECT_EQ(offset, static_cast<std::int64_t>(seen.size()));
      EXPECT_GT(size, 0U);
      seen.append(reinterpret_cast<const char*>(data), size);
      ++calls;
    };
    ASSERT_EQ(encodeFile(dir.path(), c.name, dir.file("OUT.ENC"), tap), kEncodeOk);
    EXPECT_TRUE(seen == source);
    EXPECT_TRUE(dir.read("OUT.ENC") == plain);
    EXPECT_LE(calls, 4);
  }
}

TEST_F(EncoderTest, OpensTheSourceUnderItsListedName) {
  dir.write("Photo.JPG", "data");
  EXPECT_EQ(encodeFile(dir.path(), "Photo.JPG", dir.file("OUT.ENC")), kEncodeOk);
  EXPECT_EQ(encodeFile(dir.path(), "photo.jpg", dir.file("OUT.ENC")), kEncodeSourceFailed);
}

TEST_F(EncoderTest, ReportsEachFailureWithItsCode) {
  dir.write("a.bin", "data");
  EXPECT_EQ(encodeFile(" \t\r\n", "a.bin", dir.file("OUT.ENC")), kEncodeNoDirectory);
  EXPECT_EQ(encodeFile("  " + dir.path() + " ", "a.bin", dir.file("OUT.ENC")), kEncodeOk);
  EXPECT_EQ(encodeFile(dir.path(), "missing.bin", dir.file("OUT.ENC")), kEncodeSourceFailed);
  std::filesystem::create_directory(dir.file("folder.bin"));
  EXPECT_EQ(encodeFile(dir.path(), "folder.bin", dir.file("OUT.ENC")), kEncodeSourceFailed);
  EXPECT_EQ(encodeFile(dir.path(), "a.bin", dir.file("no/such/dir/OUT.ENC")), kEncodeOutputFailed);
  EXPECT_EQ(encodeFile(dir.path(), "a.bin", dir.path()), kEncodeOutputFailed);
}

TEST_F(EncoderTest, AFullDiskIsAFailureNotASuccess) {
  if (!std::filesystem::exists("/dev/full")) {
    GTEST_SKIP() << "no /dev/full";
  }
  dir.write("a.bin", "data");
  dir.write("a.txt", "data\n");
  EXPECT_EQ(encodeFile(dir.path(), "a.bin", "/dev/full"), kEncodeOutputFailed);
  EXPECT_EQ(encodeFile(dir.path(), "a.txt", "/dev/full"), kEncodeOutputFailed);
}

}  // namespace
}  // namespace tidewell
