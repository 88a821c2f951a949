#include "par2/set_writer.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <numeric>
#include <thread>

#include "par2/md5_lanes.h"
#include "par2/set_files.h"
#include "par2/worker_pool.h"
#include "platform/file_io.h"
#include "upload/crc32.h"

namespace tidewell::par2 {

namespace {

// Source slices are gathered into batches of about this many bytes: the
// workers compute one batch while the reader fills the other.
constexpr std::uint64_t kBatchBytes = 8ull << 20;
constexpr std::size_t kMostSlotsPerBatch = 32;
// The workers share out the recovery work of a batch in runs of this many
// bytes of the slices, each taking the next run when done with one, so a
// worker that also hashes the files does less of it.
constexpr std::size_t kRunBytes = 32768;
// Within a run a worker goes this many bytes of each slice at a time: the
// batch's pieces, copied into the split layout, stay in the second-level
// cache while they go into every recovery slice, and a piece of a recovery
// slice stays in the first-level cache while every one of them is added.
constexpr std::size_t kPieceBytes = 8192;
// Multiplication tables a worker holds at once: those of as many recovery
// slices as fit, for every slice of the batch. More recovery slices are
// worked through in groups, each group's runs after the one before.
constexpr std::size_t kTableBytes = 128 << 10;
// Below this much multiply-add work per pass (source bytes times recovery
// slices), one worker does it all.
constexpr std::uint64_t kWorkForThreads = 256ull << 20;

enum class FileState { Unread, Reading, Read, Failed };

// The logarithm of the base of each source slice, in the order of the set:
// the powers of 2 whose logarithm shares no factor with 65535 (3, 5, 17,
// 257), in increasing order from 2^1.
std::vector<std::uint16_t> sliceBaseLogs(std::uint32_t count) {
  std::vector<std::uint16_t> logs;
  logs.reserve(count);
  for (std::uint32_t n = 1; logs.size() < count; ++n) {
    if (std::gcd(n, gf16::kGroupOrder) == 1) {
      logs.push_back(static_cast<std::uint16_t>(n));
    }
  }
  return logs;
}

}  // namespace

struct SetWriter::Batch {
  struct Slot {
    std::uint32_t sliceIndex = 0;  // in the set's order
    std::size_t file = 0;
    std::uint32_t sliceOfFile = 0;
    std::size_t bytes = 0;  // of the file (the last slice of a file is short)
    bool changed = false;   // a later pass found other contents than the first
  };
  std::vector<std::uint8_t> data;  // slots, `stride` bytes apart
  std::vector<Slot> slots;
  std::size_t used = 0;
  std::atomic<std::size_t> nextRun{0};  // of the recovery work, see kRunBytes
};

struct SetWriter::State {
  SetOptions options;
  // Bytes between slices in the batches and the recovery buffer: the slice
  // size rounded up to whole blocks of the split layout, the rest zeros.
  std::size_t stride = 0;
  std::vector<SourceFile> files;
  std::vector<FileEntry> entries;  // per file; empty files have none
  std::vector<FileState> fileStates;
  std::vector<std::uint32_t> firstSlice;  // per file, in the set's order
  std::vector<std::size_t> order;         // files in the set, in the order of their IDs
  std::vector<std::uint16_t> baseLogs;
  Md5 setId{};
  std::vector<Volume> volumes;
  std::unique_ptr<SetFiles> out;
  std::string writeError;

  std::vector<std::uint8_t> recovery;  // this pass's recovery slices
  std::uint32_t passFirst = 0;
  std::uint32_t passCount = 0;

  Batch batches[2];
  int filling = 0;
  std::uint64_t slotFill = 0;

  std::size_t current = 0;
  bool reading = false;
  std::uint64_t fed = 0;
  std::uint32_t nextSlice = 0;  // of the file being read
  Md5Stream headHash;
  // The whole-file MD5, run by one worker over each batch in turn (batches
  // are worked on one at a time, in order).
  Md5Stream fileHash;

