#include "upload/yenc.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <limits>

#include "platform/cpu_features.h"
#include "platform/file_io.h"
#include "upload/crc32.h"
#include "upload/encoder.h"
#include "upload/part_plan.h"
#include "upload/yenc_kernels.h"

namespace tidewell {
namespace {

// Source bytes read per block: small enough to stay in the processor's
// cache between the read, the CRC and the encoding.
constexpr std::size_t kBlockBytes = 64 * 1024;

int clampedLineLength(int lineLength) {
  return std::clamp(lineLength, 1, kLongestYencLine);
}

bool haveAvx512() {
#if defined(__x86_64__)
  static const bool supported = __builtin_cpu_supports("avx512f") != 0 && __builtin_cpu_supports("avx512bw") != 0 &&
                                __builtin_cpu_supports("avx512vbmi2") != 0 && __builtin_cpu_supports("bmi2") != 0 &&
                                __builtin_cpu_supports("popcnt") != 0;
  return supported;
#else
  return false;
#endif
}

YencPath fastestPath() {
  return haveAvx512()    ? YencPath::Avx512
         : cpuHasAvx2()  ? YencPath::Avx2
         : cpuHasSsse3() ? YencPath::Ssse3
                         : YencPath::Portable;
}

yenc_detail::LineKernel kernelFor(YencPath path) {
#if defined(__x86_64__)
  switch (path) {
    case YencPath::Fastest:
      return kernelFor(fastestPath());
    case YencPath::Avx512:
      return haveAvx512() ? yenc_detail::encodeAvx512 : yenc_detail::encodeScalar;
    case YencPath::Ssse3:
      return cpuHasSsse3() ? yenc_detail::encodeSsse3 : yenc_detail::encodeScalar;
    case YencPath::Avx2:
      return cpuHasAvx2() ? yenc_detail::encodeAvx2 : yenc_detail::encodeScalar;
    case YencPath::Portable:
      break;
  }
#else
  (void)path;
#endif
  return yenc_detail::encodeScalar;
}

std::string hex8(std::uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08" PRIx32, value);
  return text;
}

// Reads exactly `size` bytes at `offset`; false on an error or a short file.
bool readAt(int fd, std::int64_t offset, unsigned char* buffer, std::size_t size) {
  while (size > 0) {
    const ssize_t got = pread(fd, buffer, size, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      return false;
    }
    buffer += got;
    size -= static_cast<std::size_t>(got);
    offset += got;
  }
  return true;
}

}  // namespace

namespace yenc_detail {

char* encodeScalar(const unsigned char* in, std::size_t size, char* out, LineState& state, bool final) {
  // The part's last byte always goes through encodeOne.
  const std::size_t stop = final && size > 0 ? size - 1 : size;
  std::size_t i = 0;
  while (i < size) {
    // A run inside a line: neither the first nor the last character.
    if (state.column > 0) {
      while (i < stop && state.column + 1 < state.lineLength) {
        const auto c = static_cast<unsigned char>(in[i++] + 42);
        if (alwaysEscaped(c)) {
          *out++ = static_cast<char>(kEscape);
          *out++ = static_cast<char>(static_cast<unsigned char>(c + 64));
          state.column += 2;
        } else {
          *out++ = static_cast<char>(c);
          state.column += 1;
        }
      }
      if (state.column >= state.lineLength) {
        *out++ = '\r';
        *out++ = '\n';
        state.column = 0;
      }
      if (i == size) {
        break;
      }
    }
    out = encodeOne(in[i], out, state, final && i + 1 == size);
    ++i;
  }
  return out;
}

#if !defined(__x86_64__)
char* encodeSsse3(const unsigned char* in, std::size_t size, char* out, LineState& state, bool final) {
  return encodeScalar(in, size, out, state, final);
}
char* encodeAvx2(const unsigned char* in, std::size_t size, char* out, LineState& state, bool final) {
  return encodeScalar(in, size, out, state, final);
}
char* encodeAvx512(const unsigned char* in, std::size_t size, char* out, LineState& state, bool final) {
  return encodeScalar(in, size, out, state, final);
}
#endif

}  // namespace yenc_detail

std::int64_t YencPartPlan::partSize(std::int32_t k) const {
  if (k < 1 || k > partCount) {
    return 0;
  }
  return k < partCount ? partLength : fileSize - partBegin(k);
}

YencPartPlan planYencParts(std::int64_t fileSize, std::int32_t partSizeSetting) {
  YencPartPlan plan;
  plan.fileSize = fileSize > 0 ? fileSize : 0;
  plan.partLength = partSizeSetting > 0 ? partSizeSetting : kWholeFilePartSize;
  // A tiny hand-set part size must not overflow the part count (and the
  // part numbers of the articles): the parts grow instead.
  constexpr std::int64_t kMostParts = std::numeric_limits<std::int32_t>::max();
  if ((plan.fileSize + plan.partLength - 1) / plan.partLength > kMostParts) {
    plan.partLength = (plan.fileSize + kMostParts - 1) / kMostParts;
  }
  plan.partCount =
      plan.fileSize == 0 ? 1 : static_cast<std::int32_t>((plan.fileSize + plan.partLength - 1) / plan.partLength);
  return plan;
}

std::string yencSafeName(std::string_view name) {
  std::string safe(name);
  for (char& c : safe) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && byte != '\t') || byte == 0x7F) {
      c = '_';
    }
  }
  return safe;
}

