#include "posting/posting_session.h"

#include "posting/session.h"

namespace tidewell {

PostingSession::PostingSession(Services services, SessionFlags flags, std::function<void()> requestQuit)
    : impl_(std::make_unique<Impl>(services, flags, std::move(requestQuit))) {}

PostingSession::~PostingSession() = default;

void PostingSession::setUp() {
  impl_->setUp();
}
void PostingSession::post() {
  impl_->post();
}
void PostingSession::stopOrQuit() {
  impl_->stopOrQuit();
}
void PostingSession::settingsCommand() {
  impl_->settingsCommand();
}
void PostingSession::setStateTrace(StateTrace trace) {
  impl_->setStateTrace(std::move(trace));
}

void PostingSession::setLinkTrace(std::function<void(int, std::string_view)> trace) {
  impl_->setLinkTrace(std::move(trace));
}
void PostingSession::setReportWording(std::function<std::string(std::string_view)> wording) {
  impl_->setReportWording(std::move(wording));
}
int PostingSession::sessionState() const {
  return static_cast<int>(impl_->state());
}
bool PostingSession::isIdle() const {
  return impl_->state() == SessionState::Idle;
}
RunOutcome PostingSession::outcome() const {
  return impl_->outcome();
}
std::string PostingSession::winsockDescription() const {
  return impl_->winsockDescription();
}
std::string PostingSession::reportFileName() const {
  return impl_->reportFileName();
}

std::string PostingSession::nzbFileName() const {
  return impl_->nzbFileName();
}

}  // namespace tidewell
