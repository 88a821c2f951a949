// The journal's part sums: each must be the sum of what the part carries,
// so the sum the run writes as it posts and the one a resumed run computes
// from the file agree, and a change of any byte a posted part carries is
// seen. Text files are covered by the resume tests of the session.
#include "upload/part_checksum.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/file_io.h"
#include "support/temp_dir.h"
#include "upload/crc32.h"
#include "upload/encoder.h"
#include "upload/part_plan.h"
#include "upload/yenc.h"

namespace tidewell {
namespace {

constexpr std::int32_t kPartSize = 1000;

std::string randomBytes(std::size_t size) {
  std::mt19937 random(7);
  std::string bytes(size, '\0');
  for (char& byte : bytes) {
    byte = static_cast<char>(random());
  }
  return bytes;
}

// The bytes uuencoded data lines stand for, decoded here without the
// program's code: a length character, then four characters for each three
// bytes.
std::string uudecodeLines(std::string_view text) {
  std::string bytes;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find("\r\n", at);
    std::string_view line = text.substr(at, end - at);
    at = end + 2;
    if (line.starts_with("..")) {
      line.remove_prefix(1);  // the doubled length character "."
    }
    const int length = line.empty() ? 0 : (line[0] - 32) & 63;
    std::string decoded;
    for (std::size_t i = 1; i < line.size(); i += 4) {
      const auto six = [&](std::size_t k) { return k < line.size() ? (line[k] - 32) & 63 : 0; };
      const int group = six(i) << 18 | six(i + 1) << 12 | six(i + 2) << 6 | six(i + 3);
      decoded += static_cast<char>(group >> 16);
      decoded += static_cast<char>(group >> 8 & 0xFF);
      decoded += static_cast<char>(group & 0xFF);
    }
    bytes += decoded.substr(0, static_cast<std::size_t>(length));
  }
  return bytes;
}

std::uint32_t crcOf(std::string_view bytes) {
  return crc32Update(0, bytes.data(), bytes.size());
}

TEST(PartChecksumTest, EachSumIsOfTheBytesThePartCarries) {
  test::TempDir dir;
  for (const std::size_t size : {std::size_t{0}, std::size_t{44}, std::size_t{2025}, std::size_t{5000}}) {
    SCOPED_TRACE(size);
    const std::string content = randomBytes(size);
    const std::string source = dir.write("f.bin", content);
    const std::string encoded = dir.file("encoded");
    ASSERT_EQ(encodeFile(dir.path(), "f.bin", encoded), kEncodeOk);
    std::string text;
    ASSERT_EQ(readWholeFile(encoded, text), FileRead::Read);
    const auto total = static_cast<std::int64_t>(text.size());
    const PartPlan plan = planParts(total, kPartSize);

    // uuencode: the bytes the part's lines decode to.
    const PartSums uuSums(PartSource::Uuencode, source, encoded, kPartSize, plan.partCount);
    std::string joined;
    for (std::int32_t k = 1; k <= plan.partCount; ++k) {
      const std::int64_t begin = k > 1 ? plan.partEnd(k - 1, total) : 0;
      const std::string decoded = uudecodeLines(std::string_view(text).substr(
          static_cast<std::size_t>(begin), static_cast<std::size_t>(plan.partEnd(k, total) - begin)));
      joined += decoded;
      EXPECT_EQ(uuSums.sumOf(k), crcOf(decoded)) << "uuencode part " << k;
    }
    EXPECT_TRUE(joined == content) << "the decoder reads the whole file back";

    // yEnc: the sum the encoder puts on the part's =yend line.
    const YencPartPlan yencPlan = planYencParts(static_cast<std::int64_t>(size), kPartSize);
    const PartSums yencSums(PartSource::Yenc, source, {}, kPartSize, yencPlan.partCount);
    const FileDescriptor file = openRegularForRead(source);
    YencEncoder encoder;
    for (std::int32_t k = 1; k <= yencPlan.partCount; ++k) {
      YencPartResult result;
      ASSERT_EQ(encoder.encodePart(
                    {file.get(), yencPlan, k, "f.bin", kDefaultYencLineLength, std::nullopt, {}},
                    [](std::string_view) { return true; }, result),
                kEncodeOk);
      EXPECT_EQ(yencSums.sumOf(k), result.partCrc) << "yEnc part " << k;
    }
  }
}

}  // namespace
}  // namespace tidewell
