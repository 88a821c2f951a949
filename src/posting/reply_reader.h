#pragma once

// The server's replies as every connection of a run reads them: bytes wait
// until they make a whole line, one line is one reply, a line may not grow
// beyond kReadSize, and every control character but CR, LF and TAB becomes
// '?' as the bytes arrive, so nothing the server sends reaches a terminal,
// the report or the log raw. Reading from the socket stays with the caller
// (it knows its transport, its log and its errors).
#include <cstddef>
#include <string>
#include <string_view>

#include "posting/nntp_dialogue.h"

namespace tidewell {

class ReplyReader {
 public:
  // How many bytes the next read may take: the pending text never grows
  // beyond kReadSize.
  [[nodiscard]] int room() const { return kReadSize - static_cast<int>(pending_.size()); }
  // Takes bytes just read, making control characters harmless in place;
  // returns them as kept (for the debug log).
  std::string_view add(char* bytes, int size);
  [[nodiscard]] bool hasLine() const { return pending_.find('\n') != std::string::npos; }
  // The pending text is as long as a reply may be and still no line: the
  // server's error.
  [[nodiscard]] bool tooLong() const { return room() <= 0 && !hasLine(); }
  // The first whole line, with its line end; what follows stays pending.
  std::string takeLine();
  // A new connection (or TLS over the old one): nothing read counts.
  void clear() { pending_.clear(); }

 private:
  std::string pending_;
};

// A server's line as a note or the report may show it: no line end, every
// control character '?'.
[[nodiscard]] std::string shownReply(std::string_view line);

}  // namespace tidewell
