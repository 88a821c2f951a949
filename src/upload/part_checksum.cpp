#include "upload/part_checksum.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "platform/file_io.h"
#include "platform/file_system.h"
#include "upload/crc32.h"
#include "upload/encoder.h"
#include "upload/part_plan.h"
#include "upload/run_journal.h"
#include "upload/yenc.h"

namespace tidewell {

namespace {

// The source bytes of a full uuencoded line (kFullLineBytes on the wire).
constexpr std::int64_t kFullLineSourceBytes = 45;
constexpr std::size_t kReadBlock = 1 << 20;

std::int64_t sizeOf(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? static_cast<std::int64_t>(info.st_size) : -1;
}

}  // namespace

PartSource partSourceOf(std::string_view name, bool yencOn) {
  if (isTextFile(name)) {
    return PartSource::Text;
  }
  return yencOn ? PartSource::Yenc : PartSource::Uuencode;
}

PartSums::PartSums(PartSource kind, std::string sourcePath, std::string encodedPath, std::int32_t partSizeSetting,
                   std::int32_t partCount)
    : kind_(kind),
      sourcePath_(std::move(sourcePath)),
      encodedPath_(std::move(encodedPath)),
      partSizeSetting_(partSizeSetting),
      partCount_(partCount) {}

PartBytes PartSums::bytesOf(std::int32_t part) const {
  PartBytes bytes;
  bytes.path = kind_ == PartSource::Text ? encodedPath_ : sourcePath_;
  const std::int64_t size = std::max<std::int64_t>(sizeOf(bytes.path), 0);
  switch (kind_) {
    case PartSource::Yenc: {
      const YencPartPlan plan = planYencParts(size, partSizeSetting_);
      bytes.begin = plan.partBegin(part);
      bytes.end = bytes.begin + plan.partSize(part);
      break;
    }
    case PartSource::Uuencode: {
      // Parts of several hold whole full lines; a single part holds all.
      const std::int64_t partLines =
          partCount_ > 1 ? planParts(INT64_MAX / 2, partSizeSetting_).partLength / kFullLineBytes : 0;
      const std::int64_t length = partLines * kFullLineSourceBytes;
      bytes.begin = partCount_ > 1 ? (part - 1) * length : 0;
      bytes.end = part < partCount_ ? part * length : size;
      break;
    }
    case PartSource::Text: {
      const PartPlan plan = planParts(size, partSizeSetting_);
      bytes.begin = part > 1 ? plan.partEnd(part - 1, size) : 0;
      bytes.end = plan.partEnd(part, size);
      break;
    }
  }
  bytes.begin = std::clamp<std::int64_t>(bytes.begin, 0, size);
  bytes.end = std::clamp<std::int64_t>(bytes.end, bytes.begin, size);
  return bytes;
}

std::optional<std::uint32_t> PartSums::sumOf(std::int32_t part) const {
  const PartBytes bytes = bytesOf(part);
  const FileDescriptor file = openRegularForRead(bytes.path);
  if (!file.isOpen()) {
    return std::nullopt;
  }
  std::vector<char> block(kReadBlock);
  std::uint32_t crc = 0;
  for (std::int64_t at = bytes.begin; at < bytes.end;) {
    const auto want = static_cast<std::size_t>(std::min<std::int64_t>(bytes.end - at, kReadBlock));
    const ssize_t got = pread(file.get(), block.data(), want, at);
    if (got <= 0) {
      return std::nullopt;
    }
    crc = crc32Update(crc, block.data(), static_cast<std::size_t>(got));
    at += got;
  }
  return crc;
}

std::string postedAgainText(std::string_view name, PostedPartsCheck check) {
  const std::string file(name);
  if (check == PostedPartsCheck::Unsummed) {
    return "Resumed: the journal holds no check sums of the parts of " + file +
           " (an older version wrote it): it is posted again from part 1.";
  }
  return "Resumed: " + file + " has changed since its parts were posted: it is posted again from part 1.";
}

PostedPartsCheck checkPostedParts(const std::string& directory, const JournalFile& file, bool yencOn,
                                  std::int32_t partSizeSetting, const std::string& spoolPath) {
  std::vector<std::pair<std::int32_t, std::optional<std::uint32_t>>> parts;
  for (const auto* held : {&file.accepted, &file.inFlight}) {
    for (const auto& [part, posted] : *held) {
      if (!posted.sourceCrc) {
        return PostedPartsCheck::Unsummed;
      }
      parts.emplace_back(part, posted.sourceCrc);
    }
  }
  if (parts.empty()) {
    return PostedPartsCheck::Same;
  }
  const PartSource kind = partSourceOf(file.name, yencOn);
  if (kind == PartSource::Text && encodeFile(directory, file.name, spoolPath) != kEncodeOk) {
    return PostedPartsCheck::Changed;
  }
  const PartSums sums(kind, joinPath(directory, file.name), spoolPath, partSizeSetting, file.partCount);
  for (const auto& [part, sum] : parts) {
    if (sums.sumOf(part) != sum) {
      return PostedPartsCheck::Changed;
    }
  }
  return PostedPartsCheck::Same;
}

}  // namespace tidewell
