#include "upload/run_journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>

#include "platform/text.h"
#include "settings/settings_store.h"
#include "upload/crc32.h"

namespace tidewell {

namespace {

constexpr std::string_view kMagic = "TIDEWELL-JOURNAL 1";
constexpr std::string_view kJournalSuffix = ".journal";
constexpr std::size_t kSumDigits = 8;

// The keys of journalSettings, in the order the journal lists them.
constexpr Setting kShapingKeys[] = {
    Setting::Directory, Setting::Newsgroup,   Setting::Subject,        Setting::From,
    Setting::PartSize,  Setting::BodyComment, Setting::AppendFileSize, Setting::ShowFilename,
    Setting::UseBBS,    Setting::Encoding,    Setting::LineLength,     Setting::MessageIDDomain,
};

// A field holds no space, line end or other control byte: those and "%"
// are written as %XX.
std::string escaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F || byte == '%') {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", byte);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  return -1;
}

std::optional<std::string> unescaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) {
      return std::nullopt;
    }
    const int high = hexValue(text[i + 1]);
    const int low = hexValue(text[i + 2]);
    if (high < 0 || low < 0) {
      return std::nullopt;
    }
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

std::uint32_t sumOf(std::string_view record) {
  return crc32Update(0, record.data(), record.size());
}

// The record's fields: `count` of them, the last running to the end of the
// record (it may be empty).
std::optional<std::vector<std::string_view>> fieldsOf(std::string_view record, std::size_t count) {
  std::vector<std::string_view> fields;
  while (fields.size() + 1 < count) {
    const std::size_t space = record.find(' ');
    if (space == std::string_view::npos) {
      return std::nullopt;
    }
    fields.push_back(record.substr(0, space));
    record.remove_prefix(space + 1);
  }
  fields.push_back(record);
  return fields;
}

