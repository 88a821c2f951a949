#include "posting/recovery_run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "par2/set_files.h"
#include "platform/file_io.h"

namespace tidewell {

namespace {

constexpr std::size_t kReadBlock = 1 << 20;

std::vector<std::string> setFileNames(const std::string& name, std::uint32_t recoveryCount) {
  std::vector<std::string> names{name + ".par2"};
  for (const par2::Volume& volume : par2::planVolumes(recoveryCount, name)) {
    names.push_back(volume.fileName);
  }
  return names;
}

std::uint64_t sizeOf(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size) : 0;
}

struct Planned {
  par2::Plan plan;
  std::vector<par2::SourceFile> sources;
  std::vector<std::uint64_t> sizes;
};

// Sizes, heads and the plan of the set over `files`; the reason when there
// is none.
std::string planSet(const std::vector<RecoveryData>& files, const RecoveryOptions& options, Planned& planned) {
  par2::PlanRequest request;
  request.sliceSize = options.sliceSize;
  request.preferredSliceSize = options.preferredSliceSize;
  request.redundancyPercent = options.redundancyPercent;
  request.memoryLimit = options.memoryBytes;
  for (const RecoveryData& file : files) {
    par2::SourceFile source{file.storedName, sizeOf(file.path), {}};
    if (source.size > 0 && !par2::readHeadHash(file.path, source.size, source.head)) {
      return file.listedName + " cannot be read";
    }
    request.fileSizes.push_back(source.size);
    planned.sizes.push_back(source.size);
    planned.sources.push_back(std::move(source));
  }
  return par2::makePlan(request, planned.plan);
}

}  // namespace

std::unique_ptr<RecoveryRun> RecoveryRun::start(std::vector<RecoveryData> files, RecoveryOptions options,
                                                std::string& error) {
  if (files.empty()) {
    error = "no file to make it for";
    return nullptr;
  }
  Planned planned;
  if (error = planSet(files, options, planned); !error.empty()) {
    return nullptr;
  }
  if (::mkdir(options.folder.c_str(), 0755) != 0 && errno != EEXIST) {
    error = options.folder + " cannot be made (" + std::strerror(errno) + ")";
    return nullptr;
  }
  auto run = std::make_unique<RecoveryRun>(std::move(files), std::move(options), planned.plan);
  run->sizes_ = std::move(planned.sizes);
  par2::SetOptions setOptions;
  setOptions.directory = run->options_.folder;
  setOptions.name = run->options_.name;
  run->set_ = par2::SetWriter::create(run->plan_, std::move(planned.sources), setOptions, error);
  if (!run->set_) {
    return nullptr;
  }
  run->threads_ = run->set_->threads();
  return run;
}

RecoveryRun::RecoveryRun(std::vector<RecoveryData> files, RecoveryOptions options, par2::Plan plan)
    : files_(std::move(files)),
      options_(std::move(options)),
      plan_(std::move(plan)),
      names_(setFileNames(options_.name, plan_.recoveryCount)),
      done_(files_.size(), false) {}

RecoveryRun::~RecoveryRun() = default;

unsigned RecoveryRun::threads() const {
  return threads_;
}

std::optional<std::string> RecoveryRun::pathOf(const std::string& name) const {
  if (std::find(names_.begin(), names_.end(), name) == names_.end()) {
    return std::nullopt;
  }
  return options_.folder + "/" + name;
}

std::vector<std::string> RecoveryRun::dataNames() const {
  std::vector<std::string> names;
  for (const RecoveryData& file : files_) {
    names.push_back(file.listedName);
  }
  return names;
}

void RecoveryRun::adoptWritten() {
  set_.reset();  // it has written nothing yet
  open_.reset();
  finished_ = true;
}

void RecoveryRun::openData(const std::string& listedName) {
  if (finished_) {
    return;
  }
  const auto found = std::find_if(files_.begin(), files_.end(),
                                  [&](const RecoveryData& file) { return file.listedName == listedName; });
  if (found == files_.end()) {
    return;
  }
  const auto index = static_cast<std::size_t>(found - files_.begin());
  if (open_ == index || done_[index]) {
    return;  // posted again after a reconnection: its bytes are in already
  }
  closeOpen();
  open_ = index;
  fed_ = 0;
  set_->beginFile(index);
}

void RecoveryRun::sourceBytes(std::int64_t offset, const unsigned char* data, std::size_t size) {
  if (!open_ || offset < 0) {
    return;
  }
  const std::size_t index = *open_;
  const auto from = static_cast<std::uint64_t>(offset);
  // Parts skipped (already on the server) leave a gap: read it here.
  if (from > fed_ && !feedFromDisk(index, fed_, from)) {
    set_->failFile(index);
    done_[index] = true;
    open_.reset();
    return;
  }
  const std::uint64_t end = from + size;
  if (end > fed_) {
    set_->feed(data + (fed_ - from), static_cast<std::size_t>(end - fed_));
    fed_ = end;
  }
  if (fed_ >= sizes_[index]) {
    // Read to the end of the file, so one that grew since it was planned is
    // seen to differ.
    closeOpen();
  }
}

