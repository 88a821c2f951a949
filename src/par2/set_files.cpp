#include "par2/set_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "par2/packets.h"

namespace tidewell::par2 {

namespace {

int digitsOf(std::uint32_t value) {
  int digits = 1;
  for (; value >= 10; value /= 10) {
    ++digits;
  }
  return digits;
}

std::string joinPath(const std::string& directory, const std::string& file) {
  if (directory.empty()) {
    return file;
  }
  return directory.back() == '/' ? directory + file : directory + "/" + file;
}

}  // namespace

std::vector<Volume> planVolumes(std::uint32_t recoveryCount, const std::string& name) {
  std::vector<Volume> volumes;
  std::uint32_t want = 1;
  for (std::uint32_t first = 0; first < recoveryCount;) {
    const std::uint32_t count = std::min(want, recoveryCount - first);
    volumes.push_back(Volume{first, count, {}});
    first += count;
    want = want < (1u << 30) ? want * 2 : want;
  }
  std::uint32_t widestFirst = 0;
  std::uint32_t widestCount = 0;
  for (const Volume& volume : volumes) {
    widestFirst = std::max(widestFirst, volume.firstExponent + volume.count);
    widestCount = std::max(widestCount, volume.count);
  }
  for (Volume& volume : volumes) {
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, ".vol%0*u+%0*u.par2", digitsOf(widestFirst), volume.firstExponent,
                  digitsOf(widestCount), volume.count);
    volume.fileName = name + numbers;
  }
  return volumes;
}

SetFiles::SetFiles(std::string directory, std::string name, std::vector<Volume> volumes, std::uint64_t sliceSize)
    : directory_(std::move(directory)),
      name_(std::move(name)),
      volumes_(std::move(volumes)),
      sliceSize_(sliceSize),
      descriptors_(volumes_.size() + 1) {}

SetFiles::~SetFiles() {
  discard();
}

void SetFiles::discard() {
  for (FileDescriptor& descriptor : descriptors_) {
    descriptor = FileDescriptor();
  }
  for (const std::string& path : temporaries_) {
    ::unlink(path.c_str());
  }
  temporaries_.clear();
}

void SetFiles::fail(const std::string& path) {
  if (error_.empty()) {
    error_ = "cannot write " + path + ": " + writeErrorText(errno);
  }
}

// Descriptor `index`: volume `index`, or the index file after the volumes.
std::string SetFiles::temporaryPath(std::size_t index) const {
  const std::string file = index < volumes_.size() ? volumes_[index].fileName : name_ + ".par2";
  return joinPath(directory_, file) + ".part";
}

bool SetFiles::openVolume(std::size_t index) {
  if (descriptors_[index].isOpen()) {
    return true;
  }
  const std::string path = temporaryPath(index);
  descriptors_[index] = createForWrite(path);
  if (!descriptors_[index].isOpen()) {
    fail(path);
    return false;
  }
  temporaries_.push_back(path);
  return true;
}

bool SetFiles::writeAt(std::size_t index, std::uint64_t offset, std::string_view bytes) {
  const int fd = descriptors_[index].get();
  while (!bytes.empty()) {
    const ssize_t written = ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      if (written == 0) {
        errno = ENOSPC;
      }
      fail(temporaryPath(index));
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
    offset += static_cast<std::uint64_t>(written);
  }
  return true;
}

bool SetFiles::writeRecovery(const Md5& setId, std::uint32_t exponent, const std::uint8_t* data) {
  const auto volume = std::find_if(volumes_.begin(), volumes_.end(), [exponent](const Volume& v) {
    return exponent >= v.firstExponent && exponent < v.firstExponent + v.count;
  });
  if (volume == volumes_.end()) {
    error_ = "recovery slice " + std::to_string(exponent) + " lies in no volume";
    return false;
  }
  const auto index = static_cast<std::size_t>(volume - volumes_.begin());
  if (!openVolume(index)) {
    return false;
  }
  const std::uint64_t packetBytes = kRecoveryHeadBytes + sliceSize_;
  const std::uint64_t offset = (exponent - volume->firstExponent) * packetBytes;
  const std::string head = recoveryHead(setId, exponent, data, sliceSize_);
  return writeAt(index, offset, head) &&
         writeAt(index, offset + head.size(),
                 std::string_view(reinterpret_cast<const char*>(data), static_cast<std::size_t>(sliceSize_)));
}

std::vector<std::string> SetFiles::complete(std::string_view description) {
  const std::uint64_t packetBytes = kRecoveryHeadBytes + sliceSize_;
  for (std::size_t index = 0; index <= volumes_.size(); ++index) {
    const std::uint64_t offset = index < volumes_.size() ? volumes_[index].count * packetBytes : 0;
    if (!openVolume(index) || !writeAt(index, offset, description)) {
      discard();
      return {};
    }
    if (!descriptors_[index].close()) {
      fail(temporaryPath(index));
      discard();
      return {};
    }
  }
  // Index file first in the answer, then the volumes in order.
  std::vector<std::string> finals{joinPath(directory_, name_ + ".par2")};
  for (const Volume& volume : volumes_) {
    finals.push_back(joinPath(directory_, volume.fileName));
  }
  for (const std::string& final : finals) {
    const std::string temporary = final + ".part";
    if (::rename(temporary.c_str(), final.c_str()) != 0) {
      fail(final);
      for (const std::string& done : finals) {
        ::unlink(done.c_str());
        if (done == final) {
          break;
        }
      }
      discard();
      return {};
    }
  }
  temporaries_.clear();
  return finals;
}

}  // namespace tidewell::par2