template <typename Number>
bool parseNumber(std::string_view text, Number& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

// A check sum of kSumDigits hexadecimal digits, all of `digits`.
bool parseSum(std::string_view digits, std::uint32_t& sum) {
  const auto [last, error] = std::from_chars(digits.data(), digits.data() + digits.size(), sum, 16);
  return error == std::errc() && last == digits.data() + digits.size() && digits.size() == kSumDigits;
}

// The records of a journal's text: whole lines whose check sum matches.
std::vector<std::string_view> recordsOf(std::string_view text) {
  std::vector<std::string_view> records;
  std::size_t start = 0;
  for (std::size_t end = text.find('\n'); end != std::string_view::npos; end = text.find('\n', start)) {
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    std::uint32_t sum = 0;
    if (line.size() <= kSumDigits || line[kSumDigits] != ' ') {
      continue;
    }
    const std::string_view record = line.substr(kSumDigits + 1);
    if (parseSum(line.substr(0, kSumDigits), sum) && sum == sumOf(record)) {
      records.push_back(record);
    }
  }
  return records;  // a torn last line has no line end and is never seen
}

// "S key value": one setting of the run that wrote the journal.
bool applySetting(JournalContents& contents, std::string_view record) {
  const auto fields = fieldsOf(record, 2);
  const auto key = fields ? unescaped((*fields)[0]) : std::nullopt;
  const auto value = fields ? unescaped((*fields)[1]) : std::nullopt;
  if (!key || !value) {
    return false;
  }
  contents.settings.emplace_back(*key, *value);
  return true;
}

// "F size mtime parts name": a file's posting starts.
bool applyFileStart(JournalContents& contents, std::string_view record) {
  const auto fields = fieldsOf(record, 4);
  JournalFile started;
  const auto name = fields ? unescaped((*fields)[3]) : std::nullopt;
  if (!name || !parseNumber((*fields)[0], started.size) || !parseNumber((*fields)[1], started.mtimeNs) ||
      !parseNumber((*fields)[2], started.partCount)) {
    return false;
  }
  started.name = *name;
  // The same file started again keeps what the server holds of it; a
  // changed one starts over. Either way it becomes the current file.
  auto same = std::find_if(contents.files.begin(), contents.files.end(),
                           [&](const JournalFile& f) { return f.name == started.name; });
  if (same != contents.files.end()) {
    if (same->size == started.size && same->mtimeNs == started.mtimeNs) {
      started.accepted = std::move(same->accepted);
      started.inFlight = std::move(same->inFlight);
      started.subject = std::move(same->subject);
      started.disguisedName = std::move(same->disguisedName);
      started.date = same->date;
    }
    contents.files.erase(same);
  }
  contents.files.push_back(std::move(started));
  return true;
}

// The other records name their file: the entry of its last start.
JournalFile* fileNamed(JournalContents& contents, std::string_view escapedName) {
  const auto name = unescaped(escapedName);
  if (!name) {
    return nullptr;
  }
  const auto found =
      std::find_if(contents.files.begin(), contents.files.end(), [&](const JournalFile& f) { return f.name == *name; });
  return found == contents.files.end() ? nullptr : &*found;
}

// "D from domain": the disguise of the run's From and Message-IDs.
bool applyDisguise(JournalContents& contents, std::string_view record) {
  const auto fields = fieldsOf(record, 2);
  const auto from = fields ? unescaped((*fields)[0]) : std::nullopt;
  const auto domain = fields ? unescaped((*fields)[1]) : std::nullopt;
  if (!from || !domain || from->empty()) {
    return false;
  }
  contents.disguisedFrom = *from;
  contents.disguisedIdDomain = *domain;
  return true;
}

// "N disguised name": the name a file is posted under.
bool applyDisguisedName(JournalContents& contents, std::string_view record) {
  const auto fields = fieldsOf(record, 2);
  JournalFile* file = fields ? fileNamed(contents, (*fields)[1]) : nullptr;
  const auto disguised = file != nullptr ? unescaped((*fields)[0]) : std::nullopt;
  if (!disguised || disguised->empty()) {
    return false;
  }
  file->disguisedName = *disguised;
  return true;
}

// "T date name subject": the subject and date a file's articles carry.
bool applySubject(JournalContents& contents, std::string_view record) {
  const auto fields = fieldsOf(record, 3);
  JournalFile* file = fields ? fileNamed(contents, (*fields)[1]) : nullptr;
  const auto subject = file != nullptr ? unescaped((*fields)[2]) : std::nullopt;
  if (!subject || !parseNumber((*fields)[0], file->date)) {
    return false;
  }
  file->subject = *subject;
  return true;
}

// The fields of a part record as "part bytes id name": with the part's
// check sum before the name, or (older journals) without. Names hold no
// space, so the count of fields tells. Nothing when the sum is unreadable.
std::optional<std::vector<std::string_view>> partFieldsOf(std::string_view record,
                                                          std::optional<std::uint32_t>& sourceCrc) {
  auto fields = fieldsOf(record, 5);
  if (!fields) {
    return fieldsOf(record, 4);
  }
  std::uint32_t sum = 0;
  if (!parseSum((*fields)[3], sum)) {
    return std::nullopt;
  }
  sourceCrc = sum;
  fields->erase(fields->begin() + 3);
  return fields;
}

// "I ..." (sent, not yet acknowledged) or "A ..." (accepted): a part.
bool applyPart(JournalContents& contents, char kind, std::string_view record) {
  std::optional<std::uint32_t> sourceCrc;
  const auto fields = partFieldsOf(record, sourceCrc);
  JournalFile* file = fields ? fileNamed(contents, (*fields)[3]) : nullptr;
  const auto id = file != nullptr ? unescaped((*fields)[2]) : std::nullopt;
  std::int32_t part = 0;
  std::int64_t bytes = 0;
  if (!id || !parseNumber((*fields)[0], part) || !parseNumber((*fields)[1], bytes)) {
    return false;
  }
  if (kind == 'I') {
    file->inFlight[part] = JournalPart{bytes, *id, sourceCrc};
    return true;
  }
  const auto sent = file->inFlight.find(part);
  if (!sourceCrc && sent != file->inFlight.end() && sent->second.messageId == *id) {
    sourceCrc = sent->second.sourceCrc;
  }
  file->accepted[part] = JournalPart{bytes, *id, sourceCrc};
  file->inFlight.erase(part);
  return true;
}

// Applies one record; false when it cannot be read (it is then left out).
bool applyRecord(JournalContents& contents, std::string_view record) {
  if (record.size() < 2 || record[1] != ' ') {
    return false;
  }
  const char kind = record[0];
  record.remove_prefix(2);
  switch (kind) {
    case 'S':
      return applySetting(contents, record);
    case 'F':
      return applyFileStart(contents, record);
    case 'D':
      return applyDisguise(contents, record);
    case 'N':
      return applyDisguisedName(contents, record);
    case 'T':
      return applySubject(contents, record);
    case 'I':
    case 'A':
      return applyPart(contents, kind, record);
    default:
      return false;
  }
}

// Why the open file cannot be trusted as our journal; empty when it can.
std::string distrustOf(int fd) {
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    return "it cannot be looked at (" + writeErrorText(errno) + ")";
  }
  if (!S_ISREG(info.st_mode)) {
    return "it is not a regular file";
  }
  if (info.st_uid != geteuid()) {
    return "it belongs to another user";
  }
  if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    return "other users may write to it";
  }
  return {};
}

