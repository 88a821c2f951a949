#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_io.h"
#include "platform/message_loop.h"
#include "posting/accepted_article.h"
#include "posting/article.h"
#include "posting/link_pacing.h"
#include "posting/logging_display.h"
#include "posting/nntp_dialogue.h"
#include "posting/post_count.h"
#include "posting/post_link.h"
#include "posting/posted_parts.h"
#include "posting/posting_session.h"
#include "posting/progress.h"
#include "posting/rate_cap.h"
#include "posting/recovery_run.h"
#include "posting/run_record.h"
#include "posting/server_failover.h"
#include "posting/session_log.h"
#include "posting/session_server.h"
#include "posting/session_state.h"
#include "posting/session_verify.h"
#include "upload/article_spool.h"
#include "upload/encoded_spool.h"
#include "upload/nzb_writer.h"
#include "upload/part_plan.h"
#include "upload/random_names.h"
#include "upload/run_journal.h"
#include "upload/yenc.h"

namespace tidewell {

struct LinkArticle;
struct LinkOutcome;
struct ParallelEntry;
struct ParallelRun;
class nodeClass;

// Message and timer numbers of the posting session.
inline constexpr std::uint32_t kStepMessage = 6001;
// Sent to the session's own target to carry out a Quit outside the call
// that decided it (the owner may destroy the session when it quits).
inline constexpr std::uint32_t kQuitMessage = 6002;
// Verify's link ended its round, stopped or failed: it is closed here.
inline constexpr std::uint32_t kVerifyEndMessage = 6004;
// A link retired inside its own event is destroyed on this message.
inline constexpr std::uint32_t kReapMessage = 6005;
inline constexpr unsigned kLightsTimer = 5;
inline constexpr unsigned kLiveTimer = 8;
// One-shot: the wait before a reconnection.
inline constexpr unsigned kReconnectTimer = 9;
// One-shot: VerifyDelay before the verify server is asked.
inline constexpr unsigned kVerifyTimer = 10;

inline constexpr std::int64_t kLightsMs = 250;
inline constexpr std::int64_t kFastDisplayMs = 100;
inline constexpr std::size_t kNameLimit = 255;
inline constexpr std::string_view kVersionText = "Version 1.01ZRB.32bit";

// The posting session: a numbered state machine advanced by step events,
// socket events, the host look-up's completion and three timers, all on the
// one loop thread. Each state has one handler, dispatched from Step().
class PostingSession::Impl {
 public:
  Impl(Services services, SessionFlags flags, std::function<void()> requestQuit);
  ~Impl();
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  void setUp();
  void post();
  void stopOrQuit();
  void settingsCommand();

  void setStateTrace(StateTrace trace) { trace_ = std::move(trace); }
  void setLinkTrace(std::function<void(int, std::string_view)> trace) { linkTrace_ = std::move(trace); }
  void setReportWording(std::function<std::string(std::string_view)> wording) {
    log_.setReportWording(std::move(wording));
  }
  [[nodiscard]] SessionState state() const { return sessionState_; }
  [[nodiscard]] RunOutcome outcome() const { return outcome_; }
  [[nodiscard]] std::string winsockDescription() const;
  [[nodiscard]] const std::string& reportFileName() const { return log_.reportFileName(); }
  [[nodiscard]] const std::string& nzbFileName() const { return nzbFileName_; }

 private:
  // Events.
  void onMessage(const Message& message);
  void OnTimer(unsigned id);
  void liveTick();

  // The state machine. Every change of state goes through setState, which
  // reports the change to trace_.
  void setState(SessionState next);
  void postStep();
  void Step();
  void stepIdle();
  // The run's report, opened and headed; false: the run ends (said already).
  [[nodiscard]] bool openRunReport();
  // The directory's files into the upload list; false: nothing is posted
  // (the reason shown, or the user chose to stop).
  [[nodiscard]] bool listUploads();
  void stepOpenConnection();
  void stepNextPart();
  void stepSendPost();
  void stepStartPosting();
  void stepFinish();
  // The login refused at `step`, in that step's words.
  void refuseLogin(nntp::LoginStep step);
  // The server would not take "post": the next server, or the file fails.
  void refusePost();
  // The server asked for the part under way: composed into the spool, from
  // which the link reads it. False: it could not be (the run has recovered).
  bool composeArticle(LinkArticle& held);
  // The reply to the article under way (replyCode_, replyBuffer_).
  void onAcknowledgement();

