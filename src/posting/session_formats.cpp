// How the session's articles are made beyond the plain uuencoded post: yEnc
// parts read straight from the source file, our own Message-IDs, and the
// NZB document of the run (docs/upload.md).
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/text.h"
#include "posting/article_text.h"
#include "posting/session.h"
#include "posting/session_parallel.h"
#include "settings/settings_store.h"
#include "settings/value_rules.h"
#include "upload/message_id.h"
#include "upload/random_names.h"
#include "upload/upload_list.h"

namespace tidewell {

namespace {

constexpr std::string_view kYencName = "yenc";
constexpr std::string_view kReportSuffix = ".TXT";

// The groups of the Newsgroups header, as the NZB lists them.
std::vector<std::string> groupsOf(std::string_view newsgroups) {
  std::vector<std::string> groups;
  std::size_t start = 0;
  while (start <= newsgroups.size()) {
    std::size_t end = newsgroups.find(',', start);
    if (end == std::string_view::npos) {
      end = newsgroups.size();
    }
    std::string group = trimmed(headerSafeText(newsgroups.substr(start, end - start), ' '));
    if (!group.empty()) {
      groups.push_back(std::move(group));
    }
    start = end + 1;
  }
  return groups;
}

}  // namespace

bool PostingSession::Impl::readArticleFormat() {
  SettingsStore& settings = services_.settings;
  yencOn_ = toLowerAscii(trimmed(settings.read(Setting::Encoding))) == kYencName;
  const std::int32_t lineLength = settings.number(Setting::LineLength);
  // A value written by hand outside 32..997 is brought into it; 0 or below
  // counts as not set.
  yencLineLength_ =
      lineLength <= 0 ? kDefaultYencLineLength : std::clamp(lineLength, kShortestYencLine, kLongestYencLine);
  const bool nzbOn = settings.flag(Setting::NZB);
  // A downloader finds the articles of an NZB by their ids: NZB needs them.
  messageIdsOn_ = nzbOn || settings.flag(Setting::MessageIDs);
  if (!readObfuscation()) {
    return false;
  }
  // The usual domain names the program: an obfuscated run uses its random
  // one in its place.
  const std::string usualDomain = disguise_ ? disguise_->messageIdDomain() : std::string(kDefaultMessageIdDomain);
  messageIdDomain_ = trimmed(settings.read(Setting::MessageIDDomain));
  if (messageIdDomain_.empty() || messageIdDomain_ == kDefaultMessageIdDomain) {
    messageIdDomain_ = usualDomain;
  } else if (messageIdsOn_ && !isValidMessageIdDomain(messageIdDomain_)) {
    log_.ReportStamped("MessageIDDomain " + headerSafeText(messageIdDomain_, '_') +
                       " cannot stand in a Message-ID; the ids use " + usualDomain + ".\r\n");
    messageIdDomain_ = usualDomain;
  }
  if (yencOn_ && !yencEncoder_) {
    yencEncoder_ = std::make_unique<YencEncoder>();
  }
  yencFile_ = false;
  yencSource_ = FileDescriptor();
  posted_.clear();
  unacknowledged_.reset();
  nzb_ = nzbOn ? std::make_unique<NzbDocument>() : nullptr;
  if (nzb_) {
    // The document's metadata, as a downloader or indexer reads it.
    nzb_->addMeta("title", trimmed(settings.read(Setting::NzbTitle)));
    nzb_->addMeta("password", trimmed(settings.read(Setting::NzbPassword)));
    nzb_->addMeta("category", trimmed(settings.read(Setting::NzbCategory)));
    nzb_->addMeta("tag", trimmed(settings.read(Setting::NzbTag)));
  }
  nzbSourceName_.clear();
  nzbFileName_.clear();
  return true;
}

bool PostingSession::Impl::readObfuscation() {
  SettingsStore& settings = services_.settings;
  disguise_.reset();
  namesInJournal_.clear();
  if (!settings.flag(Setting::Obfuscate)) {
    return true;
  }
  // Set by editing the file: a post that would name its files is not made.
  if (const std::string problem = obfuscationProblem(true, settings.read(Setting::Encoding)); !problem.empty()) {
    refuseSettings(problem);
    return false;
  }
  disguise_ = RunDisguise::make();
  if (!disguise_) {
    refuseSettings("Obfuscate=TRUE: the system's random source failed, so no random names can be made.");
    return false;
  }
  log_.ReportStamped(
      "Obfuscated: the server gets random subjects, yEnc names and From; the real names are in this report and the "
      "NZB.\r\n");
  // Downloaders take the real names back from the PAR2 set or the NZB.
  const std::optional<Setting> par2 = findSetting("Par2");
  if (!par2 || !settings.flag(*par2)) {
    log_.ReportStamped(
        "Obfuscate=TRUE without Par2=TRUE: a downloader cannot restore the real names from the articles.\r\n");
  }
  if (!settings.flag(Setting::NZB)) {
    log_.ReportStamped("Obfuscate=TRUE without NZB=TRUE: no file will list the articles under their real names.\r\n");
  }
  return true;
}

bool PostingSession::Impl::openYencFile(const std::string& path) {
  yencCrcThrough_.reset();
  yencSource_ = path.empty() ? FileDescriptor() : openRegularForRead(path);
  struct stat info {};
  if (!yencSource_.isOpen() || fstat(yencSource_.get(), &info) != 0) {
    return false;
  }
  // The size of the file as opened: the subject and the plan agree with the
  // bytes the parts will carry.
  sourceFileSize_ = info.st_size;
  yencPlan_ = planYencParts(info.st_size, partSizeSetting_);
  return true;
}

bool PostingSession::Impl::prepareArticle(ArticlePart& part, std::optional<YencArticle>& yenc) {
  messageId_.clear();
  resendingLost_ = false;
  if (messageIdsOn_) {
    // The article whose acknowledgement was lost goes out under its own id
    // again, so a server that has it can refuse the second copy.
    messageId_ = unacknowledgedIdFor(partIndex_);
    if (messageId_.empty()) {
      std::optional<std::string> id = newMessageId(messageIdDomain_);
      if (!id) {
        return false;
      }
      messageId_ = std::move(*id);
    }
    part.messageId = messageId_;
  }
  if (yencFile_) {
    YencPartRequest request;
    request.source = yencSource_.get();
    request.plan = yencPlan_;
    request.part = partIndex_;
    request.name = currentSourceName_;  // the real name, as a decoder should write it
    if (disguise_) {
      std::optional<std::string> name = disguise_->nameFor(currentSourceName_);
      std::optional<std::string> subject = disguise_->nextSubject();
      if (!name || !subject) {
        return false;
      }
      disguisedName_ = std::move(*name);
      request.name = disguisedName_;
      disguisedSubject_ = std::move(*subject);
      articleDisguise_ = ArticleDisguise{disguisedSubject_, disguise_->from()};
      part.disguise = &articleDisguise_;
    }
    request.lineLength = yencLineLength_;
    if (partIndex_ > 1) {
      request.crcBefore = yencCrcThrough_;
    }
    if (recovery_ && !recovery_->finished()) {
      request.sourceTap = [run = recovery_.get()](std::int64_t offset, const unsigned char* data, std::size_t size) {
        run->sourceBytes(offset, data, size);
      };
    }
    yenc.emplace(YencArticle{*yencEncoder_, request, YencPartResult{}});
    if (yencPrefetch_ && !disguise_) {
      prefetched_ = yencPrefetch_->take(request);
      if (prefetched_) {
        yenc->ready = &*prefetched_;
      }
    }
    part.yenc = &*yenc;
  }
  return true;
}

std::vector<std::string> PostingSession::Impl::nzbGroups() const {
  return groupsOf(services_.settings.getNewsgroup());
}

void PostingSession::Impl::noteComposed(const std::optional<YencArticle>& yenc) {
  if (yenc) {
    yencCrcThrough_ = yenc->result.crcThrough;
    prefetchNextPart(*yenc);
  }
  journalComposed(yenc ? std::optional<std::uint32_t>(yenc->result.partCrc) : std::nullopt);
  // A file enters the NZB as its first part is composed; posted again after
  // a reconnection, it keeps its entry and its parts take the new ids.
  if (!nzb_ || partIndex_ != 1 || (!nzb_->files().empty() && nzbSourceName_ == currentSourceName_)) {
    return;
  }
  nzbFile_ = nzb_->addFile(nzbSubject(), nzbPoster(), now(), nzbGroups(), partCount_);
  nzbSourceName_ = currentSourceName_;
}

namespace {
// Asked once: the library reads a file of the system each time.
unsigned processorCount() {
  static const unsigned count = std::thread::hardware_concurrency();
  return count;
}
}  // namespace

void PostingSession::Impl::prefetchNextPart(const YencArticle& yenc) {
  if (prefetched_) {
    yencPrefetch_->recycle(std::move(prefetched_->text));
    prefetched_.reset();
  }
  // TIDEWELL_NO_ENCODE_THREAD in the environment keeps the encoding on the
  // loop, for the benchmark's before-and-after.
  // Only a pool of one link gains: several links ask for parts faster
  // than one worker encodes them, and the loop would wait on it.
  if (!parallel_ || parallel_->connections > 1 || disguise_ || yenc.request.sourceTap ||
      yenc.request.part >= yenc.request.plan.partCount || !yenc.result.crcThrough ||
      std::getenv("TIDEWELL_NO_ENCODE_THREAD") != nullptr || processorCount() < 2) {
    return;
  }
  if (!yencPrefetch_) {
    yencPrefetch_ = std::make_unique<YencPrefetch>();
  }
  YencPartRequest next = yenc.request;
  next.part = yenc.request.part + 1;
  next.crcBefore = yenc.result.crcThrough;
  next.output = nullptr;
  yencPrefetch_->start(next);
}

std::string PostingSession::Impl::nzbSubject() const {
  if (disguise_) {
    // The real name as a downloader should write the file, and nothing else
    // of the settings: the NZB is all that ties the articles to it.
    SubjectFields fields;
    fields.name = currentSourceName_;
    fields.yenc = true;
    fields.appendFileSize = false;
    fields.partIndex = 1;
    fields.partCount = partCount_;
    return subjectValue(fields);
  }
  return subjectLine_.substr(0, subjectLine_.size() - std::min<std::size_t>(2, subjectLine_.size()));
}

std::string PostingSession::Impl::nzbPoster() const {
  return disguise_ ? disguise_->from() : headerSafeText(services_.settings.getFrom(), ' ');
}

AcceptedArticle PostingSession::Impl::currentAccepted() const {
  AcceptedArticle accepted;
  accepted.sourceName = currentSourceName_;
  accepted.textName = currentName_;
  accepted.description = currentDescription_;
  accepted.fileNumber = fileNumber_;
  accepted.part = partIndex_;
  accepted.partCount = partCount_;
  accepted.bytes = article_.getArticleTotal();
  accepted.messageId = messageId_;
  accepted.inNzb = nzb_ && nzbSourceName_ == currentSourceName_;
  accepted.nzbFile = nzbFile_;
  return accepted;
}

void PostingSession::Impl::noteAccepted(const AcceptedArticle& accepted) {
  journalAccepted(accepted);
  if (!accepted.messageId.empty()) {
    posted_.markPosted(accepted.sourceName, accepted.part, accepted.messageId);
  }
  noteVerifyAccepted(accepted);
  if (nzb_ && accepted.inNzb && !accepted.messageId.empty()) {
    static_cast<void>(nzb_->addSegment(accepted.nzbFile, accepted.part, accepted.bytes, accepted.messageId));
  }
}

std::string PostingSession::Impl::refusalText() const {
  // "441 435 ...": the server has an article with this id already.
  if (isDuplicateRefusal()) {
    return "Failed.  [Message-ID " + messageId_ + " exists on the server] " + replyBuffer_ + "\r\n";
  }
  return "Failed. " + replyBuffer_ + "\r\n";
}

void PostingSession::Impl::writeNzb() {
  if (!nzb_) {
    return;
  }
  const std::unique_ptr<NzbDocument> nzb = std::move(nzb_);
  std::string name = log_.reportFileName();
  if (name.size() < kReportSuffix.size()) {
    return;
  }
  name.replace(name.size() - kReportSuffix.size(), kReportSuffix.size(), ".nzb");
  std::string line = "NZB File           : " + name;
  if (!nzb->writeAtomically(name)) {
    line += " cannot be written (" + std::string(std::strerror(errno)) + ")";
  } else {
    nzbFileName_ = name;
    // Left out: refused parts, and files the run never got to.
    if (articlesFailed_ > 0 || !nzb->isComplete() || !services_.uploadList.isEmpty()) {
      line += " (incomplete: it lists only the articles the server accepted)";
    }
  }
  log_.ReportWrite(line + "\r\n");
  writeNamedNzb(*nzb, name);
}

void PostingSession::Impl::writeNamedNzb(const NzbDocument& nzb, const std::string& reportNzb) {
  // NzbName: the same document once more under the name the user gave,
  // beside ReportNN.nzb. A name that is no file name of its own (set by
  // editing the file) is refused here as --set refuses it.
  const std::string setting = services_.settings.read(Setting::NzbName);
  const std::string fileName = nzbFileNameFor(setting);
  if (fileName.empty()) {
    return;
  }
  std::string line = "NZB File (NzbName) : ";
  if (const std::string problem = nzbNameProblem(setting); !problem.empty()) {
    line += headerSafeText(trimmed(setting), '_') + " refused: " + problem;
  } else {
    const std::size_t slash = reportNzb.rfind('/');
    const std::string path = (slash == std::string::npos ? std::string() : reportNzb.substr(0, slash + 1)) + fileName;
    line += path;
    if (!nzb.writeAtomically(path)) {
      line += " cannot be written (" + std::string(std::strerror(errno)) + ")";
    }
  }
  log_.ReportWrite(line + "\r\n");
}

}  // namespace tidewell