// Why the journal's name cannot be opened; empty when it is missing.
std::string openFailure(int error) {
  switch (error) {
    case ENOENT:
      return {};
    case ELOOP:
      return "it is a symbolic link";
    case EISDIR:
    case ENXIO:
      return "it is not a regular file";
    default:
      return "it cannot be opened for appending (" + writeErrorText(error) + ")";
  }
}

// The whole text of an open file; false when it cannot be read.
bool readAll(int fd, std::string& text) {
  text.clear();
  char block[65536];
  for (off_t at = 0;;) {
    const ssize_t got = pread(fd, block, sizeof block, at);
    if (got < 0) {
      return false;
    }
    if (got == 0) {
      return true;
    }
    text.append(block, static_cast<std::size_t>(got));
    at += got;
  }
}

std::optional<JournalContents> contentsOf(std::string_view text) {
  const std::vector<std::string_view> records = recordsOf(text);
  if (records.empty() || records.front() != kMagic) {
    return std::nullopt;
  }
  JournalContents contents;
  for (std::size_t i = 1; i < records.size(); ++i) {
    static_cast<void>(applyRecord(contents, records[i]));
  }
  return contents;
}

// " <crc>" before a part record's name, when the part has a sum.
std::string sumField(std::optional<std::uint32_t> sourceCrc) {
  if (!sourceCrc) {
    return {};
  }
  char field[kSumDigits + 2];
  std::snprintf(field, sizeof field, " %08X", static_cast<unsigned>(*sourceCrc));
  return field;
}

// Makes the journal's directory entry durable (a new or removed file).
void syncDirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string directory = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const FileDescriptor dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.isOpen()) {
    static_cast<void>(fsync(dir.get()));
  }
}

}  // namespace

JournalSettings journalSettings(const SettingsStore& settings) {
  JournalSettings values;
  for (const Setting key : kShapingKeys) {
    values.emplace_back(std::string(rowOf(key).name), settings.read(key));
  }
  // A recovery set's files are files of the run: the keys that shape them
  // count when there is one.
  if (settings.flag(Setting::Par2)) {
    for (const Setting key : {Setting::Par2, Setting::Par2Redundancy, Setting::Par2SliceSize, Setting::Par2Name}) {
      values.emplace_back(std::string(rowOf(key).name), settings.read(key));
    }
  }
  // Obfuscate=TRUE counts only when on, so journals of runs without it
  // keep matching as before; a run with it never resumes one without it,
  // nor the reverse.
  if (settings.flag(Setting::Obfuscate)) {
    values.emplace_back(std::string(rowOf(Setting::Obfuscate).name), "TRUE");
  }
  return values;
}

std::string journalPathFor(const std::string& configFilePath) {
  return configFilePath + std::string(kJournalSuffix);
}

bool JournalContents::matches(const JournalSettings& current) const {
  JournalSettings mine = settings;
  JournalSettings theirs = current;
  std::sort(mine.begin(), mine.end());
  std::sort(theirs.begin(), theirs.end());
  return mine == theirs;
}

const JournalFile* JournalContents::findFile(std::string_view name, std::int64_t size, std::int64_t mtimeNs) const {
  for (const JournalFile& file : files) {
    if (file.name == name) {
      return file.size == size && file.mtimeNs == mtimeNs ? &file : nullptr;
    }
  }
  return nullptr;
}

std::int32_t JournalContents::acceptedCount() const {
  std::int32_t count = 0;
  for (const JournalFile& file : files) {
    count += static_cast<std::int32_t>(file.accepted.size());
  }
  return count;
}

std::string untrustedJournalText(std::string_view path, std::string_view refusal) {
  return "The journal " + std::string(path) + " is not used (" + std::string(refusal) +
         "): every file is posted from its first part.";
}

std::optional<JournalContents> readJournal(const std::string& path) {
  // Never blocks (a FIFO planted at the name) and never follows a link.
  const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  std::string text;
  if (!fd.isOpen() || !distrustOf(fd.get()).empty() || !readAll(fd.get(), text)) {
    return std::nullopt;
  }
  return contentsOf(text);
}

bool fileStamp(const std::string& path, std::int64_t& size, std::int64_t& mtimeNs) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    return false;
  }
  size = info.st_size;
  mtimeNs = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  return true;
}