  // Connection: to `server` (the posting server, or the server Verify asks).
  // The default mode's connection is one link paced by the live tick
  // (session_connection.cpp); fast posting's is a pool.
  void StartConnection(ServerChoice server);
  [[nodiscard]] PostLink::Events linkEvents();
  void onLinkState(PostLink::State state);
  void onLinkLost(const PostLink& link);
  // A write of the dialogue as the debug log keeps it.
  void logWrite(int asked, int did, bool failed);
  // A look-up that ended: the connection is under way.
  void showConnecting();
  // Closes the link (it may be inside one of its events) and destroys it
  // from the loop's top.
  void retireLink(bool orderly);
  // `question` goes out once the link is free; its reply comes to onStatAnswer.
  void ask(std::string question);
  void onStatAnswer();
  // The reply timeout ran out.
  void timedOut();
  // Backup servers (session_failover.cpp). The server the run posts to
  // now: the main one (read afresh at each connection) or a backup.
  [[nodiscard]] ServerChoice currentServer() const;
  // True when the run can leave the current server for a backup.
  [[nodiscard]] bool canMoveServer() const;
  // The run leaves the current server (`why`: its reply, or that it stayed
  // unreachable): the report says so, the reconnections start afresh and
  // the next server is connected at once. False (nothing done) when there
  // is none to move to.
  bool moveToNextServer(std::string_view why);
  // The same for a pool whose links all failed: its waiting articles go to
  // a new pool on the next server.
  bool moveParallelServer();
  // The report's move line.
  void reportServerMove(std::string_view why);
  // Reads server_'s port, encryption and TLS settings; false
  // (the run has ended, with its message) when they cannot be used.
  // A setting stops the run before connecting: `problem` and "Configure
  // with SETTINGS." in the panel and the report.
  void refuseSettings(std::string_view problem);
  // Show the first text in Inbound Information, report the second, and
  // recover (reconnecting when `reconnect`).
  void failConnection(std::string_view shown, std::string_view reported, bool reconnect);

  // MaxRate and MaxRateSchedule, read when a run starts: the run's cap
  // (shared by every link), or none.
  void startRateCap();
  // The progress figures while an article streams.
  void showStreamingProgress(std::int64_t sent, std::int64_t total);
  void refuseDialogue(std::string_view shown, std::string_view reported);

  // Recovery and the end of a run.
  void RecoverFromError();
  void AbortConnection();
  void EndSession();
  // The current article fails: "Failed.  [<reason>]", and a reconnection.
  void failArticle(std::string_view shown, std::string_view reason);
  // The outcome that ends the current part's Outbound Files and report line,
  // and the same outcome in data for the run record (none: an interrupted
  // part, posted again).
  void endFileLine(std::string_view shown, std::string_view reported, std::optional<PartRecord> part);
  // Writes the current part's line ("001 a.bin ... ") unless it is open.
  void openFileLine();
  // The current file fails before any of its articles was begun; the run
  // goes on with the next file.
  void failFile(std::string_view reason);
  // Gives every file still listed its line: it was not posted.
  void failUnpostedFiles();
  void endRun(RunOutcome outcome, bool offerReport);
  void OfferReport();
  void LaunchViewer();
  void quitSoon();

