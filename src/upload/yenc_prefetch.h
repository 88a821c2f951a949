#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/file_io.h"
#include "upload/article_buffer.h"
#include "upload/yenc.h"

namespace tidewell {

// Encodes the yEnc body of the part that comes next on a worker thread,
// while the loop sends the part before it: one part ahead, never more. The
// loop asks for a part with start() and collects it with take(), which
// hands the text over only when it was asked for exactly (same source, part,
// name, line length and CRC before it); anything else, or a part whose
// reading failed, comes back empty and the caller encodes it itself, so its
// errors surface where they always do.
class YencPrefetch {
 public:
  YencPrefetch();
  YencPrefetch(const YencPrefetch&) = delete;
  YencPrefetch& operator=(const YencPrefetch&) = delete;
  ~YencPrefetch();

  // Room kept in front of each part's text for the article's headers, so
  // the text becomes the article without being copied.
  static constexpr std::size_t kHeaderRoom = 16384;
  // And room behind it for the article's end.
  static constexpr std::size_t kTailRoom = 64;

  struct Encoded {
    ArticleBuffer text;  // =ybegin to =yend, CR LF ended; kHeaderRoom free in front
    YencPartResult result;
  };

  // Starts encoding `request` (its source is duplicated, its name copied);
  // a part started before and not taken is dropped.
  void start(const YencPartRequest& request);
  // The part asked for by `request`, waiting for the worker if it is still
  // at it; nothing when another part was started or its encoding failed.
  [[nodiscard]] std::optional<Encoded> take(const YencPartRequest& request);
  // Gives a taken part's storage back for the next part to be encoded into.
  void recycle(ArticleBuffer storage);

 private:
  struct Job {
    FileDescriptor source;
    YencPartRequest request;
    std::string name;
  };
  void run(const std::stop_token& stop);
  // The file behind a descriptor: a part is handed over only for the file
  // it was read from, even when a descriptor number is used again.
  struct FileId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileId&) const = default;
  };
  static std::optional<FileId> fileOf(int descriptor);

  std::mutex mutex_;
  std::condition_variable_any changed_;
  std::optional<Job> job_;  // asked for, not started yet
  bool busy_ = false;
  std::uint64_t serial_ = 0;  // of the part asked for last
  std::uint64_t doneSerial_ = 0;
  std::optional<Encoded> done_;  // the last part finished, when it encoded
  YencPartRequest asked_;
  std::string askedName_;
  std::optional<FileId> askedFile_;
  ArticleBuffer spare_;  // storage of a part taken back for the next one
  std::jthread worker_;
};

}  // namespace tidewell