bool RunJournal::create(const std::string& path, const JournalSettings& settings) {
  path_ = path;
  // A fresh file, never one planted at the name (a link is removed, not
  // followed), readable by the owner only.
  if (unlink(path.c_str()) != 0 && errno != ENOENT) {
    fd_ = FileDescriptor();
    return false;
  }
  fd_ =
      FileDescriptor(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_NOFOLLOW | O_CLOEXEC, kOwnerOnly));
  if (!fd_.isOpen() || !append(kMagic)) {
    return false;
  }
  for (const auto& [key, value] : settings) {
    if (!append("S " + escaped(key) + ' ' + escaped(value))) {
      return false;
    }
  }
  syncDirectoryOf(path);
  return true;
}

JournalOpening RunJournal::open(const std::string& path) {
  path_ = path;
  JournalOpening opening;
  // Read and appended through the one descriptor: what is checked is what
  // is read and what is written.
  fd_ = FileDescriptor(::open(path.c_str(), O_RDWR | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!fd_.isOpen()) {
    opening.refusal = openFailure(errno);
    return opening;
  }
  std::string text;
  opening.refusal = distrustOf(fd_.get());
  if (opening.refusal.empty() && !readAll(fd_.get(), text)) {
    opening.refusal = "it cannot be read (" + writeErrorText(errno) + ")";
  }
  if (opening.refusal.empty()) {
    opening.contents = contentsOf(text);
  }
  if (!opening.contents) {
    fd_ = FileDescriptor();
  }
  return opening;
}

bool RunJournal::resume() {
  std::string text;
  if (!fd_.isOpen() || fchmod(fd_.get(), kOwnerOnly) != 0 || !readAll(fd_.get(), text)) {
    fd_ = FileDescriptor();
    return false;
  }
  if (!text.empty() && text.back() != '\n') {
    const std::size_t lastEnd = text.rfind('\n');
    const off_t keep = lastEnd == std::string::npos ? 0 : static_cast<off_t>(lastEnd + 1);
    if (ftruncate(fd_.get(), keep) != 0 || fdatasync(fd_.get()) != 0) {
      fd_ = FileDescriptor();
      return false;
    }
  }
  return true;
}

bool RunJournal::reopen(const std::string& path) {
  return open(path).contents.has_value() && resume();
}

bool RunJournal::startFile(std::string_view name, std::int64_t size, std::int64_t mtimeNs, std::int32_t partCount) {
  return append("F " + std::to_string(size) + ' ' + std::to_string(mtimeNs) + ' ' + std::to_string(partCount) + ' ' +
                escaped(name));
}

bool RunJournal::noteSubject(std::string_view name, std::string_view subject, std::int64_t date) {
  return append("T " + std::to_string(date) + ' ' + escaped(name) + ' ' + escaped(subject));
}

bool RunJournal::noteDisguise(std::string_view from, std::string_view messageIdDomain) {
  return append("D " + escaped(from) + ' ' + escaped(messageIdDomain));
}

bool RunJournal::noteDisguisedName(std::string_view name, std::string_view disguisedName) {
  return append("N " + escaped(disguisedName) + ' ' + escaped(name));
}

bool RunJournal::noteInFlight(std::string_view name, std::int32_t part, std::int64_t bytes, std::string_view messageId,
                              std::optional<std::uint32_t> sourceCrc) {
  return append("I " + std::to_string(part) + ' ' + std::to_string(bytes) + ' ' + escaped(messageId) +
                sumField(sourceCrc) + ' ' + escaped(name));
}

bool RunJournal::noteAccepted(std::string_view name, std::int32_t part, std::int64_t bytes, std::string_view messageId,
                              std::optional<std::uint32_t> sourceCrc) {
  return append("A " + std::to_string(part) + ' ' + std::to_string(bytes) + ' ' + escaped(messageId) +
                sumField(sourceCrc) + ' ' + escaped(name));
}

bool RunJournal::finish() {
  fd_ = FileDescriptor();
  if (path_.empty() || (unlink(path_.c_str()) != 0 && errno != ENOENT)) {
    return false;
  }
  syncDirectoryOf(path_);
  return true;
}

bool RunJournal::append(std::string_view record) {
  if (!fd_.isOpen()) {
    return false;
  }
  char sum[kSumDigits + 2];
  std::snprintf(sum, sizeof sum, "%08X ", static_cast<unsigned>(sumOf(record)));
  std::string line(sum);
  line += record;
  line += '\n';
  // One write per record, synced before the run goes on: after a crash the
  // journal holds every record written before it, and at most the last
  // line is torn.
  if (!writeAll(fd_.get(), line) || fdatasync(fd_.get()) != 0) {
    const int error = errno;
    fd_ = FileDescriptor();
    errno = error;
    return false;
  }
  return true;
}

}  // namespace tidewell
