#include "par2/file_set.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/file_io.h"

namespace tidewell::par2 {

namespace {

constexpr std::size_t kReadBytes = 1 << 20;

// Feeds one file to the set; false when it cannot be read to its end.
bool feedFile(SetWriter& set, std::size_t index, const std::string& path, std::vector<char>& buffer) {
  FileDescriptor file = openRegularForRead(path);
  if (!file.isOpen()) {
    return false;
  }
  set.beginFile(index);
  while (true) {
    const ssize_t got = ::read(file.get(), buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got < 0) {
      return false;
    }
    if (got == 0) {
      return true;
    }
    set.feed(buffer.data(), static_cast<std::size_t>(got));
  }
}

}  // namespace

FileSetReport makeSetFromFiles(const std::string& directory, const std::vector<std::string>& names, PlanRequest request,
                               const SetOptions& options) {
  FileSetReport report;
  std::vector<SourceFile> files;
  request.fileSizes.clear();
  for (const std::string& name : names) {
    const std::string path = directory + "/" + name;
    struct stat info {};
    SourceFile file{name, 0, {}};
    if (::stat(path.c_str(), &info) == 0) {
      file.size = static_cast<std::uint64_t>(info.st_size);
    }
    if (file.size > 0 && !readHeadHash(path, file.size, file.head)) {
      file.head = {};  // fails when read, as the head will not match
    }
    request.fileSizes.push_back(file.size);
    files.push_back(std::move(file));
  }
  report.result.error = makePlan(request, report.plan);
  if (!report.result.error.empty()) {
    return report;
  }
  auto set = SetWriter::create(report.plan, std::move(files), options, report.result.error);
  if (!set) {
    return report;
  }
  report.threads = set->threads();
  std::vector<char> buffer(kReadBytes);
  for (std::uint32_t pass = 0; pass < report.plan.passCount; ++pass) {
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (!feedFile(*set, i, directory + "/" + names[i], buffer)) {
        set->failFile(i);
      } else {
        (void)set->endFile();  // a failed file is reported by finish
      }
    }
    (void)set->endPass();  // a write error is reported by finish
  }
  report.result = set->finish();
  return report;
}

}  // namespace tidewell::par2
