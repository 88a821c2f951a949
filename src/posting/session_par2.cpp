// The run's PAR2 recovery set (Par2=TRUE): planned over the listed files as
// the run starts, fed from the encoders' reads for posting, written when its first
// file is due and posted after the data files as files of the same run.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "platform/file_system.h"
#include "platform/text.h"
#include "posting/article_text.h"
#include "posting/session.h"
#include "settings/settings_store.h"
#include "settings/value_rules.h"
#include "upload/upload_list.h"
#include "upload/upload_scan.h"

namespace tidewell {

namespace {

constexpr std::string_view kReportSuffix = ".TXT";
constexpr std::string_view kDefaultSetName = "recovery";

std::string baseNameOf(std::string directory) {
  while (directory.size() > 1 && directory.back() == '/') {
    directory.pop_back();
  }
  const std::size_t slash = directory.rfind('/');
  std::string name = slash == std::string::npos ? directory : directory.substr(slash + 1);
  if (name.empty() || name == "." || name == ".." || name == "/") {
    // "." names the working directory: its own name says more.
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(directory.empty() ? "." : directory, error);
    name = error ? std::string() : absolute.lexically_normal().filename().string();
    if (name.empty() || name == "." || name == "..") {
      name = absolute.lexically_normal().parent_path().filename().string();
    }
  }
  return name.empty() || name == "/" ? std::string(kDefaultSetName) : name;
}

}  // namespace

void PostingSession::Impl::startRecovery() {
  recovery_.reset();
  recoveryFolder_.clear();
  SettingsStore& settings = services_.settings;
  if (!settings.flag(Setting::Par2)) {
    return;
  }
  const auto say = [this](const std::string& text) { log_.ReportStamped("Recovery: " + text + "\r\n"); };
  recoveryKeep_ = settings.flag(Setting::Par2Keep);
  std::string name = recoverySetName();
  std::string folder = reportSetFolder();
  if (folder.empty()) {
    say("no set is made: the report has no name to put it beside.");
    return;
  }
  if (resumeOn_) {
    // Beside the journal, so that a run resuming this one finds the set.
    folder = journalPath() + ".par2";
  }

  std::uint64_t largest = 0;
  std::vector<RecoveryData> files = recoverySources(largest);
  std::string error;
  std::unique_ptr<RecoveryRun> run =
      RecoveryRun::start(std::move(files), recoveryOptions(std::move(name), folder, largest), error);
  if (!run) {
    say("no set is made (" + error + ").");
    return;
  }
  if (const std::string listed = listedSetFile(*run); !listed.empty()) {
    say("no set is made: " + headerSafeText(listed, '_') + " is a listed file; choose another Par2Name.");
    std::error_code ignored;
    std::filesystem::remove(folder, ignored);  // made for the set, still empty
    return;
  }
  const par2::Plan& plan = run->plan();
  say(formatText("a PAR2 set of %u source and %u recovery slices of %llu bytes (%d%%) in %s, posted after the files.",
                 plan.sourceSliceCount, plan.recoveryCount, static_cast<unsigned long long>(plan.sliceSize),
                 settings.number(Setting::Par2Redundancy), folder.c_str()));
  if (plan.passCount > 1) {
    say(formatText("the recovery data (%llu MiB) exceeds Par2Memory: the files are read %u more times for it.",
                   static_cast<unsigned long long>((plan.sliceSize * plan.recoveryCount) >> 20), plan.passCount - 1));
  }
  for (const std::string& setFile : run->plannedFiles()) {
    services_.uploadList.append(std::make_unique<nodeClass>(setFile, std::nullopt));
  }
  recoveryFolder_ = folder;
  recovery_ = std::move(run);
}

// The set's name: Par2Name, or the directory's name when it is empty or no
// file name of its own (the report says so).
std::string PostingSession::Impl::recoverySetName() {
  std::string name = trimmed(services_.settings.read(Setting::Par2Name));
  if (!par2NameProblem(name).empty()) {
    log_.ReportStamped("Recovery: Par2Name " + headerSafeText(name, '_') +
                       " is no file name of its own; the set takes the directory's name.\r\n");
    name.clear();
  }
  return name.empty() ? baseNameOf(services_.settings.getDirectory()) : name;
}

// The set's options from the keys; its slices the size of a yEnc part of
// the largest file where that suits.
RecoveryOptions PostingSession::Impl::recoveryOptions(std::string name, const std::string& folder,
                                                      std::uint64_t largest) {
  SettingsStore& settings = services_.settings;
  RecoveryOptions options;
  options.redundancyPercent = settings.number(Setting::Par2Redundancy);
  options.sliceSize = static_cast<std::uint64_t>(std::max<std::int64_t>(0, settings.number64(Setting::Par2SliceSize)));
  if (yencOn_ && largest > 0) {
    options.preferredSliceSize =
        static_cast<std::uint64_t>(planYencParts(static_cast<std::int64_t>(largest), partSizeSetting_).partLength);
  }
  options.memoryBytes = static_cast<std::uint64_t>(std::max(1, settings.number(Setting::Par2Memory))) << 20;
  options.name = std::move(name);
  options.folder = folder;
  return options;
}

std::vector<RecoveryData> PostingSession::Impl::recoverySources(std::uint64_t& largest) const {
  std::vector<RecoveryData> files;
  for (const nodeClass& entry : services_.uploadList) {
    if (!entry.getName()) {
      continue;
    }
    const std::string path = sourcePath(*entry.getName());
    const auto size = static_cast<std::uint64_t>(std::max<std::int64_t>(0, fileSizeOf(path)));
    if (size == 0) {
      continue;  // an empty file has no slice: a set that lists one never verifies
    }
    largest = std::max(largest, size);
    // The name a downloader writes: the real name with yEnc, the name of the
    // "begin" line with uuencode.
    files.push_back(RecoveryData{*entry.getName(), path, yencOn_ ? *entry.getName() : entry.textName()});
  }
  return files;
}

std::string PostingSession::Impl::listedSetFile(const RecoveryRun& run) const {
  for (const std::string& setFile : run.plannedFiles()) {
    for (const nodeClass& entry : services_.uploadList) {
      if (entry.getName() == setFile) {
        return setFile;
      }
    }
  }
  return {};
}

const nodeClass* PostingSession::Impl::recoveryHead(const nodeClass* head) {
  if (!recovery_ || recovery_->finished() || head == nullptr || !head->getName() ||
      !recovery_->pathOf(*head->getName())) {
    return head;
  }
  // The first file of the set is due: every data file has been read.
  const std::vector<std::string> planned = recovery_->plannedFiles();
  RecoveryOutcome outcome = recovery_->finish();
  const auto say = [this](const std::string& text) { log_.ReportStamped("Recovery: " + text + "\r\n"); };
  for (const std::string& changed : outcome.changedFiles) {
    say(headerSafeText(changed, '_') +
        " changed or could not be read while the set was computed: its posted articles may not match it, and the "
        "set leaves it out.");
  }
  // The planned names leave the list; the files written take their place.
  for (const std::string& name : planned) {
    for (const nodeClass* entry = services_.uploadList.getHead(); entry != nullptr; entry = entry->getNext()) {
      if (entry->getName() == name) {
        services_.uploadList.removeEntry(entry);
        break;
      }
    }
  }
  if (!outcome.written) {
    say("the set could not be written to " + recoveryFolder_ + " (" + outcome.error + "): it is not posted.");
    return services_.uploadList.getHead();
  }
  for (const std::string& name : outcome.files) {
    services_.uploadList.append(std::make_unique<nodeClass>(name, std::nullopt));
    // The run record (and the JSON report) lists them as files of the run.
    record_.files.push_back(FileRecord{name, fileSizeOf(sourcePath(name)), "", 0, {}});
  }
  say(formatText("%zu files written with %u recovery slices on %u thread(s); %llu bytes read only for the set.",
                 outcome.files.size(), recovery_->plan().recoveryCount, std::max(1u, recovery_->threads()),
                 static_cast<unsigned long long>(recovery_->extraBytesRead())));
  return services_.uploadList.getHead();
}

std::string PostingSession::Impl::reportSetFolder() const {
  std::string folder = log_.reportFileName();
  if (folder.size() < kReportSuffix.size()) {
    return {};
  }
  return folder.replace(folder.size() - kReportSuffix.size(), kReportSuffix.size(), ".par2");
}

std::string PostingSession::Impl::recoveryDirectory(const std::string& name) const {
  return recovery_ && recovery_->pathOf(name) ? recoveryFolder_ : services_.settings.getDirectory();
}

void PostingSession::Impl::adoptResumedSet() {
  if (!recovery_) {
    return;
  }
  const auto resumed = [this](const std::string& name) {
    return std::any_of(resumedFiles_.begin(), resumedFiles_.end(),
                       [&](const JournalFile& file) { return file.name == name; });
  };
  const std::vector<std::string> setFiles = recovery_->plannedFiles();
  const std::vector<std::string> data = recovery_->dataNames();
  std::error_code error;
  const bool unchanged = journal_.isOpen() && std::all_of(data.begin(), data.end(), resumed);
  const bool written = std::all_of(setFiles.begin(), setFiles.end(), [&](const std::string& name) {
    return std::filesystem::is_regular_file(joinPath(recoveryFolder_, name), error);
  });
  if (unchanged && written) {
    recovery_->adoptWritten();
    log_.ReportStamped("Recovery: the set the resumed run wrote is posted from " + recoveryFolder_ +
                       "; it is not computed again.\r\n");
    return;
  }
  // The set is made afresh: nothing of an earlier set counts as posted.
  for (const std::string& name : setFiles) {
    posted_.forget(name);
  }
  std::erase_if(resumedFiles_, [&](const JournalFile& file) { return recovery_->pathOf(file.name).has_value(); });
  std::erase_if(resumeStats_,
                [&](const DoubtedArticle& stat) { return recovery_->pathOf(stat.sourceName).has_value(); });
}

void PostingSession::Impl::openRecoveryData() {
  if (recovery_) {
    recovery_->openData(currentSourceName_);
  }
}

void PostingSession::Impl::endRecovery() {
  if (!recovery_) {
    return;
  }
  std::error_code error;
  if (resumeOn_) {
    // The set stays beside the journal while a run may resume this one.
    if (recoveryKeep_ && recovery_->finished()) {
      const std::string kept = reportSetFolder();
      std::filesystem::create_directory(kept, error);
      for (const std::string& name : recovery_->plannedFiles()) {
        std::filesystem::copy_file(joinPath(recoveryFolder_, name), joinPath(kept, name),
                                   std::filesystem::copy_options::overwrite_existing, error);
      }
    }
    recovery_.reset();
    if (!std::filesystem::exists(journalPath(), error)) {
      std::filesystem::remove_all(recoveryFolder_, error);
    }
    return;
  }
  recovery_.reset();  // a set not finished removes what it wrote
  if (!recoveryKeep_) {
    std::filesystem::remove_all(recoveryFolder_, error);
  } else {
    std::filesystem::remove(recoveryFolder_, error);  // only when nothing was kept in it
  }
}

}  // namespace tidewell