std::string yencBeginLines(const YencPartPlan& plan, std::int32_t part, int lineLength, std::string_view name) {
  const std::int64_t begin = plan.partBegin(part);
  return "=ybegin part=" + std::to_string(part) + " total=" + std::to_string(plan.partCount) +
         " line=" + std::to_string(clampedLineLength(lineLength)) + " size=" + std::to_string(plan.fileSize) +
         " name=" + yencSafeName(name) + "\r\n=ypart begin=" + std::to_string(begin + 1) +
         " end=" + std::to_string(begin + plan.partSize(part)) + "\r\n";
}

std::string yencEndLine(const YencPartPlan& plan, std::int32_t part, std::uint32_t partCrc,
                        std::optional<std::uint32_t> fileCrc) {
  std::string line = "=yend size=" + std::to_string(plan.partSize(part)) + " part=" + std::to_string(part) +
                     " pcrc32=" + hex8(partCrc);
  if (fileCrc) {
    line += " crc32=" + hex8(*fileCrc);
  }
  return line + "\r\n";
}

bool yencPathAvailable(YencPath path) {
  switch (path) {
    case YencPath::Ssse3:
      return cpuHasSsse3();
    case YencPath::Avx2:
      return cpuHasAvx2();
    case YencPath::Avx512:
      return haveAvx512();
    case YencPath::Fastest:
    case YencPath::Portable:
      break;
  }
  return true;
}

std::string_view yencPathName(YencPath path) {
  switch (path) {
    case YencPath::Fastest:
      return yencPathName(fastestPath());
    case YencPath::Portable:
      return "portable";
    case YencPath::Ssse3:
      return "SSSE3";
    case YencPath::Avx2:
      return "AVX2";
    case YencPath::Avx512:
      return "AVX-512";
  }
  return "portable";
}

std::size_t yencEncodeBlock(const unsigned char* in, std::size_t size, char* out, YencLine& line, bool final,
                            YencPath path) {
  yenc_detail::LineState state{line.column, clampedLineLength(line.lineLength)};
  char* end = kernelFor(path)(in, size, out, state, final);
  if (final && state.column > 0) {
    *end++ = '\r';
    *end++ = '\n';
    state.column = 0;
  }
  line.column = state.column;
  return static_cast<std::size_t>(end - out);
}

YencEncoder::YencEncoder(YencPath path) : path_(path), input_(kBlockBytes), output_(yencBlockBound(kBlockBytes)) {}

bool YencEncoder::crcOfRange(int source, std::int64_t offset, std::int64_t size, std::uint32_t& crc) {
  crc = 0;
  while (size > 0) {
    const auto count = static_cast<std::size_t>(std::min<std::int64_t>(size, kBlockBytes));
    if (!readAt(source, offset, input_.data(), count)) {
      return false;
    }
    crc = crc32Update(crc, input_.data(), count);
    offset += static_cast<std::int64_t>(count);
    size -= static_cast<std::int64_t>(count);
  }
  return true;
}

