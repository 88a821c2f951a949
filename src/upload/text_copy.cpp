#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "upload/encode_streams.h"
#include "upload/encoder.h"

namespace tidewell {

int copyTextStream(int source, int output, const SourceTap& tap) {
  constexpr std::size_t kBlockBytes = 262144;
  std::vector<char> input(kBlockBytes);
  std::string out;
  out.reserve(2 * kBlockBytes + 2);
  bool atLineStart = true;
  // A carriage return is held back until the next byte tells whether it
  // ends the line (CR LF) or is an ordinary byte.
  bool pendingReturn = false;
  std::int64_t offset = 0;
  for (;;) {
    const auto got = readFull(source, input.data(), input.size());
    if (!got) {
      return kEncodeSourceFailed;
    }
    if (tap && *got > 0) {
      tap(offset, reinterpret_cast<const unsigned char*>(input.data()), *got);
    }
    offset += static_cast<std::int64_t>(*got);
    out.clear();
    for (std::size_t i = 0; i < *got; ++i) {
      const char c = input[i];
      if (pendingReturn) {
        pendingReturn = false;
        if (c == '\n') {
          out += "\r\n";
          atLineStart = true;
          continue;
        }
        out += '\r';
        atLineStart = false;
      }
      if (c == '\r') {
        pendingReturn = true;
      } else if (c == '\n') {
        out += "\r\n";
        atLineStart = true;
      } else {
        // NNTP takes one leading dot off every line that begins with one.
        if (atLineStart && c == '.') {
          out += '.';
        }
        out += c;
        atLineStart = false;
      }
    }
    const bool atEnd = *got < input.size();
    if (atEnd && pendingReturn) {
      out += '\r';
    }
    if (!writeAll(output, out)) {
      return kEncodeOutputFailed;
    }
    if (atEnd) {
      return kEncodeOk;
    }
  }
}

}  // namespace tidewell
