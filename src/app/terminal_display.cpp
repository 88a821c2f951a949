#include "app/terminal_display.h"

#include <cstdlib>

#include "posting/display_text.h"

namespace tidewell {

namespace {
// "Posted 1234 of 5678 (21%)": the State line while an article streams.
bool progressPercent(std::string_view state, int& percent) {
  if (state.substr(0, 7) != "Posted ") {
    return false;
  }
  const std::size_t open = state.rfind('(');
  if (open == std::string_view::npos) {
    return false;
  }
  percent = std::atoi(std::string(state.substr(open + 1)).c_str());
  return true;
}

constexpr int kPlainProgressStep = 10;
}  // namespace

TerminalDisplay::TerminalDisplay(std::FILE* out, bool isTerminal) : out_(out), isTerminal_(isTerminal) {}

TerminalDisplay::~TerminalDisplay() {
  flush();
}

void TerminalDisplay::printLine(std::string_view line) {
  clearProgress();
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) {
    line.remove_suffix(1);
  }
  std::fprintf(out_, "%.*s\n", static_cast<int>(line.size()), line.data());
  std::fflush(out_);
}

void TerminalDisplay::clearProgress() {
  if (progressShown_) {
    std::fputs("\r\033[K", out_);
    progressShown_ = false;
  }
}

void TerminalDisplay::drawProgress() {
  if (!isTerminal_) {
    return;
  }
  std::string line = state_;
  if (!timeRate_.empty()) {
    line += "  " + timeRate_;
  }
  if (!estimate_.empty()) {
    line += "  " + estimate_;
  }
  std::fprintf(out_, "\r\033[K%s", line.c_str());
  std::fflush(out_);
  progressShown_ = true;
}

void TerminalDisplay::ShowState(std::string_view text) {
  if (text == state_) {
    return;
  }
  state_ = text;
  int percent = 0;
  if (!progressPercent(text, percent)) {
    lastPlainPercent_ = -1;
    printLine("State: " + state_);
    return;
  }
  if (isTerminal_) {
    drawProgress();
  } else if (lastPlainPercent_ < 0 || percent / kPlainProgressStep != lastPlainPercent_ / kPlainProgressStep ||
             percent == 100) {
    if (percent != lastPlainPercent_) {
      lastPlainPercent_ = percent;
      printLine(state_ + "  " + timeRate_ + "  " + estimate_);
    }
  }
}

void TerminalDisplay::ShowTimeRate(std::string_view text) {
  timeRate_ = text;
}

void TerminalDisplay::ShowEstimate(std::string_view text) {
  estimate_ = text;
  if (isTerminal_ && progressShown_) {
    drawProgress();
  }
}

void TerminalDisplay::ShowProblem(std::string_view text) {
  for (const std::string& line : splitListLines(text)) {
    printLine("! " + line);
  }
}

void TerminalDisplay::flushFileLine() {
  if (fileLinePending_) {
    fileLinePending_ = false;
    printLine(fileLine_);
  }
}

void TerminalDisplay::AddFileLine(std::string_view text) {
  flushFileLine();
  fileLine_ = text;
  fileLinePending_ = true;
  // Lines that need no outcome (the reconnection notices) print at once.
  if (fileLine_.size() < 4 || fileLine_.substr(fileLine_.size() - 4) != "... ") {
    flushFileLine();
  }
}

void TerminalDisplay::AppendToFileLine(std::string_view text) {
  fileLine_ = appendedFileLine(fileLine_, text);
  fileLinePending_ = true;
  // An outcome completes the line; the server's reply may follow "Failed. ".
  if (fileLine_.substr(fileLine_.size() - std::min<std::size_t>(fileLine_.size(), 8)) != "Failed. ") {
    flushFileLine();
  }
}

void TerminalDisplay::ClearFileLines() {
  flushFileLine();
  fileLine_.clear();
}

void TerminalDisplay::ResetButtons() {
  clearProgress();
  timeRate_.clear();
}

void TerminalDisplay::flush() {
  flushFileLine();
  if (!estimate_.empty() && estimate_ != "Elapsed: --:--:-- To Go: --:--:--") {
    printLine("Total Estimate: " + estimate_);
    estimate_.clear();
  }
  clearProgress();
}

}  // namespace tidewell
