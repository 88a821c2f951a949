#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tidewell {

struct JournalFile;

// The check sums the run journal keeps of each posted part, so a resumed
// run can tell that a file is still the one whose parts the server holds:
// a file changed and given its old size and modification time back (cp -p,
// rsync -t) is posted again rather than finished with parts of two
// contents. Each sum is the CRC-32 of the bytes a part carries:
//
//   yEnc      the part's slice of the source file (the sum its =yend line
//             carries as pcrc32)
//   uuencode  the source bytes its lines encode: 45 bytes a full line, so
//             part k of parts L lines long holds bytes (k-1)*45L to k*45L
//             (the last part runs to the end of the file)
//   text      the part's slice of the text as posted (line ends made CR LF,
//             dots doubled), since copying the lines shifts every offset
enum class PartSource { Yenc, Uuencode, Text };

// How the file `name` is posted with yEnc on or off.
[[nodiscard]] PartSource partSourceOf(std::string_view name, bool yencOn);

// Where part k's summed bytes are found: a file and a range in it.
struct PartBytes {
  std::string path;
  std::int64_t begin = 0;
  std::int64_t end = 0;
};

// The file's parts as the journal sums them. `encodedPath` holds the
// file's encoded text (text files only; it is read, never written).
class PartSums {
 public:
  PartSums(PartSource kind, std::string sourcePath, std::string encodedPath, std::int32_t partSizeSetting,
           std::int32_t partCount);

  [[nodiscard]] PartBytes bytesOf(std::int32_t part) const;
  // The CRC-32 of part k's bytes; none when they cannot all be read.
  [[nodiscard]] std::optional<std::uint32_t> sumOf(std::int32_t part) const;

 private:
  PartSource kind_;
  std::string sourcePath_;
  std::string encodedPath_;
  std::int32_t partSizeSetting_;
  std::int32_t partCount_;
};

// Whether a file's parts in the journal (accepted or in flight) still hold
// what the file holds now.
enum class PostedPartsCheck {
  Same,
  Changed,   // a part's bytes differ from its sum, or cannot be read
  Unsummed,  // a part has no sum (a journal of an older version)
};

// The report's line for a file whose parts are not taken from the journal.
[[nodiscard]] std::string postedAgainText(std::string_view name, PostedPartsCheck check);

// Reads the parts the journal holds of `file` from `directory` and compares
// them with their sums. A text file is encoded into `spoolPath` first.
[[nodiscard]] PostedPartsCheck checkPostedParts(const std::string& directory, const JournalFile& file, bool yencOn,
                                                std::int32_t partSizeSetting, const std::string& spoolPath);

}  // namespace tidewell
