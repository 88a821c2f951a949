#pragma once

// Public face of the posting session, for the front ends (DlgPost, the
// headless runner).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "posting/session_state.h"

namespace tidewell {

class MessageLoop;
class SettingsStore;
class PostingDisplay;
class UserPrompt;
class nodeManagerClass;
class SocketManager;

struct SessionFlags {
  bool postAtStart = false;   // "/tidewell": post once at the first live tick
  bool quitWhenDone = false;  // "/autoquit": quit instead of offering the report
};

// How the last run ended, for the headless exit status.
enum class RunOutcome {
  NotRun,                 // no session has ended yet
  Finished,               // reached the summary with no failed article
  FinishedWithFailures,   // reached the summary, some articles failed
  EndedWithoutFinishing,  // stopped, refused, gave up, or could not start
};

class PostingSession {
 public:
  struct Services {
    MessageLoop& loop;
    SettingsStore& settings;
    nodeManagerClass& uploadList;
    SocketManager& socketManager;
    PostingDisplay& display;
    UserPrompt& prompt;
  };
  // `requestQuit` is called when Quit is issued while idle (the button, or
  // the automatic quit of "/autoquit"): the owner closes the posting panel.
  PostingSession(Services services, SessionFlags flags, std::function<void()> requestQuit);
  ~PostingSession();
  PostingSession(const PostingSession&) = delete;
  PostingSession& operator=(const PostingSession&) = delete;

  // Set-up when the posting panel first shows: "Idle.", the live timer, the
  // socket service description, the logging switch, the first tip.
  void setUp();

  // Commands of the three buttons.
  void post();
  void stopOrQuit();       // Quit while idle, Stop during a session
  void settingsCommand();  // re-reads the logging switch before the settings panel opens

  // Every change of state is handed to `trace` (empty: none).
  void setStateTrace(StateTrace trace);
  // With several connections, every change of a link's state: the link's
  // number and the state's name.
  void setLinkTrace(std::function<void(int, std::string_view)> trace);
  // Every text on its way into the report file passes through `wording`
  // (empty: written as it is). The run record and its JSON document are fed
  // by the outcomes themselves, so they do not change with the words.
  void setReportWording(std::function<std::string(std::string_view)> wording);

  [[nodiscard]] int sessionState() const;
  [[nodiscard]] bool isIdle() const;
  [[nodiscard]] RunOutcome outcome() const;
  // The socket service description shown at set-up and in the report.
  [[nodiscard]] std::string winsockDescription() const;
  // The report of the latest run ("ReportNN.TXT"), empty before the first.
  [[nodiscard]] std::string reportFileName() const;
  // The NZB of the latest run ("ReportNN.nzb"), empty when none was written.
  [[nodiscard]] std::string nzbFileName() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tidewell
