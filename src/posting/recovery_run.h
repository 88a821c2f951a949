#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "par2/plan.h"
#include "par2/set_writer.h"

// The PAR2 recovery set of a posting run: planned over the listed files as
// the run starts, fed with the source bytes the encoders (yEnc, uuencode and
// the text copy) read for the articles anyway, and finished (its files
// written) when the first of its files is due to be posted after the data
// files. Bytes the encoder never hands over (parts already on the server, a
// file that failed half-way) are read here, and counted.
namespace tidewell {

struct RecoveryData {
  std::string listedName;  // the name in the upload list
  std::string path;        // where it is read
  std::string storedName;  // the name the set gives it: the name a downloader writes
};

struct RecoveryOptions {
  int redundancyPercent = 10;
  std::uint64_t sliceSize = 0;           // 0: chosen
  std::uint64_t preferredSliceSize = 0;  // an article's source bytes with yEnc, else 0
  std::uint64_t memoryBytes = 256ull << 20;
  std::string name;    // the set's files: <name>.par2, <name>.volF+C.par2
  std::string folder;  // where they are written
};

// What finishing the set came to, for the report.
struct RecoveryOutcome {
  bool written = false;
  std::vector<std::string> files;         // the set's file names, index first (empty when not written)
  std::vector<std::string> changedFiles;  // listed names the set leaves out: they changed or could not be read
  std::string error;                      // why no set was written
};

class RecoveryRun {
 public:
  // Plans the set over `files` (empty files are left out by the caller);
  // nullptr and the reason when it cannot be made.
  [[nodiscard]] static std::unique_ptr<RecoveryRun> start(std::vector<RecoveryData> files, RecoveryOptions options,
                                                          std::string& error);
  RecoveryRun(std::vector<RecoveryData> files, RecoveryOptions options, par2::Plan plan);
  ~RecoveryRun();
  RecoveryRun(const RecoveryRun&) = delete;
  RecoveryRun& operator=(const RecoveryRun&) = delete;

  [[nodiscard]] const par2::Plan& plan() const { return plan_; }
  // The names of the set's files as planned (index first); finish() may
  // change them when a file is left out.
  [[nodiscard]] const std::vector<std::string>& plannedFiles() const { return names_; }
  // Where a file of the set is (or will be) written; nothing for other names.
  [[nodiscard]] std::optional<std::string> pathOf(const std::string& name) const;
  [[nodiscard]] bool finished() const { return finished_; }
  // Source bytes read only for the set, beyond the reads for posting.
  [[nodiscard]] std::uint64_t extraBytesRead() const { return extraBytes_; }
  [[nodiscard]] unsigned threads() const;

  // A data file's posting starts (again, after a reconnection: then nothing
  // happens). Names not in the set are ignored.
  void openData(const std::string& listedName);
  // Bytes of the open data file read for posting, at `offset`.
  void sourceBytes(std::int64_t offset, const unsigned char* data, std::size_t size);
  // The listed names of the data files of the set.
  [[nodiscard]] std::vector<std::string> dataNames() const;
  // The planned files are already in the folder, written by a run this one
  // resumes over the same unchanged files: nothing is computed.
  void adoptWritten();
  // Reads what was not handed over, runs the further passes the memory
  // asks for and writes the set. A set with changed files is planned and
  // made again without them, so no set claims a file it does not match.
  [[nodiscard]] RecoveryOutcome finish();

 private:
  void closeOpen();
  bool feedFromDisk(std::size_t index, std::uint64_t from, std::uint64_t to);
  bool feedRest(std::size_t index, std::uint64_t from);
  // Reads [from, to) of the file (to its end without `to`) for the set
  // alone; false when it cannot be read that far.
  bool readToSet(std::size_t index, std::uint64_t from, std::optional<std::uint64_t> to);
  void feedWholeFile(std::size_t index);
  // Feeds what is left and runs every pass; the set writer then writes the
  // set or says why not.
  par2::SetResult computeSet();
  // The set planned and made again without the files at `failedFiles`.
  RecoveryOutcome remakeWithout(const std::vector<std::size_t>& failedFiles);

  std::vector<RecoveryData> files_;
  std::vector<std::uint64_t> sizes_;
  RecoveryOptions options_;
  par2::Plan plan_;
  std::unique_ptr<par2::SetWriter> set_;
  std::vector<std::string> names_;
  std::vector<bool> done_;
  std::optional<std::size_t> open_;
  std::uint64_t fed_ = 0;
  std::uint64_t extraBytes_ = 0;
  unsigned threads_ = 0;
  bool finished_ = false;
};

}  // namespace tidewell