  std::unique_ptr<WorkerPool> pool;  // last: joined before the buffers go
};

bool readHeadHash(const std::string& path, std::uint64_t size, Md5& head) {
  std::string bytes;
  const auto length = static_cast<std::size_t>(std::min(size, kHeadBytes));
  if (!readExactlyAt(path, 0, length, bytes)) {
    return false;
  }
  head = md5Of(bytes.data(), bytes.size());
  return true;
}

SetWriter::SetWriter(Key /*key*/, const Plan& plan, std::vector<SourceFile> files, SetOptions options)
    : state_(std::make_unique<State>()), plan_(plan) {
  State& s = *state_;
  s.options = std::move(options);
  s.files = std::move(files);
}

SetWriter::~SetWriter() {
  if (state_->pool) {
    state_->pool->wait();
  }
}

unsigned SetWriter::threads() const {
  return state_->pool->size();
}

std::unique_ptr<SetWriter> SetWriter::create(const Plan& plan, std::vector<SourceFile> files, SetOptions options,
                                             std::string& error) {
  if (plan.fileSlices.size() != files.size()) {
    error = "the plan was made for " + std::to_string(plan.fileSlices.size()) + " files, not " +
            std::to_string(files.size());
    return nullptr;
  }
  if (plan.sliceSize == 0 || plan.sliceSize % 4 != 0) {
    error = "the slice size must be a multiple of 4 bytes, not " + std::to_string(plan.sliceSize);
    return nullptr;
  }
  std::uint64_t slices = 0;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::uint64_t needed = (files[i].size + plan.sliceSize - 1) / plan.sliceSize;
    if (needed != plan.fileSlices[i]) {
      error = "the plan was made for another size of " + files[i].name;
      return nullptr;
    }
    slices += needed;
  }
  if (slices > kMaxSourceSlices) {
    error = "the plan makes more than " + std::to_string(kMaxSourceSlices) + " source slices";
    return nullptr;
  }
  if (options.name.empty() || options.name.find('/') != std::string::npos) {
    error = "the set needs a name without '/', not \"" + options.name + "\"";
    return nullptr;
  }
  auto writer = std::make_unique<SetWriter>(Key{}, plan, std::move(files), std::move(options));
  State& s = *writer->state_;

  s.entries.resize(s.files.size());
  s.fileStates.assign(s.files.size(), FileState::Unread);
  s.firstSlice.assign(s.files.size(), 0);
  for (std::size_t i = 0; i < s.files.size(); ++i) {
    const SourceFile& file = s.files[i];
    if (file.size == 0) {
      continue;
    }
    FileEntry& entry = s.entries[i];
    entry.name = file.name;
    entry.size = file.size;
    entry.head = file.head;
    entry.id = fileIdOf(file.head, file.size, file.name);
    entry.slices.resize(plan.fileSlices[i]);
    s.order.push_back(i);
  }
  std::stable_sort(s.order.begin(), s.order.end(),
                   [&](std::size_t a, std::size_t b) { return fileIdBefore(s.entries[a].id, s.entries[b].id); });
  std::vector<Md5> ids;
  std::uint32_t next = 0;
  for (std::size_t i : s.order) {
    ids.push_back(s.entries[i].id);
    s.firstSlice[i] = next;
    next += plan.fileSlices[i];
  }
  const std::string main = mainBody(plan.sliceSize, ids);
  s.setId = md5Of(main.data(), main.size());
  s.baseLogs = sliceBaseLogs(next);
  s.volumes = planVolumes(plan.recoveryCount, s.options.name);
  s.out = std::make_unique<SetFiles>(s.options.directory, s.options.name, s.volumes, plan.sliceSize);

  s.stride = static_cast<std::size_t>((plan.sliceSize + gf16::kSplitBlock - 1) / gf16::kSplitBlock * gf16::kSplitBlock);
  const std::size_t slots =
      static_cast<std::size_t>(std::clamp<std::uint64_t>(kBatchBytes / plan.sliceSize, 1, kMostSlotsPerBatch));
  for (Batch& batch : s.batches) {
    batch.data.resize(slots * s.stride);
    batch.slots.resize(slots);
  }
  s.passCount = std::min(plan.recoveryPerPass, plan.recoveryCount);
  s.recovery.assign(s.passCount * s.stride, 0);

  unsigned threads = s.options.threads;
  if (threads == 0) {
    std::uint64_t sourceBytes = 0;
    for (const SourceFile& file : s.files) {
      sourceBytes += file.size;
    }
    const bool pays = sourceBytes * s.passCount >= kWorkForThreads;
    threads = pays ? std::max(1u, std::thread::hardware_concurrency()) : 1;
  }
  s.pool = std::make_unique<WorkerPool>(threads);
  return writer;
}

