#pragma once

#include "upload/source_tap.h"

namespace tidewell {

// The two encodings behind encodeFile, from one open descriptor to another.
// Both return kEncodeOk, kEncodeSourceFailed on a read error or
// kEncodeOutputFailed on a write error (see encoder.h). `tap` sees every
// source byte once, in file order, as it is read (the source is read from
// its start).

// Which code encodes the full lines: the fastest the processor offers, or
// the portable one (tests compare the two).
enum class LineEncoder { Fastest, Portable };

// Uuencoded data lines with CR LF ends, closed by the line "`".
int uuencodeStream(int source, int output, LineEncoder lineEncoder = LineEncoder::Fastest, const SourceTap& tap = {});
// The text with every line end made CR LF and a dot doubled at the start of
// every line.
int copyTextStream(int source, int output, const SourceTap& tap = {});

}  // namespace tidewell