int YencEncoder::encodePart(const YencPartRequest& request, const YencSink& sink, YencPartResult& result) {
  result = YencPartResult{};
  const YencPartPlan& plan = request.plan;
  const std::int32_t part = request.part;
  std::optional<std::uint32_t> crcBefore = request.crcBefore;
  if (!crcBefore && plan.partBegin(part) == 0) {
    // Nothing comes before the first part: its crcThrough is its own CRC, so
    // a caller that passes each part's crcThrough on to the next never has
    // the last part read the file again for the whole file's CRC.
    crcBefore = 0;
  }
  if (part == plan.partCount && !crcBefore) {
    std::uint32_t crc = 0;
    if (!crcOfRange(request.source, 0, plan.partBegin(part), crc)) {
      return kEncodeSourceFailed;
    }
    crcBefore = crc;
  }

  ArticleBuffer* const output = request.output;
  const auto emit = [&](std::string_view text) {
    result.encodedBytes += static_cast<std::int64_t>(text.size());
    if (output != nullptr) {
      output->append(text);
      return true;
    }
    return sink(text);
  };
  if (!emit(yencBeginLines(plan, part, request.lineLength, request.name))) {
    return kEncodeOutputFailed;
  }
  YencLine line{request.lineLength, 0};
  std::int64_t offset = plan.partBegin(part);
  std::int64_t left = plan.partSize(part);
  while (left > 0) {
    const auto count = static_cast<std::size_t>(std::min<std::int64_t>(left, kBlockBytes));
    if (!readAt(request.source, offset, input_.data(), count)) {
      return kEncodeSourceFailed;
    }
    result.partCrc = crc32Update(result.partCrc, input_.data(), count);
    if (request.sourceTap) {
      request.sourceTap(offset, input_.data(), count);
    }
    offset += static_cast<std::int64_t>(count);
    left -= static_cast<std::int64_t>(count);
    if (output != nullptr) {
      char* const room = output->room(yencBlockBound(count));
      const std::size_t encoded = yencEncodeBlock(input_.data(), count, room, line, left == 0, path_);
      output->commit(encoded);
      result.encodedBytes += static_cast<std::int64_t>(encoded);
      continue;
    }
    const std::size_t encoded = yencEncodeBlock(input_.data(), count, output_.data(), line, left == 0, path_);
    if (!emit(std::string_view(output_.data(), encoded))) {
      return kEncodeOutputFailed;
    }
  }
  if (crcBefore) {
    result.crcThrough = crc32Combine(*crcBefore, result.partCrc, plan.partSize(part));
  }
  const std::optional<std::uint32_t> fileCrc = part == plan.partCount ? result.crcThrough : std::nullopt;
  if (!emit(yencEndLine(plan, part, result.partCrc, fileCrc))) {
    return kEncodeOutputFailed;
  }
  return kEncodeOk;
}

int yencEncodeFile(const std::string& sourcePath, std::string_view name, const std::string& outputPath,
                   std::int32_t partSizeSetting, int lineLength, YencPath path) {
  const FileDescriptor source = openRegularForRead(sourcePath);
  if (!source.isOpen()) {
    return kEncodeSourceFailed;
  }
  const off_t size = lseek(source.get(), 0, SEEK_END);
  if (size < 0) {
    return kEncodeSourceFailed;
  }
  const FileDescriptor output = createForWrite(outputPath);
  if (!output.isOpen()) {
    return kEncodeOutputFailed;
  }
  YencEncoder encoder(path);
  YencPartRequest request;
  request.source = source.get();
  request.plan = planYencParts(size, partSizeSetting);
  request.name = name;
  request.lineLength = lineLength;
  request.crcBefore = 0;
  const YencSink sink = [&](std::string_view text) { return writeAll(output.get(), text); };
  for (std::int32_t k = 1; k <= request.plan.partCount; ++k) {
    request.part = k;
    YencPartResult result;
    if (const int status = encoder.encodePart(request, sink, result); status != kEncodeOk) {
      return status;
    }
    request.crcBefore = result.crcThrough;
  }
  return kEncodeOk;
}

}  // namespace tidewell