void SetWriter::markFailed(std::size_t index) {
  state_->fileStates[index] = FileState::Failed;
}

void SetWriter::beginFile(std::size_t index) {
  State& s = *state_;
  s.reading = index < s.files.size() && s.fileStates[index] == FileState::Unread;
  if (!s.reading) {
    if (index < s.files.size()) {
      markFailed(index);  // fed twice in one pass
    }
    return;
  }
  s.current = index;
  s.fed = 0;
  s.nextSlice = 0;
  s.slotFill = 0;
  (void)s.headHash.finish();  // whatever an abandoned file left
  s.fileStates[index] = FileState::Reading;
}

void SetWriter::feed(const void* data, std::size_t size) {
  State& s = *state_;
  if (!s.reading) {
    return;
  }
  const SourceFile& file = s.files[s.current];
  if (s.fed + size > file.size) {
    markFailed(s.current);  // longer than planned
    s.reading = false;
    return;
  }
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  if (pass_ == 0 && s.fed < kHeadBytes) {
    s.headHash.update(bytes, static_cast<std::size_t>(std::min<std::uint64_t>(size, kHeadBytes - s.fed)));
  }
  s.fed += size;
  while (size > 0) {
    Batch& batch = s.batches[s.filling];
    std::uint8_t* slot = batch.data.data() + batch.used * s.stride;
    const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(size, plan_.sliceSize - s.slotFill));
    std::memcpy(slot + s.slotFill, bytes, take);
    s.slotFill += take;
    bytes += take;
    size -= take;
    if (s.slotFill == plan_.sliceSize) {
      commitSlot();
    }
  }
}

bool SetWriter::endFile() {
  State& s = *state_;
  if (!s.reading) {
    return false;
  }
  s.reading = false;
  const SourceFile& file = s.files[s.current];
  if (s.fed != file.size) {
    markFailed(s.current);
    return false;
  }
  if (s.slotFill > 0) {
    Batch& batch = s.batches[s.filling];
    std::uint8_t* slot = batch.data.data() + batch.used * s.stride;
    std::memset(slot + s.slotFill, 0, static_cast<std::size_t>(plan_.sliceSize - s.slotFill));
    commitSlot();
  }
  if (pass_ == 0 && file.size > 0) {
    if (s.headHash.finish() != s.entries[s.current].head) {
      markFailed(s.current);  // changed since its head was hashed
      return false;
    }
  }
  s.fileStates[s.current] = FileState::Read;
  return true;
}

void SetWriter::failFile(std::size_t index) {
  State& s = *state_;
  if (index >= s.files.size()) {
    return;
  }
  if (s.reading && s.current == index) {
    s.reading = false;
  }
  if (s.files[index].size == 0) {
    return;  // not in the set: nothing claims it
  }
  markFailed(index);
}

void SetWriter::commitSlot() {
  State& s = *state_;
  Batch& batch = s.batches[s.filling];
  std::uint8_t* slot = batch.data.data() + batch.used * s.stride;
  std::memset(slot + plan_.sliceSize, 0, s.stride - static_cast<std::size_t>(plan_.sliceSize));
  const std::uint32_t sliceOfFile = s.nextSlice++;
  batch.slots[batch.used] = Batch::Slot{s.firstSlice[s.current] + sliceOfFile, s.current, sliceOfFile,
                                        static_cast<std::size_t>(s.slotFill), false};
  ++batch.used;
  s.slotFill = 0;
  if (batch.used == batch.slots.size()) {
    submitBatch();
  }
}

void SetWriter::submitBatch() {
  State& s = *state_;
  Batch& batch = s.batches[s.filling];
  Batch& other = s.batches[1 - s.filling];
  s.pool->wait();
  collect(other);
  batch.nextRun = 0;
  s.pool->start([this, &batch](unsigned worker, unsigned workers) { runBatch(batch, worker, workers); });
  s.filling = 1 - s.filling;
}

// After the workers are done with `batch`: files whose slices changed since
// the first pass are failed, and the batch is free again.
void SetWriter::collect(Batch& batch) {
  for (std::size_t i = 0; i < batch.used; ++i) {
    if (batch.slots[i].changed) {
      markFailed(batch.slots[i].file);
    }
  }
  batch.used = 0;
}