void RecoveryRun::closeOpen() {
  if (!open_) {
    return;
  }
  const std::size_t index = *open_;
  open_.reset();
  done_[index] = true;
  if (!feedRest(index, fed_)) {
    set_->failFile(index);
    return;
  }
  static_cast<void>(set_->endFile());  // a changed file is named by finish
}

bool RecoveryRun::feedFromDisk(std::size_t index, std::uint64_t from, std::uint64_t to) {
  if (!readToSet(index, from, to)) {
    return false;
  }
  fed_ = std::max(fed_, to);
  return true;
}

bool RecoveryRun::feedRest(std::size_t index, std::uint64_t from) {
  return readToSet(index, from, std::nullopt);
}

bool RecoveryRun::readToSet(std::size_t index, std::uint64_t from, std::optional<std::uint64_t> to) {
  FileDescriptor file = openRegularForRead(files_[index].path);
  if (!file.isOpen()) {
    return false;
  }
  std::vector<unsigned char> block(kReadBlock);
  while (!to || from < *to) {
    const std::size_t want =
        to ? static_cast<std::size_t>(std::min<std::uint64_t>(*to - from, block.size())) : block.size();
    const ssize_t got = ::pread(file.get(), block.data(), want, static_cast<off_t>(from));
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got == 0 && !to) {
      return true;  // the end of the file
    }
    if (got <= 0) {
      return false;
    }
    set_->feed(block.data(), static_cast<std::size_t>(got));
    from += static_cast<std::uint64_t>(got);
    extraBytes_ += static_cast<std::uint64_t>(got);
  }
  return true;
}

void RecoveryRun::feedWholeFile(std::size_t index) {
  set_->beginFile(index);
  if (!feedRest(index, 0)) {
    set_->failFile(index);
    return;
  }
  static_cast<void>(set_->endFile());
}

RecoveryOutcome RecoveryRun::finish() {
  RecoveryOutcome outcome;
  if (finished_) {
    outcome.error = "the set was finished before";
    return outcome;
  }
  finished_ = true;
  const par2::SetResult result = computeSet();
  if (!result.failedFiles.empty()) {
    return remakeWithout(result.failedFiles);
  }
  if (!result.written) {
    outcome.error = result.error;
    names_.clear();
    return outcome;
  }
  outcome.written = true;
  outcome.files = names_;
  return outcome;
}

par2::SetResult RecoveryRun::computeSet() {
  closeOpen();
  for (std::size_t i = 0; i < files_.size(); ++i) {
    if (!done_[i]) {
      feedWholeFile(i);  // a file the run never read (it failed to open, or was not encoded in blocks)
    }
  }
  static_cast<void>(set_->endPass());  // a write error is named by finish
  for (std::uint32_t pass = 1; pass < plan_.passCount; ++pass) {
    for (std::size_t i = 0; i < files_.size(); ++i) {
      feedWholeFile(i);
    }
    static_cast<void>(set_->endPass());
  }
  par2::SetResult result = set_->finish();
  set_.reset();
  return result;
}

// Made again without the files that changed: no set claims bytes it does
// not describe.
RecoveryOutcome RecoveryRun::remakeWithout(const std::vector<std::size_t>& failedFiles) {
  RecoveryOutcome outcome;
  std::vector<RecoveryData> kept;
  for (std::size_t i = 0; i < files_.size(); ++i) {
    if (std::find(failedFiles.begin(), failedFiles.end(), i) != failedFiles.end()) {
      outcome.changedFiles.push_back(files_[i].listedName);
    } else {
      kept.push_back(files_[i]);
    }
  }
  if (kept.empty()) {
    outcome.error = "every file of the set changed or could not be read";
    names_.clear();
    return outcome;
  }
  std::string error;
  std::unique_ptr<RecoveryRun> again = start(std::move(kept), options_, error);
  if (!again) {
    outcome.error = error;
    names_.clear();
    return outcome;
  }
  RecoveryOutcome second = again->finish();
  extraBytes_ += again->extraBytes_;
  plan_ = again->plan_;
  names_ = again->names_;
  second.changedFiles.insert(second.changedFiles.begin(), outcome.changedFiles.begin(), outcome.changedFiles.end());
  if (!second.written) {
    names_.clear();
  }
  return second;
}

}  // namespace tidewell
