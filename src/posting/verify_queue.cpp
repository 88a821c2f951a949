#include "posting/verify_queue.h"

#include <algorithm>

#include "posting/nntp_dialogue.h"

namespace tidewell {

namespace {

// The answers to a first STAT that mean the server does not take it there.
bool refusesStat(long code) {
  return code == 500 || code == 501 || code == 502 || code == 480;
}

}  // namespace

void VerifyQueue::startRound(std::vector<std::string> messageIds) {
  ids_ = std::move(messageIds);
  next_ = 0;
  sent_ = 0;
  inHead_ = false;
}

std::string VerifyQueue::nextQuestions() {
  if (roundOver() || awaiting()) {
    return {};
  }
  const bool first = !answeredAny_ && !useHead_;
  const std::size_t last = std::min(ids_.size(), next_ + (first ? 1 : kVerifyWindow));
  std::string questions;
  for (; sent_ < last; ++sent_) {
    questions += useHead_ ? nntp::headCommand(ids_[sent_]) : nntp::statCommand(ids_[sent_]);
  }
  return questions;
}

VerifyQueue::Answer VerifyQueue::take(long code, std::string_view line) {
  const std::size_t index = next_;
  if (inHead_) {
    if (line != ".\r\n" && line != ".\n") {
      return {Answer::Kind::HeadLine, index};
    }
    inHead_ = false;
    ++next_;
    return {Answer::Kind::Found, index};
  }
  const bool first = !answeredAny_;
  answeredAny_ = true;
  if (useHead_ && code == 221) {
    inHead_ = true;
    return {Answer::Kind::HeadFollows, index};
  }
  if ((!useHead_ && code == 223) || code == 430) {
    ++next_;
    return {code == 430 ? Answer::Kind::Missing : Answer::Kind::Found, index};
  }
  if (!useHead_ && first && refusesStat(code)) {
    useHead_ = true;
    sent_ = next_;  // asked again
    return {Answer::Kind::StatRefused, index};
  }
  return {Answer::Kind::Unexpected, index};
}

}  // namespace tidewell
