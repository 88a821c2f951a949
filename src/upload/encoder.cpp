#include "upload/encoder.h"

#include <array>

#include "platform/file_io.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "upload/encode_streams.h"

namespace tidewell {

bool isTextFile(std::string_view fileName) {
  constexpr std::array<std::string_view, 3> kTextExtensions = {".txt", ".bat", ".ini"};
  for (const std::string_view extension : kTextExtensions) {
    if (fileName.size() >= extension.size() &&
        equalsIgnoringCase(fileName.substr(fileName.size() - extension.size()), extension)) {
      return true;
    }
  }
  return false;
}

int encodeFile(const std::string& directory, const std::string& sourceName, const std::string& outputPath,
               const SourceTap& tap) {
  const bool text = isTextFile(sourceName);
  const std::string trimmedDirectory = trimmed(directory);
  if (trimmedDirectory.empty()) {
    return kEncodeNoDirectory;
  }
  const FileDescriptor source = openRegularForRead(joinPath(trimmedDirectory, sourceName));
  if (!source.isOpen()) {
    return kEncodeSourceFailed;
  }
  const FileDescriptor output = createForWrite(outputPath);
  if (!output.isOpen()) {
    return kEncodeOutputFailed;
  }
  return text ? copyTextStream(source.get(), output.get(), tap)
              : uuencodeStream(source.get(), output.get(), LineEncoder::Fastest, tap);
}

}  // namespace tidewell
