#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/value_rules.h"
#include "upload/article_buffer.h"
#include "upload/source_tap.h"

namespace tidewell {

// yEnc 1.3, multi-part form. Every article carries one part of one file:
//
//   =ybegin part=<k> total=<N> line=<L> size=<file size> name=<name>
//   =ypart begin=<first byte, from 1> end=<last byte>
//   <the part's bytes, encoded, in lines of L characters (L + 1 when the
//    line ends in an escape)>
//   =yend size=<part size> part=<k> pcrc32=<part CRC> [crc32=<file CRC>]
//
// every line ended by CR LF; the file's CRC rides on the last part. No body
// line begins with "." (it is escaped there), so the text goes onto the
// wire without dot-stuffing.

inline constexpr int kDefaultYencLineLength = 128;

// How a file is cut into parts: every part but the last carries partLength
// source bytes, the last the rest. An empty file is one empty part.
struct YencPartPlan {
  std::int64_t fileSize = 0;
  std::int64_t partLength = 0;
  std::int32_t partCount = 1;

  // Offset of part k's first byte (k from 1) and its number of bytes.
  [[nodiscard]] std::int64_t partBegin(std::int32_t k) const { return (k - 1) * partLength; }
  [[nodiscard]] std::int64_t partSize(std::int32_t k) const;
};

// A part size setting of 0 or below means one part per file (up to
// kWholeFilePartSize bytes, as for uuencode).
[[nodiscard]] YencPartPlan planYencParts(std::int64_t fileSize, std::int32_t partSizeSetting);

// The name for the "name=" field: the real file name with every control
// character (below 0x20 other than tab, and 0x7F) made "_", so it cannot
// end the line early. Other bytes, UTF-8 included, stay as they are.
[[nodiscard]] std::string yencSafeName(std::string_view name);

// The header and trailer lines, CR LF included.
[[nodiscard]] std::string yencBeginLines(const YencPartPlan& plan, std::int32_t part, int lineLength,
                                         std::string_view name);
[[nodiscard]] std::string yencEndLine(const YencPartPlan& plan, std::int32_t part, std::uint32_t partCrc,
                                      std::optional<std::uint32_t> fileCrc);

// Which code encodes the lines: the fastest the processor offers, or one in
// particular (tests compare each with the portable one).
enum class YencPath { Fastest, Portable, Ssse3, Avx2, Avx512 };
[[nodiscard]] bool yencPathAvailable(YencPath path);
[[nodiscard]] std::string_view yencPathName(YencPath path);

// Where a line of the body stands, carried from one block of source bytes to
// the next.
struct YencLine {
  int lineLength = kDefaultYencLineLength;
  int column = 0;
};

// Encodes `size` source bytes into `out` and returns the number of bytes
// written; `out` needs room for yencBlockBound(size). `final`: the block
// ends the part, so its last byte ends a line and the line is closed with
// CR LF. Blocks of any size give the same text as one block.
[[nodiscard]] std::size_t yencEncodeBlock(const unsigned char* in, std::size_t size, char* out, YencLine& line,
                                          bool final, YencPath path = YencPath::Fastest);
[[nodiscard]] constexpr std::size_t yencBlockBound(std::size_t size) {
  return 4 * size + 64;
}

// What encoding one part found out.
struct YencPartResult {
  std::uint32_t partCrc = 0;                // CRC of the part's source bytes
  std::optional<std::uint32_t> crcThrough;  // CRC of the file up to the part's end, when known
  std::int64_t encodedBytes = 0;            // bytes handed to the sink, header and trailer lines included
};

// Receives the text in pieces; false stops the encoding (a failed write).
using YencSink = std::function<bool(std::string_view)>;

struct YencPartRequest {
  int source = -1;  // open descriptor of the file, read with pread (its offset is not moved)
  YencPartPlan plan;
  std::int32_t part = 1;
  std::string_view name;  // the real name; yencSafeName is applied
  int lineLength = kDefaultYencLineLength;
  // CRC of the file's bytes before this part, when the caller has it (the
  // crcThrough of the part before; the first part needs none). The last part
  // needs the file's CRC: without this it reads the earlier bytes again to
  // compute it.
  std::optional<std::uint32_t> crcBefore;
  // Sees each block of the part's source bytes as it is read.
  SourceTap sourceTap;
  // When set, the text is encoded in place at the end of this buffer and
  // the sink is not called.
  ArticleBuffer* output = nullptr;
};

// Encodes parts through fixed buffers: memory stays the same whatever the
// size of the file or part. One encoder serves any number of parts.
class YencEncoder {
 public:
  explicit YencEncoder(YencPath path = YencPath::Fastest);

  // Writes the whole article body of one part to `sink`. Returns kEncodeOk,
  // kEncodeSourceFailed (read error, or the file is shorter than planned)
  // or kEncodeOutputFailed (the sink refused).
  [[nodiscard]] int encodePart(const YencPartRequest& request, const YencSink& sink, YencPartResult& result);

 private:
  bool crcOfRange(int source, std::int64_t offset, std::int64_t size, std::uint32_t& crc);

  YencPath path_;
  std::vector<unsigned char> input_;
  std::vector<char> output_;
};

// Encodes the file at `sourcePath` as all of its parts, one after the other,
// into `outputPath` (replaced). For the benchmark and the tests.
[[nodiscard]] int yencEncodeFile(const std::string& sourcePath, std::string_view name, const std::string& outputPath,
                                 std::int32_t partSizeSetting, int lineLength = kDefaultYencLineLength,
                                 YencPath path = YencPath::Fastest);

}  // namespace tidewell