  // yEnc, Message-IDs, obfuscation and the NZB (session_formats.cpp).
  // False when the settings cannot make the articles asked for: the run is
  // refused.
  [[nodiscard]] bool readArticleFormat();
  // Obfuscate=TRUE: the run's disguise and its report lines; false when
  // the run is refused.
  [[nodiscard]] bool readObfuscation();
  // Plans the current file's yEnc parts; false when it cannot be opened.
  bool openYencFile(const std::string& path);
  // The list's head as its first part is due (both paths): yEnc plans its
  // parts from the source, uuencode encodes it into the spool and reads the
  // size back. On failure, problem is the text shown and reported.
  enum class FileOpening { Ready, CantEncode, SpoolFailed, CantReadBack };
  // The list's head becomes the current file (its names, its size); returns
  // the path it is read from.
  std::string takeUpFile(const nodeClass& head);
  // Why composing the current article failed: the spool's write error, or
  // the encoded text that could not be read.
  [[nodiscard]] std::string compositionProblem() const;
  FileOpening openNewFile(const std::string& path, std::string& problem);
  void showOpeningProblem(FileOpening opening, const std::string& problem);
  // The Message-ID and the yEnc request of the part about to be composed;
  // false when no Message-ID can be made.
  bool prepareArticle(ArticlePart& part, std::optional<YencArticle>& yenc);
  void noteComposed(const std::optional<YencArticle>& yenc);
  void prefetchNextPart(const YencArticle& yenc);
  // The current file's subject and poster as the NZB and the journal keep
  // them: the first article's, or with obfuscation the real name in the
  // yEnc convention and the run's random From.
  [[nodiscard]] std::string nzbSubject() const;
  [[nodiscard]] std::string nzbPoster() const;
  // The article just posted on the one connection, as accepted.
  [[nodiscard]] AcceptedArticle currentAccepted() const;
  // Every accepted article, of either path, goes through here: the
  // journal, the record of parts on the server, Verify and the NZB.
  void noteAccepted(const AcceptedArticle& accepted);
  // The report line of a refused article.
  [[nodiscard]] std::string refusalText() const;
  void writeNzb();
  // The NZB once more as NzbName asks, beside `reportNzb`, with its report
  // line.
  void writeNamedNzb(const NzbDocument& nzb, const std::string& reportNzb);
  // Parts already on the server (session_posted.cpp, posted_). With
  // Message-IDs on, each 240 marks its part; stepNextPart then skips the
  // parts marked, so a file taken up again after a reconnection goes on at
  // its first part the server does not hold. The record is emptied as a run
  // starts (readArticleFormat); a run that resumes, or posts again what a
  // check found missing, marks its parts after the upload list is built.
  // Once the current file is planned: moves partIndex_ (and the encoded
  // spool or the yEnc CRC) past the parts marked. True when none is left:
  // the file is done and the session has gone on to the next one.
  bool skipPostedParts();
  // Moves partIndex_ past the current file's parts marked posted (both
  // paths); true when none is left: the head is removed.
  bool skipToUnposted();
  // A lost acknowledgement (session_posted.cpp). With Message-IDs on, an
  // article whose data went out and whose 240 never came (the connection
  // broke, or the reply timed out) is remembered as the session recovers;
  // the next connection asks for it with "STAT <id>" before posting
  // anything: 223 counts it accepted, anything else posts it again under
  // the same id (with a note in the report when STAT was refused).
  [[nodiscard]] bool articleMayBeOnServer() const;
  void noteUnacknowledged();
  // True when "STAT" went out (or its send failed and the session has
  // recovered already): the reply decides what is posted next.
  bool askAboutUnacknowledged();
  // The id of the part about to be composed when it is the lost article
  // posted again; empty otherwise.
  std::string unacknowledgedIdFor(std::int32_t part);
  // The reply refuses the article under way as a duplicate of its
  // Message-ID ("441 435 ...").
  [[nodiscard]] bool isDuplicateRefusal() const;
  // The lost article, posted again because STAT could not say, is refused
  // as a duplicate: the server has it, so it counts as accepted.
  [[nodiscard]] bool duplicateOfUnacknowledged() const { return resendingLost_ && isDuplicateRefusal(); }
  // The run record (session_record.cpp): started once the report is open,
  // filled as files start and parts end, written as ReportNN.json after each
  // file and at the end of the run when JsonReport is on.
  void startRunRecord();
  void recordListedFiles();
  void recordFileStart();
  void recordPartEnd(std::optional<PartRecord> part);
  void endRunRecord(RunOutcome outcome);
  [[nodiscard]] RunProgress runProgress() const;
  // `always` false: skipped while rewriting would take too large a share of
  // the run (the next file's write or the last one catches up).
  void writeRunRecord(bool always);

