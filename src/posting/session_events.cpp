// The posting session's life, its events and its display helpers.
#include <algorithm>

#include "net/socket_manager.h"
#include "platform/file_system.h"
#include "posting/session.h"
#include "posting/session_parallel.h"
#include "settings/settings_store.h"

namespace tidewell {

PostingSession::Impl::Impl(Services services, SessionFlags flags, std::function<void()> requestQuit)
    : services_(services),
      flags_(flags),
      requestQuit_(std::move(requestQuit)),
      log_(services.settings, services.loop.clock()),
      display_(services.display, log_) {
  target_ = services_.loop.createTarget([this](const Message& message) { onMessage(message); });
  log_.StartNewLog();
}

PostingSession::Impl::~Impl() {
  services_.loop.destroyTarget(target_);  // stops the timers and drops queued steps
}

void PostingSession::Impl::setUp() {
  display_.ShowState("Idle.");
  services_.loop.setTimer(target_, kLiveTimer, kLiveTickMs);
  display_.ShowOutboundInfo(winsockDescription());
  log_.RefreshLogging();
  display_.showTip();
  // Fast posting waits for no tick: "/tidewell" starts the run at once.
  if (flags_.postAtStart && services_.settings.flag(Setting::FastPosting)) {
    startPostIssued_ = true;
    post();
  }
}

std::string PostingSession::Impl::winsockDescription() const {
  return services_.socketManager.Description();
}

void PostingSession::Impl::onMessage(const Message& message) {
  switch (message.id) {
    case kStepMessage:
      if (message.wParam == generation_) {
        Step();
      }
      break;
    case kVerifyEndMessage:
      verifyCheckOver();
      break;
    case kQuitMessage:
      if (requestQuit_) {
        requestQuit_();
      }
      break;
    case kReapMessage:
      retiredLinks_.clear();
      break;
    case kTimerMessage:
      OnTimer(static_cast<unsigned>(message.wParam));
      break;
    default:
      break;
  }
}

void PostingSession::Impl::OnTimer(unsigned id) {
  switch (id) {
    case kLightsTimer:
      lightsOff();
      break;
    case kLiveTimer:
      liveTick();
      break;
    case kVerifyTimer:
      onVerifyTimer();
      break;
    case kReconnectTimer:
      services_.loop.killTimer(target_, kReconnectTimer);
      if (sessionState_ == SessionState::OpenConnection) {
        Step();
      }
      break;
    default:
      break;
  }
}

void PostingSession::Impl::liveTick() {
  if (flags_.postAtStart && !startPostIssued_) {
    startPostIssued_ = true;
    post();
  }
  display_.HeartbeatLight();
  updateElapsed();
  log("\n> Bang : Live Timer\n");
  if (link_) {
    link_->tick();  // a waiting reply is taken, or one more piece of the article goes
  }
}

void PostingSession::Impl::setState(SessionState next) {
  const SessionState previous = sessionState_;
  sessionState_ = next;
  if (trace_) {
    trace_(previous, next, toString(next));
  }
}

void PostingSession::Impl::postStep() {
  services_.loop.post(target_, kStepMessage, generation_);
}

void PostingSession::Impl::outboundLight() {
  display_.OutboundLight();
  startLightsTimer();
}

void PostingSession::Impl::inboundLight() {
  display_.InboundLight();
  startLightsTimer();
}

// A light goes off at the next 250 ms tick after it went on; more traffic
// meanwhile does not push that tick back.
void PostingSession::Impl::startLightsTimer() {
  if (!services_.loop.hasTimer(target_, kLightsTimer)) {
    services_.loop.setTimer(target_, kLightsTimer, kLightsMs);
  }
}

void PostingSession::Impl::lightsOff() {
  services_.loop.killTimer(target_, kLightsTimer);
  display_.lightsOff();
}

void PostingSession::Impl::resetButtons() {
  lightsOff();
  display_.ResetButtons();
  display_.ShowTimeRate("");
}

void PostingSession::Impl::showProblemInbound(std::string_view text) {
  display_.ShowInboundInfo(text);
  display_.showProblem(text);
}

void PostingSession::Impl::showProblemOutbound(std::string_view text) {
  display_.ShowOutboundInfo(text);
  display_.showProblem(text);
}

void PostingSession::Impl::updateElapsed() {
  if (sessionState_ != SessionState::Idle) {
    display_.ShowEstimate(progress_.UpdateElapsed(now(), rateCap_.bytesPerSecond()));
    display_.showRunProgress(runProgress());
  }
}

std::int64_t PostingSession::Impl::now() const {
  return services_.loop.clock().epochSeconds();
}

std::string PostingSession::Impl::sourcePath(const std::string& name) const {
  if (recovery_) {
    if (std::optional<std::string> setFile = recovery_->pathOf(name)) {
      return *setFile;
    }
  }
  const std::string directory = services_.settings.getDirectory();
  return directory.empty() ? std::string() : joinPath(directory, name);
}

}  // namespace tidewell
