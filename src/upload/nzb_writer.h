#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tidewell {

// The NZB 1.1 document of a run: every file posted, in list order, with the
// articles the server accepted, so a downloader can fetch them by
// Message-ID. The run adds a file when it starts posting it and a segment
// each time the server accepts one of its articles; the document is written
// whole (again) whenever the caller likes, e.g. at the end of the run.
class NzbDocument {
 public:
  struct Segment {
    std::int32_t number = 0;  // the part, from 1
    std::int64_t bytes = 0;   // size of the article as posted
    std::string messageId;    // without the angle brackets
  };
  struct File {
    std::string subject;    // the first part's Subject header as posted
    std::string poster;     // the From header
    std::int64_t date = 0;  // Unix seconds of the posting
    std::vector<std::string> groups;
    std::int32_t partCount = 0;  // parts planned
    std::vector<Segment> segments;
  };

  // A <meta type="TYPE">VALUE</meta> of the document's <head>, e.g. the
  // type "title" or "password". The entries come in the order set; one
  // with an empty value is left out, and with none left the document has
  // no <head> at all.
  void addMeta(std::string type, std::string value);

  // Starts a file's entry; returns its index for addSegment.
  std::size_t addFile(std::string subject, std::string poster, std::int64_t date, std::vector<std::string> groups,
                      std::int32_t partCount);
  // Records an accepted article. `messageId` may carry its angle brackets;
  // a part recorded twice keeps the later id. False for an unknown file.
  bool addSegment(std::size_t file, std::int32_t number, std::int64_t bytes, std::string_view messageId);

  // Takes a part out again (the server lost the article); false when it was
  // not there.
  bool removeSegment(std::size_t file, std::int32_t number);

  [[nodiscard]] const std::vector<File>& files() const { return files_; }
  // True when every file has a segment for each of its parts.
  [[nodiscard]] bool isComplete() const;

  // The document: UTF-8, with the NZB 1.1 DOCTYPE; the <head> with its
  // metadata, if any, before the files; segments in part order.
  // Files without any accepted article are left out. Text that is not UTF-8
  // has its stray bytes made U+FFFD (surrogates included), the control
  // characters XML 1.0 does not allow (C0 but tab, C1) become "?" and the
  // non-characters U+FFFE and U+FFFF become U+FFFD, so the document always
  // parses.
  [[nodiscard]] std::string text() const;

  // Writes text() to `path` through a temporary file beside it, renamed over
  // `path` once complete: a reader never sees half a document, and a failed
  // write leaves an older document untouched. False on any error.
  [[nodiscard]] bool writeAtomically(const std::string& path) const;

 private:
  std::vector<std::pair<std::string, std::string>> meta_;  // type, value
  std::vector<File> files_;
};

// `text` escaped for XML character data and attribute values (see text()).
[[nodiscard]] std::string xmlEscaped(std::string_view text);

}  // namespace tidewell