  // Fast posting's links (session_parallel.cpp), one or more: Connections
  // read as the run starts; the pool starts where the one connection would
  // connect.
  void readConnections();
  void startParallel(LinkSettings settings);
  void onParallelMessage(const Message& message);
  void composeAhead();
  void composeNextArticle();
  ParallelEntry& newParallelEntry();
  bool reachNextPart();
  std::shared_ptr<LinkArticle> composeForLink(ParallelEntry& entry);
  void handToLink(ParallelEntry& entry, std::shared_ptr<LinkArticle> wire);
  bool startParallelFile(const nodeClass& head);
  void failComposition(ParallelEntry& entry, std::string_view reason);
  void onLinkFinished(const std::shared_ptr<LinkArticle>& article, const LinkOutcome& outcome);
  void showParallelProgress(std::int64_t bytes);
  void writeReadyEntries();
  void writeEntry(const ParallelEntry& entry);
  void writeUnpostedEntries();
  void endParallelRun();

  // Resume (session_resume.cpp): the journal is read, the user asked and
  // the "Resumed:" line written as the run starts; the hooks below keep the
  // journal as files start and articles go out and are accepted.
  void startResume();
  void openJournal();
  void reportJournalLine(const std::string& line);  // in the report and the panel's list
  struct ResumableCount {
    std::int32_t held = 0;   // articles the journal holds as posted
    std::int32_t total = 0;  // articles of the run
  };
  // The listed files the journal holds unchanged go into resumedFiles_;
  // `notes` says which are posted again whole, and why.
  ResumableCount countResumable(const JournalContents& journal, std::vector<std::string>& notes);
  // The resumed files' posted parts are skipped; their parts in flight are asked for.
  void takeUpResumedFiles();
  // Obfuscate=TRUE: goes on under the journal's disguise.
  void adoptDisguise(const JournalContents& journal);
  [[nodiscard]] std::string journalPath() const;
  [[nodiscard]] std::int32_t plannedArticles(const std::string& name, const JournalFile* known);
  [[nodiscard]] const JournalFile* resumedFile(std::string_view name) const;
  void journalFileStart();
  void journalComposed(std::optional<std::uint32_t> yencPartCrc);
  void journalAccepted(const AcceptedArticle& accepted);
  void journalFailed();
  // An article accepted without a 240 of this connection (223 to STAT).
  void journalConfirmed(const std::string& sourceName, std::int32_t part, std::int64_t bytes,
                        const std::string& messageId);
  // The articles in flight when the resumed run was cut short are asked
  // for with "STAT <id>" after mode reader, before anything is posted:
  // 223 marks them posted (the part gets its "Ok." line when its file comes
  // up, reportFoundByStat), anything else posts them again.
  bool askAboutResumed();
  void reportFoundByStat(std::int32_t next);
  // The run record starts with the parts the resumed run posted.
  void recordEarlierParts();
  // With several connections: the id of a part in flight when the resumed
  // run was cut short (taken from the list), or empty.
  std::string resumedIdFor(const std::string& sourceName, std::int32_t part);
  void onResumeStatAnswer();
  void endJournal(RunOutcome outcome);
  // The groups of the Newsgroups header, as the NZB lists them.
  [[nodiscard]] std::vector<std::string> nzbGroups() const;