void SetWriter::runBatch(Batch& batch, unsigned worker, unsigned workers) {
  // The whole-file MD5s go through the files in order: one worker runs
  // them, the others start on the recovery meanwhile.
  if (pass_ == 0 && worker == workers - 1) {
    hashFiles(batch);
  }
  checkSlices(batch, worker, workers);
  if (state_->passCount != 0) {
    addRecovery(batch);
  }
}

void SetWriter::hashFiles(const Batch& batch) {
  State& s = *state_;
  for (std::size_t i = 0; i < batch.used; ++i) {
    const Batch::Slot& slot = batch.slots[i];
    if (slot.sliceOfFile == 0) {
      (void)s.fileHash.finish();  // whatever a file abandoned part-way left
    }
    s.fileHash.update(batch.data.data() + i * s.stride, slot.bytes);
    if (slot.sliceOfFile + 1 == plan_.fileSlices[slot.file]) {
      s.entries[slot.file].hash = s.fileHash.finish();
    }
  }
}

// Slice checksums: the workers other than the one hashing the files (all
// of them when there is one) each take their own run of slots and hash
// them side by side (md5_lanes.h: sixteen cost little more than eight, so
// few long runs). A later pass only compares the CRC32s.
void SetWriter::checkSlices(Batch& batch, unsigned worker, unsigned workers) {
  State& s = *state_;
  const auto sliceBytes = static_cast<std::size_t>(plan_.sliceSize);
  const unsigned checkers = std::max(1u, workers - 1);
  const std::size_t first = worker < checkers ? batch.used * worker / checkers : 0;
  const std::size_t last = worker < checkers ? batch.used * (worker + 1) / checkers : 0;
  std::vector<const std::uint8_t*> slices;
  for (std::size_t i = first; i < last; ++i) {
    slices.push_back(batch.data.data() + i * s.stride);
  }
  std::vector<Md5> hashes(slices.size());
  if (pass_ == 0) {
    md5Lanes(slices.data(), slices.size(), sliceBytes, hashes.data());
  }
  for (std::size_t i = first; i < last; ++i) {
    Batch::Slot& slot = batch.slots[i];
    SliceChecksum& checksum = s.entries[slot.file].slices[slot.sliceOfFile];
    const std::uint32_t crc = crc32Update(0, slices[i - first], sliceBytes);
    if (pass_ == 0) {
      checksum.md5 = hashes[i - first];
      checksum.crc32 = crc;
    } else {
      slot.changed = crc != checksum.crc32;
    }
  }
}

// Recovery: the batch stays as read (other workers hash it meanwhile);
// each piece is copied into the split layout before it is multiplied. The
// work goes in units of one run of bytes for one group of recovery slices.
void SetWriter::addRecovery(Batch& batch) {
  State& s = *state_;
  const std::size_t count = batch.used;
  const auto group = static_cast<std::uint32_t>(
      std::clamp<std::size_t>(kTableBytes / (sizeof(gf16::MulTable) * count), 1, s.passCount));
  const std::size_t groups = (s.passCount + group - 1) / group;
  const std::size_t runs = (s.stride + kRunBytes - 1) / kRunBytes;
  std::vector<gf16::MulTable> tables(static_cast<std::size_t>(group) * count);
  std::vector<std::uint8_t> pieces(count * kPieceBytes);
  std::size_t built = groups;  // the group whose tables are in `tables`
  for (std::size_t unit; (unit = batch.nextRun.fetch_add(1)) < groups * runs;) {
    const auto groupFirst = static_cast<std::uint32_t>(unit / runs * group);
    const RecoveryGroup current{groupFirst, std::min(group, s.passCount - groupFirst)};
    if (unit / runs != built) {
      built = unit / runs;
      buildTables(batch, current, tables);
    }
    addRun(batch, current, unit % runs, tables, pieces);
  }
}

// The multiplication tables of the group's recovery slices, for every
// slice of the batch.
void SetWriter::buildTables(const Batch& batch, RecoveryGroup group, std::vector<gf16::MulTable>& tables) {
  const State& s = *state_;
  const std::size_t count = batch.used;
  for (std::uint32_t r = 0; r < group.size; ++r) {
    const std::uint64_t exponent = s.passFirst + group.first + r;
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint64_t log = s.baseLogs[batch.slots[i].sliceIndex];
      tables[r * count + i] = gf16::makeMulTable(gf16::antilog(log * exponent));
    }
  }
}

