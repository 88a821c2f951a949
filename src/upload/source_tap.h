#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace tidewell {

// Sees each block of a file's source bytes as an encoder reads it (offset in
// the file, bytes), so other work on the same bytes (the recovery set) needs
// no read of its own. An empty tap is never called.
using SourceTap = std::function<void(std::int64_t, const unsigned char*, std::size_t)>;

}  // namespace tidewell