  // Verify (session_verify.cpp): after the run, each accepted article is
  // asked for on the verify server; missing ones are posted again.
  void readVerifySettings();
  void noteVerifyAccepted(const AcceptedArticle& accepted);
  // At the Finish step: true when the check (or posting again) takes over;
  // it comes back to Finish when done.
  bool verifyBeforeSummary();
  void waitBeforeCheck();
  void stepVerifyWait();
  void onVerifyTimer();
  // The check asks on a link of its own (VerifyCheck), made for each round.
  void connectVerifyServer();
  void verifyCheckOver();
  void cannotCheck();
  void endCheckRound();
  void startReposting(const std::vector<std::size_t>& missing);
  void finishReposting();
  [[nodiscard]] bool verifyReposting() const { return verify_.phase == VerifyRun::Phase::Reposting; }
  // recordFileStart while posting again: the file keeps its number and its
  // NZB entry.
  void verifyFileStart();
  // RecoverFromError's part while verifying: true when it has dealt with
  // the failure (posting again gives up) or nothing of the run's
  // connection is open (the check runs on its own link).
  bool verifyRecovers();
  // Closes the run's own connection, the posting's, before the check.
  void closeRunConnection();
  void endVerify();

  // Display helpers that also drive the lights timer and the log.
  void outboundLight();
  void inboundLight();
  void startLightsTimer();
  void lightsOff();
  void resetButtons();
  void showProblemInbound(std::string_view text);
  void showProblemOutbound(std::string_view text);
  void updateElapsed();
  void log(std::string_view text) const { log_.LogWrite(text); }
  [[nodiscard]] std::int64_t now() const;
  [[nodiscard]] std::string sourcePath(const std::string& name) const;
  // The recovery set (session_par2.cpp).
  void startRecovery();
  // The listed files with data, with the recovery set's names for them;
  // `largest` becomes the largest one's size.
  [[nodiscard]] std::vector<RecoveryData> recoverySources(std::uint64_t& largest) const;
  [[nodiscard]] std::string recoverySetName();
  [[nodiscard]] RecoveryOptions recoveryOptions(std::string name, const std::string& folder, std::uint64_t largest);
  // A file of the planned set that is also a listed file; empty when none is.
  [[nodiscard]] std::string listedSetFile(const RecoveryRun& run) const;
  [[nodiscard]] const nodeClass* recoveryHead(const nodeClass* head);
  void openRecoveryData();
  void adoptResumedSet();
  void endRecovery();
  // The folder a listed file is read from: the set's folder for its files.
  [[nodiscard]] std::string recoveryDirectory(const std::string& name) const;
  [[nodiscard]] std::string reportSetFolder() const;

  Services services_;
  SessionFlags flags_;
  std::function<void()> requestQuit_;
  SessionLog log_;
  LoggingDisplay display_;
  ProgressEstimate progress_;
  EncodedSpool encoded_;
  ArticleSpool article_;
  // Post-Count values: batched in fast posting, flushed when a run ends.
  PostCounter postCounter_{services_.settings, services_.loop.clock()};
  TargetHandle target_ = kNoTarget;

  SessionState sessionState_ = SessionState::Idle;
  StateTrace trace_;
  std::function<void(int, std::string_view)> linkTrace_;
  // Step events carry the generation they were posted in; a new session and
  // every recovery start a new one, so steps left queued by an earlier
  // session or connection are dropped instead of acting on the new one.
  std::uintptr_t generation_ = 0;
  bool runActive_ = false;
  RunOutcome outcome_ = RunOutcome::NotRun;

  // FastPosting, read when a run starts: the run posts through links.
  bool fast_ = false;
  // The run's bandwidth cap, shared with the links (declared before them).
  RateCap rateCap_{services_.loop};
  bool reconnectAllowed_ = false;
  std::int32_t reconnectCount_ = 0;
  // The run's servers, and the reconnections counted on servers it left.
  ServerFailover servers_;
  std::int32_t earlierReconnects_ = 0;
  // Set before a recovery that would end the run: the reason to move to the
  // next server instead (taken by RecoverFromError).
  std::string failoverReason_;
  std::int32_t articlesOk_ = 0;
  std::int32_t articlesFailed_ = 0;
  std::int32_t fileNumber_ = 0;
  std::int32_t partIndex_ = 0;
  std::int32_t partCount_ = 0;
  PartPlan plan_;
  std::int32_t partSizeSetting_ = 0;
  std::int64_t lastPercent_ = 0;
  std::int64_t articleStart_ = 0;
  std::int64_t sourceFileSize_ = 0;
  long replyCode_ = 0;
  std::string currentName_;        // lower-cased, for the texts
  std::string currentSourceName_;  // as listed, for opening the file
  std::string currentDescription_;
  std::string subjectLine_;
  std::string replyBuffer_;  // the last reply line, as it came
  // A part's line ("001 a.bin ... ") is written and waits for its outcome.
  bool fileLineOpen_ = false;
  ServerChoice server_;  // the server of the current connection
  bool startPostIssued_ = false;

