#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "par2/gf16.h"
#include "par2/md5.h"
#include "par2/packets.h"
#include "par2/plan.h"

// A PAR2 2.0 set over the files of a run, computed while the files are read
// for posting: the reader hands over each file's bytes once, in blocks, and
// the slices' checksums and the recovery slices build up as they pass.
//
//   Plan plan;  makePlan(request, plan)            slice size, counts, passes
//   auto set = SetWriter::create(plan, files, options, error);
//   for each pass (plan.passCount, 1 when the recovery fits in memory):
//     for each file:  beginFile(i); feed(...)...; endFile()   (any order)
//     endPass()
//   SetResult result = set->finish();
//
// The file IDs (and so the order of the slices) come from each file's
// first 16 KiB, which the caller hashes before the files are read
// (readHeadHash). Empty files are left out of the set.
namespace tidewell::par2 {

struct SourceFile {
  std::string name;  // stored as given: UTF-8, '/' between folders
  std::uint64_t size = 0;
  Md5 head{};  // MD5 of the first min(size, 16 KiB) bytes
};

// MD5 of the first min(size, 16 KiB) bytes of the file at `path`; false
// when they cannot be read.
[[nodiscard]] bool readHeadHash(const std::string& path, std::uint64_t size, Md5& head);

struct SetOptions {
  std::string directory;  // where the set's files go
  std::string name;       // <name>.par2, <name>.volF+C.par2
  std::string creator = "Tidewell";
  // Threads computing recovery; 0: one per core when the recovery work is
  // large enough to pay for them, else one.
  unsigned threads = 0;
  gf16::Kernel kernel = gf16::fastestKernel();
};

struct SetResult {
  bool written = false;
  std::string error;
  std::vector<std::string> files;        // written, index file first
  std::vector<std::size_t> failedFiles;  // indexes of files that changed or could not be read
};

class SetWriter {
  // Lets only create() construct one.
  class Key {
    friend class SetWriter;
    Key() = default;
  };

 public:
  // nullptr and `error` when the plan does not fit the files or the options
  // are unusable.
  [[nodiscard]] static std::unique_ptr<SetWriter> create(const Plan& plan, std::vector<SourceFile> files,
                                                         SetOptions options, std::string& error);
  SetWriter(Key key, const Plan& plan, std::vector<SourceFile> files, SetOptions options);
  ~SetWriter();
  SetWriter(const SetWriter&) = delete;
  SetWriter& operator=(const SetWriter&) = delete;

  [[nodiscard]] const Plan& plan() const { return plan_; }
  [[nodiscard]] std::uint32_t pass() const { return pass_; }
  [[nodiscard]] unsigned threads() const;

  // One file of the current pass: its bytes in order, in blocks of any size.
  void beginFile(std::size_t index);
  void feed(const void* data, std::size_t size);
  // false: the file is failed (its size or its contents differ from the
  // plan or from an earlier pass).
  bool endFile();
  // The caller could not read file `index`: it is failed.
  void failFile(std::size_t index);
  // After every file of the pass. A file not fed in the pass is failed.
  // false when the pass's recovery slices could not be written.
  bool endPass();
  // After the last pass: writes the set, or (a failed file, a write error)
  // removes everything written and says why.
  [[nodiscard]] SetResult finish();

 private:
  struct Batch;
  void commitSlot();
  void submitBatch();
  void collect(Batch& batch);
  void runBatch(Batch& batch, unsigned worker, unsigned workers);
  // The parts of a worker's share of a batch.
  void hashFiles(const Batch& batch);
  void checkSlices(Batch& batch, unsigned worker, unsigned workers);
  void addRecovery(Batch& batch);
  struct RecoveryGroup {
    std::uint32_t first = 0;  // of the pass's recovery slices
    std::uint32_t size = 0;
  };
  void buildTables(const Batch& batch, RecoveryGroup group, std::vector<gf16::MulTable>& tables);
  void addRun(const Batch& batch, RecoveryGroup group, std::size_t run, const std::vector<gf16::MulTable>& tables,
              std::vector<std::uint8_t>& pieces);
  void markFailed(std::size_t index);

  struct State;
  std::unique_ptr<State> state_;
  Plan plan_;
  std::uint32_t pass_ = 0;
};

}  // namespace tidewell::par2
