#include "upload/yenc_prefetch.h"

#include <sys/stat.h>
#include <unistd.h>

#include <utility>

#include "upload/encoder.h"

namespace tidewell {

YencPrefetch::YencPrefetch() : worker_([this](const std::stop_token& stop) { run(stop); }) {}

YencPrefetch::~YencPrefetch() {
  worker_.request_stop();
  changed_.notify_all();
}

std::optional<YencPrefetch::FileId> YencPrefetch::fileOf(int descriptor) {
  struct stat info {};
  if (fstat(descriptor, &info) != 0) {
    return std::nullopt;
  }
  return FileId{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

void YencPrefetch::start(const YencPartRequest& request) {
  FileDescriptor source(dup(request.source));
  const std::optional<FileId> file = source.isOpen() ? fileOf(source.get()) : std::nullopt;
  if (!file || request.sourceTap) {
    return;
  }
  std::lock_guard lock(mutex_);
  Job job{std::move(source), request, std::string(request.name)};
  job.request.output = nullptr;
  asked_ = job.request;
  askedName_ = job.name;
  askedFile_ = file;
  ++serial_;
  done_.reset();
  job_ = std::move(job);
  changed_.notify_all();
}

std::optional<YencPrefetch::Encoded> YencPrefetch::take(const YencPartRequest& request) {
  const std::optional<FileId> file = fileOf(request.source);
  std::unique_lock lock(mutex_);
  if (serial_ == 0 || !file || file != askedFile_ || request.part != asked_.part ||
      request.lineLength != asked_.lineLength || request.crcBefore != asked_.crcBefore ||
      request.plan.fileSize != asked_.plan.fileSize || request.plan.partLength != asked_.plan.partLength ||
      request.name != askedName_ || request.sourceTap) {
    return std::nullopt;
  }
  changed_.wait(lock, [this] { return doneSerial_ == serial_; });
  std::optional<Encoded> out = std::move(done_);
  done_.reset();
  serial_ = 0;
  doneSerial_ = 0;
  return out;
}

void YencPrefetch::recycle(ArticleBuffer storage) {
  std::lock_guard lock(mutex_);
  spare_ = std::move(storage);
}

void YencPrefetch::run(const std::stop_token& stop) {
  YencEncoder encoder;
  std::unique_lock lock(mutex_);
  while (true) {
    changed_.wait(lock, stop, [this] { return job_.has_value(); });
    if (stop.stop_requested()) {
      return;
    }
    Job job = std::move(*job_);
    job_.reset();
    const std::uint64_t serial = serial_;
    Encoded encoded{std::move(spare_), {}};
    lock.unlock();
    encoded.text.clearLeavingFront(kHeaderRoom);
    job.request.source = job.source.get();
    job.request.name = job.name;
    job.request.output = &encoded.text;
    const int status = encoder.encodePart(job.request, {}, encoded.result);
    // Room for the article's last line, so the loop never grows (copies) it.
    static_cast<void>(encoded.text.room(kTailRoom));
    job.request.output = nullptr;
    lock.lock();
    if (serial == serial_) {
      if (status == kEncodeOk) {
        done_ = std::move(encoded);
      }
      doneSerial_ = serial;
      changed_.notify_all();
    }
  }
}

}  // namespace tidewell