  // How the run's articles are made, read as the run starts.
  bool yencOn_ = false;
  int yencLineLength_ = kDefaultYencLineLength;
  bool messageIdsOn_ = false;
  std::string messageIdDomain_;
  // Obfuscate=TRUE: the run's random names, and the current article's.
  std::optional<RunDisguise> disguise_;
  std::string disguisedName_;
  std::string disguisedSubject_;
  std::set<std::string> namesInJournal_;  // the files whose disguised name the journal holds
  ArticleDisguise articleDisguise_;
  // The current file goes out yEnc-encoded, read from yencSource_.
  bool yencFile_ = false;
  FileDescriptor yencSource_;
  YencPartPlan yencPlan_;
  std::optional<std::uint32_t> yencCrcThrough_;  // CRC of the file through the last part composed
  std::unique_ptr<YencEncoder> yencEncoder_;
  // Fast mode on two or more cores: the next part's yEnc text is encoded
  // on a worker while the loop sends the current one.
  std::unique_ptr<YencPrefetch> yencPrefetch_;
  std::optional<YencPrefetch::Encoded> prefetched_;
  // Fast posting: the settings of the articles' texts, read as each file
  // opens (openNewFile); none otherwise.
  std::optional<ArticleSettings> articleSettings_;
  [[nodiscard]] const ArticleSettings* articleSettingsRead() const {
    return articleSettings_ ? &*articleSettings_ : nullptr;
  }
  // The run's PAR2 set while Par2 is on; its folder and whether it stays.
  std::unique_ptr<RecoveryRun> recovery_;
  std::string recoveryFolder_;
  bool recoveryKeep_ = false;
  std::string messageId_;  // of the article under way, brackets included; empty: none
  // The run's NZB, when NZB is on; the file the current part belongs to.
  std::unique_ptr<NzbDocument> nzb_;
  std::size_t nzbFile_ = 0;
  std::string nzbSourceName_;
  std::string nzbFileName_;
  PostedParts posted_;
  std::optional<DoubtedArticle> unacknowledged_;
  bool resendingLost_ = false;  // the article under way is the lost one, posted again
  RunRecord record_;
  bool jsonReport_ = false;
  std::int64_t nextJsonWrite_ = 0;  // loop time before which a file's start does not rewrite it
  // Resume: the journal of this run, and of the run resumed the files still
  // as they were and the articles to ask for.
  bool resumeOn_ = false;
  RunJournal journal_;
  std::vector<JournalFile> resumedFiles_;
  std::vector<DoubtedArticle> resumeStats_;
  std::vector<DoubtedArticle> foundByStat_;  // found by STAT, their lines not yet written
  VerifyRun verify_;
  // The default mode's connection (destroyed before the rate cap and the
  // spool it reads), its settings, and links closed inside their own
  // events, destroyed from the loop's top.
  LinkSettings linkSettings_;
  std::unique_ptr<PostLink> link_;
  std::vector<std::unique_ptr<PostLink>> retiredLinks_;
  // What the link takes next: the part to post, or a question (STAT).
  std::shared_ptr<LinkArticle> pendingArticle_;
  std::string pendingQuestion_;
  // Set for a run with several connections (destroyed first: its links use
  // the loop and the socket manager).
  std::unique_ptr<ParallelRun> parallel_;
};

}  // namespace tidewell
