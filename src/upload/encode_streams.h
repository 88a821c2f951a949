#pragma once

namespace tidewell {

// The two encodings behind encodeFile, from one open descriptor to another.
// Both return kEncodeOk, kEncodeSourceFailed on a read error or
// kEncodeOutputFailed on a write error (see encoder.h).

// Uuencoded data lines with CR LF ends, closed by the line "`".
int uuencodeStream(int source, int output);
// The text with every line end made CR LF and a dot doubled at the start of
// every line.
int copyTextStream(int source, int output);

}  // namespace tidewell
