// One round of Verify's check on a link of its own.
#include "posting/verify_check.h"

#include <utility>

#include "platform/text.h"
#include "posting/verify_queue.h"

namespace tidewell {

namespace {

// The report's lines for the states of the check's link, as a posting
// connection writes them.
constexpr std::pair<std::string_view, std::string_view> kDialogueLines[] = {
    {"Handshake", "Securing the connection (TLS)..."},
    {"User", "Authenticating..."},
    {"Mode", "Setting to READER mode..."}};

// A failure of the link worded as the posting connection words the same
// failure; empty for a silent server, which is only shown.
std::string lossLine(const PostLink& link) {
  switch (link.loss()) {
    case PostLink::Loss::Broke:
    case PostLink::Loss::Unreadable:
      return link.lossText() + "  Communication terminated.";
    case PostLink::Loss::Unresolved:
      return "Error Looking up address.  " + link.lossText();
    case PostLink::Loss::Settings:
      return link.lossText() + "  Configure with SETTINGS.";
    case PostLink::Loss::Refused:
    case PostLink::Loss::NotSecure:
      return link.lossText();
    case PostLink::Loss::TimedOut:
      break;
  }
  return {};
}

}  // namespace

VerifyCheck::VerifyCheck(MessageLoop& loop, SocketManager& sockets, LinkSettings settings, std::string hostName,
                         std::vector<std::string> messageIds, VerifyQueue& questions, Events events)
    : hostName_(std::move(hostName)),
      questions_(questions),
      events_(std::move(events)),
      findings_(messageIds.size(), Finding::Unasked),
      settings_(std::move(settings)) {
  questions_.startRound(std::move(messageIds));
  PostLink::Events link;
  // The check never reconnects: a failure ends it, worded by end().
  link.note = [](std::string_view) {};
  link.reconnecting = [] { return 0; };
  link.othersLeft = [] { return false; };
  link.lost = [this](PostLink&) { events_.over(); };
  link.secured = [this](std::string_view description) {
    events_.report("Secure connection: " + std::string(description) + "\r\n");
  };
  link.stateTrace = [this](int number, std::string_view state) { onState(number, state); };
  link.log = events_.log;
  link.ask = [this] { return nextQuestions(); };
  link.answer = [this](long code, const std::string& line) { return answer(code, line); };
  link_ = std::make_unique<PostLink>(loop, sockets, settings_, 1, std::move(link), LinkPacing::AsTheyArrive);
}

VerifyCheck::~VerifyCheck() = default;

void VerifyCheck::start() {
  link_->start();
}

bool VerifyCheck::answered() const {
  return questions_.roundOver();
}

void VerifyCheck::onState(int link, std::string_view state) {
  for (const auto& [name, text] : kDialogueLines) {
    if (state == name) {
      events_.showState(text);
      events_.report(std::string(text) + "\r\n");
    }
  }
  if (events_.stateTrace) {
    events_.stateTrace(link, state);
  }
}

std::string VerifyCheck::nextQuestions() {
  if (questions_.roundOver()) {
    events_.over();
    return {};
  }
  events_.showState(formatText("Verify: asking for %zu of %zu...", questions_.asking() + 1, questions_.size()));
  return questions_.nextQuestions();
}

// The answers to the round's questions, one reply line at a time.
PostLink::Next VerifyCheck::answer(long code, const std::string& line) {
  const VerifyQueue::Answer answer = questions_.take(code, line);
  switch (answer.kind) {
    case VerifyQueue::Answer::Kind::HeadFollows:
      findings_[answer.index] = Finding::Found;
      return PostLink::Next::ReadOn;
    case VerifyQueue::Answer::Kind::HeadLine:
      return PostLink::Next::ReadOn;  // the block goes on
    case VerifyQueue::Answer::Kind::StatRefused:
      events_.report("Verify: " + hostName_ + " refused STAT (" + std::string(withoutLineEnd(line)) +
                     "); asking with HEAD.\r\n");
      return PostLink::Next::AskNext;  // the same article again
    case VerifyQueue::Answer::Kind::Unexpected:
      events_.report("Verify: " + hostName_ + " answered " + std::string(withoutLineEnd(line)) + " for " +
                     questions_.messageId(answer.index) + ".\r\n");
      events_.over();  // the check ends there
      return PostLink::Next::Stop;
    case VerifyQueue::Answer::Kind::Found:
    case VerifyQueue::Answer::Kind::Missing:
      findings_[answer.index] = answer.kind == VerifyQueue::Answer::Kind::Found ? Finding::Found : Finding::Missing;
      break;
  }
  return questions_.awaiting() ? PostLink::Next::ReadOn : PostLink::Next::AskNext;
}

void VerifyCheck::end() {
  const std::unique_ptr<PostLink> link = std::move(link_);
  if (!link || answered() || !link->isLost()) {
    return;
  }
  const std::string line = lossLine(*link);
  events_.problem(line.empty() ? link->lossText() : line);
  if (!line.empty()) {
    events_.report(line + "\r\n");
  }
}

}  // namespace tidewell
