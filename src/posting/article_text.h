#pragma once

#include <string>
#include <string_view>

namespace tidewell {

// `text` with every control character (bytes below 0x20 other than tab, and
// 0x7F) replaced by `replacement`. A carriage return or line feed in a
// header value would end the header line and let the rest pose as headers
// or body; no text reaches a header or a line of its own without this.
[[nodiscard]] std::string headerSafeText(std::string_view text, char replacement);

// Body text as lines on the wire: every line end (CR LF, a lone CR or a
// lone LF) becomes CR LF, and a line beginning with a dot gets a second
// one, which the server takes off again. No line end is added after the
// last line.
[[nodiscard]] std::string bodyWireLines(std::string_view text);

}  // namespace tidewell
