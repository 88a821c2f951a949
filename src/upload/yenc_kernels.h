#pragma once

// Shared by the yEnc line encoders: the portable one (yenc.cpp) and the
// SIMD ones (yenc_ssse3.cpp, yenc_avx2.cpp, yenc_avx512.cpp, built with
// their own processor flags). Everything here has internal linkage, so each file keeps its own
// copy built with its own flags and none leaks into the baseline code.

#include <bit>
#include <cstddef>
#include <cstdint>

namespace tidewell::yenc_detail {

// Where the line encoder stands: characters on the current output line.
struct LineState {
  int column = 0;
  int lineLength = 128;
};

// Encodes in[0, size) into `out` (room for 4 * size + 64 bytes) and returns
// the end of the output. `final`: in[size - 1] is the last byte of the part,
// so it ends a line whatever the column.
using LineKernel = char* (*)(const unsigned char* in, std::size_t size, char* out, LineState& state, bool final);

char* encodeScalar(const unsigned char* in, std::size_t size, char* out, LineState& state, bool final);
char* encodeSsse3(const unsigned char* in, std::size_t size, char* out, LineState& state, bool final);
char* encodeAvx2(const unsigned char* in, std::size_t size, char* out, LineState& state, bool final);
char* encodeAvx512(const unsigned char* in, std::size_t size, char* out, LineState& state, bool final);

namespace {

// The encoded value of a byte is (byte + 42) mod 256. NUL, LF, CR and "="
// are always escaped ("=" then the value + 64); TAB and space where they
// start or end a line (a server or reader may strip them there); "." where
// it starts a line (NNTP would take it for dot-stuffing).
constexpr unsigned char kEscape = '=';

inline bool alwaysEscaped(unsigned char c) {
  return c == 0 || c == '\n' || c == '\r' || c == '=';
}

// One byte with the rules for its place, then the line end when the line is
// full. A line may be one character longer than lineLength when it ends in
// an escape.
inline char* encodeOne(unsigned char byte, char* out, LineState& state, bool lastOfPart) {
  const auto c = static_cast<unsigned char>(byte + 42);
  bool escape = alwaysEscaped(c);
  if (!escape && (c == '\t' || c == ' ')) {
    escape = state.column == 0 || state.column + 1 >= state.lineLength || lastOfPart;
  } else if (!escape && c == '.') {
    escape = state.column == 0;
  }
  if (escape) {
    *out++ = static_cast<char>(kEscape);
    *out++ = static_cast<char>(static_cast<unsigned char>(c + 64));
    state.column += 2;
  } else {
    *out++ = static_cast<char>(c);
    state.column += 1;
  }
  if (state.column >= state.lineLength) {
    *out++ = '\r';
    *out++ = '\n';
    state.column = 0;
  }
  return out;
}

// After a SIMD step whose output would reach the line's end: the number of
// leading source bytes whose characters all lie before the line's last
// position, given the step's escape mask and `room` = lineLength - 1 -
// column (characters left before the last position). Each escape before the
// cut moves it one byte earlier; an escape that straddles the last position
// keeps the cut after it (that escape then ends the line).
inline int bytesBeforeLineEnd(std::uint64_t escapes, int room) {
  int cut = room;
  while (escapes != 0) {
    const int bit = __builtin_ctzll(escapes);
    if (bit >= cut - 1) {
      break;
    }
    --cut;
    escapes &= escapes - 1;
  }
  return cut;
}

// The loop of every SIMD encoder: a step encodes kWidth source bytes inside
// a line; encodeOne takes the bytes no step takes. The processor-specific
// part is `step(from, lineStart, to, mask)`: it encodes kWidth bytes at
// `from` into `to` (room for 2 * kWidth bytes), sets `mask` (bit k: byte k
// was escaped) and returns the end of its output. kLineEdges: a step may
// start a line (with lineStart it also escapes TAB, space and "." at its
// first byte), and when the line fills inside a step, the byte that ends it
// stays with the step unless it is a TAB or space (those are escaped at a
// line's end: encodeOne takes them). Without it, steps run only inside a
// line and encodeOne takes each line's first and last characters. The
// part's last byte never falls in a step.
//
// The column lives in a local: stores through `out` could alias `state`,
// which would make the compiler reload it after every store. The step is
// branch-free on the escape mask: escapes are too common in binary data for
// one to be predicted.
template <typename Mask, int kWidth, bool kLineEdges, typename Step>
inline char* encodeInSteps(const unsigned char* in, std::size_t size, char* out, LineState& state, bool final,
                           Step step) {
  constexpr auto kStep = static_cast<std::size_t>(kWidth);
  const int lineLength = state.lineLength;
  int column = state.column;
  std::size_t i = 0;
  while (i < size) {
    if ((kLineEdges || column > 0) && i + kStep < size) {
      Mask mask = 0;
      char* const end = step(in + i, column == 0, out, mask);
      const int produced = static_cast<int>(end - out);
      if (column + produced < lineLength) {
        out = end;
        column += produced;
        i += kStep;
        continue;
      }
      int cut = bytesBeforeLineEnd(mask, lineLength - 1 - column);
      int kept = cut + std::popcount(cut >= kWidth ? mask : static_cast<Mask>(mask & ((Mask{1} << cut) - 1u)));
      if (kLineEdges && column + kept < lineLength && cut < kWidth) {
        const auto last = static_cast<unsigned char>(in[i + static_cast<std::size_t>(cut)] + 42);
        if (last != '\t' && last != ' ') {
          kept += 1 + static_cast<int>((mask >> cut) & 1u);
          ++cut;
        }
      }
      out += kept;
      column += kept;
      i += static_cast<std::size_t>(cut);
      if (column >= lineLength) {
        *out++ = '\r';
        *out++ = '\n';
        column = 0;
        continue;
      }
    }
    state.column = column;
    out = encodeOne(in[i], out, state, final && i + 1 == size);
    column = state.column;
    ++i;
  }
  state.column = column;
  return out;
}

}  // namespace
}  // namespace tidewell::yenc_detail
