#include "app/terminal_display.h"

#include <sys/ioctl.h>

#include <algorithm>
#include <array>
#include <cstdlib>

#include "platform/clock.h"
#include "posting/display_text.h"

namespace tidewell {

namespace {
// States every article passes through: shown by the bar, not printed.
constexpr std::array<std::string_view, 9> kArticleSteps = {
    "Posted ",        "Posting article", "Posting with ",           "Initiating article post", "Article Accepted",
    "Encoding file ", "Verify: asking",  "Asking for the last art", "Connected - Waiting"};

bool isArticleStep(std::string_view state) {
  return std::any_of(kArticleSteps.begin(), kArticleSteps.end(),
                     [state](std::string_view step) { return state.starts_with(step); });
}

// "001 a.bin ... Ok. (2/5 - 0:00 - 0.00 Kb/Sec)": the part's number and
// count, and where its time and rate begin (npos when the line is not an
// accepted part's).
struct AcceptedPart {
  long part = 0;
  long count = 0;
  std::size_t timeAt = std::string_view::npos;
};

AcceptedPart acceptedPart(std::string_view line) {
  AcceptedPart accepted;
  const std::size_t at = line.find("... Ok. (");
  if (at == std::string_view::npos) {
    return accepted;
  }
  const char* start = line.data() + at + 9;
  char* end = nullptr;
  accepted.part = std::strtol(start, &end, 10);
  if (end == start || *end != '/') {
    return accepted;
  }
  accepted.count = std::strtol(end + 1, &end, 10);
  if (std::string_view(end).starts_with(" - ") && std::string_view(end).ends_with(" Kb/Sec)")) {
    accepted.timeAt = static_cast<std::size_t>(end - line.data());
  }
  return accepted;
}
}  // namespace

TerminalDisplay::TerminalDisplay(std::FILE* out, std::FILE* err, bool isTerminal, const Clock& clock)
    : out_(out), err_(err), isTerminal_(isTerminal), clock_(clock) {}

TerminalDisplay::~TerminalDisplay() {
  flush();
}

void TerminalDisplay::printLine(std::string_view line) {
  clearBar();
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) {
    line.remove_suffix(1);
  }
  std::fprintf(out_, "%.*s\n", static_cast<int>(line.size()), line.data());
  std::fflush(out_);
  drawBar();
}

void TerminalDisplay::clearBar() {
  if (barShown_) {
    std::fputs("\r\033[K", out_);
    std::fflush(out_);
    barShown_ = false;
  }
}

void TerminalDisplay::drawBar() {
  if (!isTerminal_ || !running_ || !run_.started()) {
    return;
  }
  std::string bar = run_.bar();
  // A bar wider than the terminal would wrap, and "\r" would then redraw
  // only its last row.
  if (winsize size{}; ioctl(fileno(out_), TIOCGWINSZ, &size) == 0 && size.ws_col > 1 && bar.size() >= size.ws_col) {
    bar.resize(size.ws_col - 1U);
  }
  std::fprintf(out_, "\r\033[K%s", bar.c_str());
  std::fflush(out_);
  barShown_ = true;
}

void TerminalDisplay::ShowState(std::string_view text) {
  if (text == state_) {
    return;
  }
  state_ = text;
  if (!isArticleStep(state_)) {
    printLine("State: " + state_);
  }
}

void TerminalDisplay::showRunProgress(const RunProgress& progress) {
  const std::int64_t now = clock_.monotonicMs();
  run_.update(progress, now);
  running_ = !progress.ended && progress.filesListed > 0;
  if (isTerminal_) {
    running_ ? drawBar() : clearBar();
    return;
  }
  if (lastProgressLineMs_ < 0) {
    lastProgressLineMs_ = now;  // the first line after 10 seconds of the run
  } else if (running_ && now - lastProgressLineMs_ >= kProgressLineMs) {
    lastProgressLineMs_ = now;
    printLine("Progress: " + run_.figures());
  }
}

void TerminalDisplay::showProblem(std::string_view text) {
  clearBar();
  for (const std::string& line : splitListLines(text)) {
    std::fprintf(err_, "! %s\n", line.c_str());
  }
  std::fflush(err_);
  drawBar();
}

void TerminalDisplay::fileLineDone() {
  if (!fileLinePending_) {
    return;
  }
  fileLinePending_ = false;
  const AcceptedPart accepted = acceptedPart(fileLine_);
  if (accepted.part < accepted.count) {
    return;  // a file's parts are summed up by its last one
  }
  if (accepted.timeAt != std::string::npos) {
    // The part's own time and rate, whole seconds that read 0:00 and 0.00
    // Kb/Sec for a quick article, give way to the run's rate so far.
    std::string line = fileLine_.substr(0, accepted.timeAt) + ")";
    if (const std::string rate = run_.rate(); !rate.empty()) {
      line += "  " + rate;
    }
    printLine(line);
    return;
  }
  printLine(fileLine_);
}

void TerminalDisplay::AddFileLine(std::string_view text) {
  fileLineDone();
  fileLine_ = text;
  fileLinePending_ = true;
  // Lines that need no outcome (the reconnection notices) print at once.
  if (!fileLine_.ends_with("... ")) {
    fileLineDone();
  }
}

void TerminalDisplay::AppendToFileLine(std::string_view text) {
  fileLine_ = appendedFileLine(fileLine_, text);
  fileLinePending_ = true;
  // An outcome completes the line; the server's reply may follow "Failed. ".
  if (!fileLine_.ends_with("Failed. ")) {
    fileLineDone();
  }
}

void TerminalDisplay::ClearFileLines() {
  fileLineDone();
  fileLine_.clear();
}

void TerminalDisplay::ResetButtons() {
  clearBar();
}

void TerminalDisplay::flush() {
  fileLineDone();
  running_ = false;
  clearBar();
}

}  // namespace tidewell