// Adds run `run` of the batch's slices into the group's recovery slices,
// a piece at a time.
void SetWriter::addRun(const Batch& batch, RecoveryGroup group, std::size_t run,
                       const std::vector<gf16::MulTable>& tables, std::vector<std::uint8_t>& pieces) {
  State& s = *state_;
  const std::size_t count = batch.used;
  const std::size_t end = std::min(s.stride, (run + 1) * kRunBytes);
  for (std::size_t offset = run * kRunBytes; offset < end; offset += kPieceBytes) {
    const std::size_t length = std::min(kPieceBytes, end - offset);
    for (std::size_t i = 0; i < count; ++i) {
      std::uint8_t* piece = pieces.data() + i * kPieceBytes;
      std::memcpy(piece, batch.data.data() + i * s.stride + offset, length);
      gf16::toSplit(piece, length);
    }
    for (std::uint32_t r = 0; r < group.size; ++r) {
      std::uint8_t* target = s.recovery.data() + (group.first + r) * s.stride + offset;
      for (std::size_t i = 0; i < count; ++i) {
        gf16::mulAddSplit(target, pieces.data() + i * kPieceBytes, length, tables[r * count + i], s.options.kernel);
      }
    }
  }
}

bool SetWriter::endPass() {
  State& s = *state_;
  if (pass_ >= plan_.passCount) {
    return false;
  }
  if (s.reading) {
    markFailed(s.current);  // begun and never ended
    s.reading = false;
  }
  if (s.batches[s.filling].used > 0) {
    submitBatch();
  }
  s.pool->wait();
  collect(s.batches[0]);
  collect(s.batches[1]);
  bool anyFailed = false;
  for (std::size_t i = 0; i < s.files.size(); ++i) {
    if (s.files[i].size == 0 && s.fileStates[i] == FileState::Unread) {
      continue;  // not in the set: reading it is up to the caller
    }
    if (s.fileStates[i] != FileState::Read) {
      markFailed(i);
      anyFailed = true;
    } else {
      s.fileStates[i] = FileState::Unread;  // for the next pass
    }
  }
  bool written = true;
  if (!anyFailed) {
    for (std::uint32_t r = 0; r < s.passCount && written; ++r) {
      std::uint8_t* slice = s.recovery.data() + r * s.stride;
      gf16::fromSplit(slice, s.stride);
      written = s.out->writeRecovery(s.setId, s.passFirst + r, slice);
    }
    if (!written) {
      s.writeError = s.out->error();
    }
  }
  ++pass_;
  s.passFirst += s.passCount;
  s.passCount = std::min(plan_.recoveryPerPass, plan_.recoveryCount - std::min(plan_.recoveryCount, s.passFirst));
  std::fill(s.recovery.begin(), s.recovery.end(), 0);
  return written;
}

SetResult SetWriter::finish() {
  State& s = *state_;
  SetResult result;
  for (std::size_t i = 0; i < s.files.size(); ++i) {
    if (s.fileStates[i] == FileState::Failed) {
      result.failedFiles.push_back(i);
    }
  }
  if (!result.failedFiles.empty()) {
    result.error = std::to_string(result.failedFiles.size()) +
                   " file(s) changed or could not be read while the recovery set was computed; no set was written";
  } else if (pass_ < plan_.passCount) {
    result.error = "the recovery set needs " + std::to_string(plan_.passCount) + " reads of the files, not " +
                   std::to_string(pass_);
  } else if (!s.writeError.empty()) {
    result.error = s.writeError;
  }
  if (!result.error.empty()) {
    s.out->discard();
    return result;
  }
  std::string description = packet(s.setId, PacketType::Main, mainBody(plan_.sliceSize, [&] {
                                     std::vector<Md5> ids;
                                     for (std::size_t i : s.order) {
                                       ids.push_back(s.entries[i].id);
                                     }
                                     return ids;
                                   }()));
  for (std::size_t i : s.order) {
    description += packet(s.setId, PacketType::FileDescription, fileDescriptionBody(s.entries[i]));
    description += packet(s.setId, PacketType::SliceChecksum, sliceChecksumBody(s.entries[i]));
  }
  description += packet(s.setId, PacketType::Creator, creatorBody(s.options.creator));
  result.files = s.out->complete(description);
  if (result.files.empty()) {
    result.error = s.out->error();
    return result;
  }
  result.written = true;
  return result;
}

}  // namespace tidewell::par2
