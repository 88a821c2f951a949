#include "posting/session_fixture.h"

#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "posting/session_log.h"

namespace tidewell::test {

std::string headerOf(const std::string& article, const std::string& name) {
  const std::size_t at = article.find("\r\n" + name + ": ");
  if (at == std::string::npos) {
    return {};
  }
  const std::size_t start = at + name.size() + 4;
  return article.substr(start, article.find("\r\n", start) - start);
}

SessionTest::SessionTest() : uploads(dir.file("uploads")) {
  mkdir(uploads.c_str(), 0700);
}

SessionTest::~SessionTest() {
  session.reset();
  run.settle();
}

void SessionTest::configure() {
  setting("Host", server.address());
  setting("Directory", uploads);
  setting("From", "poster@example.com");
  setting("ReplyTo", "");
  setting("Subject", "Test");
  setting("Newsgroup", "alt.test");
  setting("ShowCount", "FALSE");
  setting("PartSize", "0");
  setting("Viewer", "true");  // "viewing" the report always works, and shows nothing
}

std::string SessionTest::addFile(const std::string& name, std::string_view content) {
  const std::string path = uploads + "/" + name;
  writeFile(path, content);
  return path;
}

void SessionTest::start(SessionFlags flags) {
  session = std::make_unique<PostingSession>(
      PostingSession::Services{run.loop, settings, uploadList, sockets, display, prompt}, flags,
      [this] { ++quitRequests; });
  session->setUp();
}

bool SessionTest::settle(const std::function<bool()>& done) {
  // Real traffic on loopback: wait until nothing has happened for a while.
  int quiet = 0;
  while (quiet < 3) {
    if (done && done()) {
      return true;
    }
    quiet = run.loop.runOnce(5) == 0 ? quiet + 1 : 0;
  }
  return done && done();
}

bool SessionTest::runUntil(const std::function<bool()>& done, int maxTicks) {
  for (int tick = 0; tick <= maxTicks; ++tick) {
    if (settle(done)) {
      return true;
    }
    // One second of loop time; the timers due fire in the next settle, where
    // `done` is watched pass by pass.
    run.clock.advanceMs(1000);
  }
  return done();
}

bool SessionTest::postAndWait(int maxTicks) {
  session->post();
  settle();
  return waitForRunEnd(maxTicks);
}

bool SessionTest::waitForRunEnd(int maxTicks) {
  return runUntil([this] { return session->isIdle() && session->outcome() != RunOutcome::NotRun; }, maxTicks);
}

void SessionTest::recordReconnectWaits() {
  session->setStateTrace([this, decided = std::int64_t{0}](SessionState, SessionState to, std::string_view) mutable {
    if (to == SessionState::OpenConnection) {
      decided = run.clock.monotonicMs();
    } else if (to == SessionState::LookingUp) {
      reconnectWaits.push_back(run.clock.monotonicMs() - decided);
    }
  });
  // A link decides to reconnect as it starts waiting, and ends the wait as it connects.
  session->setLinkTrace([this, waitingSince = std::map<int, std::int64_t>{}](int link, std::string_view to) mutable {
    if (to == "Waiting") {
      waitingSince[link] = run.clock.monotonicMs();
    } else if (to == "Connecting" && waitingSince.contains(link)) {
      reconnectWaits.push_back(run.clock.monotonicMs() - waitingSince[link]);
      waitingSince.erase(link);
    }
  });
}

std::string SessionTest::report() const {
  const std::string name = "Report" + std::string(settings.read("ReportNumber", "0", 255).size() == 1 ? "0" : "") +
                           settings.read("ReportNumber", "0", 255) + ".TXT";
  return readFile(dir.file(name));
}

std::vector<std::string> SessionTest::reportLines() const {
  // "HH:MM:SS " at the start of a line is a time stamp.
  const auto stamped = [](const std::string& line) {
    static constexpr std::string_view kShape = "00:00:00 ";
    if (line.size() < kShape.size()) {
      return false;
    }
    for (std::size_t i = 0; i < kShape.size(); ++i) {
      const bool digit = line[i] >= '0' && line[i] <= '9';
      if (kShape[i] == '0' ? !digit : line[i] != kShape[i]) {
        return false;
      }
    }
    return true;
  };
  std::vector<std::string> lines;
  std::istringstream in(report());
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    lines.push_back(stamped(line) ? "HH:MM:SS " + line.substr(9) : line);
  }
  return lines;
}

std::string maskedRun(std::string_view text, std::initializer_list<std::pair<std::string_view, char>> marks) {
  std::string out;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text[at] == '<' ? text.find_first_of("<> \r\n", at + 1) : std::string_view::npos;
    if (end != std::string_view::npos && text[end] == '>' && text.find('@', at) < end) {
      out += "<ID>";
      at = end + 1;
      continue;
    }
    const auto* mark = std::find_if(marks.begin(), marks.end(), [&](const auto& pair) {
      return text.compare(at, pair.first.size(), pair.first) == 0;
    });
    if (mark != marks.end()) {
      out += mark->second;
      at += mark->first.size();
    } else {
      out += text[at++];
    }
  }
  return out;
}

}  // namespace tidewell::test
