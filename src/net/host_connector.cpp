#include "net/host_connector.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "net/socket_manager.h"
#include "platform/host_address.h"
#include "platform/winsock.h"

namespace tidewell {

namespace {

// Messages of the connector's own target.
constexpr std::uint32_t kBeginMessage = 1330;  // a literal address: no look-up
constexpr std::uint32_t kLookupMessage = 1331;
constexpr std::uint32_t kAttemptMessage = 1332;
constexpr unsigned kNextAttemptTimer = 1;

bool isMapped(const std::array<std::uint8_t, 16>& address) {
  static constexpr std::uint8_t kPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
  return std::memcmp(address.data(), kPrefix, sizeof kPrefix) == 0;
}

}  // namespace

HostConnector::HostConnector(SocketManager& manager, std::int64_t attemptDelayMs)
    : manager_(manager), loop_(manager.loop()), attemptDelayMs_(attemptDelayMs), handshake_(manager) {
  target_ = loop_.createTarget([this](const Message& message) { handle(message); });
}

HostConnector::~HostConnector() {
  Cancel();
  loop_.destroyTarget(target_);
}

int HostConnector::StartThroughProxy(const ProxyAddress& proxy, std::string_view host, std::uint16_t port, int family,
                                     Done done) {
  if (host.empty() || port == 0) {
    lastError_ = kWsaEInval;
    return -1;
  }
  if (Start(proxy.host, proxy.port, family, std::move(done)) != 0) {
    return -1;
  }
  proxy_ = proxy;
  targetHost_ = std::string(host);
  targetPort_ = port;
  return 0;
}

int HostConnector::Start(std::string_view host, std::uint16_t port, int family, Done done) {
  Cancel();
  lastError_ = 0;
  attemptTexts_.clear();
  const HostAddressResult parsed = parseHostAddress(host);
  if (!parsed.value || port == 0 || done == nullptr ||
      (family != kAfUnspec && family != kAfInet && family != kAfInet6)) {
    lastError_ = kWsaEInval;
    return -1;
  }
  family_ = family;
  port_ = port;
  if (parsed.value->family != kAfUnspec) {
    if (family != kAfUnspec && family != parsed.value->family) {
      lastError_ = kWsaEAfNoSupport;  // an IPv4 address with AddressFamily=IPv6, or the other way
      return -1;
    }
    setCandidates({parsed.value->address});
    loop_.post(target_, kBeginMessage);
  } else {
    lookup_ = manager_.winsock().asyncGetHostAddresses(target_, kLookupMessage, parsed.value->host, family, record_,
                                                       sizeof record_);
    if (lookup_ == kNoRequest) {
      lastError_ = manager_.winsock().lastError();
      return -1;
    }
  }
  done_ = std::move(done);
  return 0;
}

int HostConnector::StartWithAddresses(const std::vector<std::array<std::uint8_t, 16>>& addresses, std::uint16_t port,
                                      int family, Done done) {
  Cancel();
  lastError_ = 0;
  attemptTexts_.clear();
  if (addresses.empty() || port == 0 || done == nullptr ||
      (family != kAfUnspec && family != kAfInet && family != kAfInet6)) {
    lastError_ = kWsaEInval;
    return -1;
  }
  family_ = family;
  port_ = port;
  setCandidates(addresses);
  loop_.post(target_, kBeginMessage);
  done_ = std::move(done);
  return 0;
}

void HostConnector::Cancel() {
  if (lookup_ != kNoRequest) {
    (void)manager_.winsock().cancelAsyncRequest(lookup_);
    lookup_ = kNoRequest;
  }
  loop_.killTimer(target_, kNextAttemptTimer);
  closeAttempts(kInvalidSocket);
  candidates_.clear();
  next_ = 0;
  lastAttemptError_ = 0;
  done_ = nullptr;
  handshake_.Cancel();
  if (proxySocket_ != kInvalidSocket) {
    (void)manager_.winsock().closeSocket(proxySocket_);
    proxySocket_ = kInvalidSocket;
  }
  proxy_.reset();
}

void HostConnector::handle(const Message& message) {
  if (done_ == nullptr) {
    return;  // cancelled since
  }
  switch (message.id) {
    case kBeginMessage:
      startNext();
      break;
    case kLookupMessage:
      if (static_cast<AsyncHandle>(message.wParam) == lookup_) {
        lookup_ = kNoRequest;
        lookedUp(message.lParam);
      }
      break;
    case kAttemptMessage:
      if (selectEventOf(message.lParam) == kFdConnect) {
        attemptEvent(static_cast<SocketHandle>(message.wParam), selectErrorOf(message.lParam));
      }
      break;
    case kTimerMessage:
      if (message.wParam == kNextAttemptTimer) {
        startNext();
      }
      break;
    default:
      break;
  }
}

void HostConnector::lookedUp(std::intptr_t lParam) {
  if (const int error = selectErrorOf(lParam); error != 0) {
    Outcome outcome;
    outcome.error = error;
    outcome.lookupFailed = true;
    finish(std::move(outcome));
    return;
  }
  HostEntry entry{};
  std::memcpy(&entry, record_, sizeof entry);
  std::vector<std::array<std::uint8_t, 16>> addresses;
  for (char** at = entry.addressLength == 16 ? entry.addressList : nullptr; at != nullptr && *at != nullptr; ++at) {
    std::array<std::uint8_t, 16> address{};
    std::memcpy(address.data(), *at, 16);
    addresses.push_back(address);
  }
  setCandidates(addresses);
  startNext();
}

void HostConnector::setCandidates(const std::vector<std::array<std::uint8_t, 16>>& addresses) {
  std::vector<Candidate> six;
  std::vector<Candidate> four;
  for (const auto& address : addresses) {
    Candidate candidate;
    if (isMapped(address)) {
      sockaddr_in in{};
      in.sin_family = kAfInet;
      in.sin_port = htons(port_);
      std::memcpy(&in.sin_addr, address.data() + 12, 4);
      candidate.family = kAfInet;
      std::memcpy(candidate.address.data(), &in, sizeof in);
      four.push_back(candidate);
    } else {
      sockaddr_in6 in6{};
      in6.sin6_port = htons(port_);
      std::memcpy(&in6.sin6_addr, address.data(), 16);
      candidate.family = kAfInet6;
      std::memcpy(candidate.address.data(), &in6, sizeof in6);
      const auto family = static_cast<std::uint16_t>(kAfInet6);
      std::memcpy(candidate.address.data(), &family, sizeof family);
      six.push_back(candidate);
    }
  }
  candidates_.clear();
  for (std::size_t i = 0; i < std::max(six.size(), four.size()); ++i) {
    if (i < six.size() && family_ != kAfInet) {
      candidates_.push_back(six[i]);
    }
    if (i < four.size() && family_ != kAfInet6) {
      candidates_.push_back(four[i]);
    }
  }
  next_ = 0;
}

void HostConnector::startNext() {
  Winsock& winsock = manager_.winsock();
  while (next_ < candidates_.size()) {
    const std::size_t index = next_++;
    const Candidate& candidate = candidates_[index];
    attemptTexts_.push_back(socketAddressText(candidate.address.data()));
    const SocketHandle s = winsock.socket(candidate.family, kSockStream, 0);
    if (s == kInvalidSocket) {
      lastAttemptError_ = winsock.lastError();
      continue;
    }
    // As StreamSocket::ConnectPeer: an article's last small segment must not
    // wait behind Nagle's algorithm for the server's delayed acknowledgement
    // (about 40 ms per article). A socket that refuses the option still
    // connects.
    const int noDelay = 1;
    (void)winsock.setSockOpt(s, kIpProtoTcp, kTcpNoDelay, &noDelay, sizeof noDelay);
    const int length = candidate.family == kAfInet6 ? kInet6AddressLength : 16;
    if (winsock.asyncSelect(s, target_, kAttemptMessage, kFdConnect) != 0 ||
        (winsock.connect(s, candidate.address.data(), length) != 0 && winsock.lastError() != kWsaEWouldBlock)) {
      lastAttemptError_ = winsock.lastError();
      (void)winsock.closeSocket(s);
      continue;  // this address fails at once: the next one now
    }
    attempts_.push_back(Attempt{s, index});
    // The next address gets its turn after the delay, or sooner if this
    // one fails first.
    loop_.setTimer(target_, kNextAttemptTimer, attemptDelayMs_);
    return;
  }
  loop_.killTimer(target_, kNextAttemptTimer);
  if (attempts_.empty()) {
    Outcome outcome;
    outcome.error = lastAttemptError_ != 0 ? lastAttemptError_ : kWsaEAfNoSupport;  // none of the family asked for
    finish(std::move(outcome));
  }
}

void HostConnector::attemptEvent(SocketHandle s, int error) {
  const auto it = std::find_if(attempts_.begin(), attempts_.end(), [s](const Attempt& a) { return a.handle == s; });
  if (it == attempts_.end()) {
    return;
  }
  Winsock& winsock = manager_.winsock();
  if (error != 0) {
    lastAttemptError_ = error;
    (void)winsock.closeSocket(s);
    attempts_.erase(it);
    startNext();  // a failure gives the next address its turn at once
    return;
  }
  const Candidate& won = candidates_[it->candidate];
  Outcome outcome;
  outcome.handle = s;
  outcome.family = won.family;
  outcome.peer = won.address;
  outcome.peerText = socketAddressText(won.address.data());
  (void)winsock.asyncSelect(s, target_, kAttemptMessage, 0);
  loop_.killTimer(target_, kNextAttemptTimer);
  closeAttempts(s);
  finish(std::move(outcome));
}

void HostConnector::closeAttempts(SocketHandle keep) {
  for (const Attempt& attempt : attempts_) {
    if (attempt.handle != keep) {
      (void)manager_.winsock().closeSocket(attempt.handle);
    }
  }
  attempts_.clear();
}

void HostConnector::finish(Outcome outcome) {
  if (!proxy_ || outcome.error != 0) {
    deliver(std::move(outcome));
    return;
  }
  // Connected to the proxy: now its handshake, on the same handle. The
  // attempts and the timer are done with already.
  loop_.killTimer(target_, kNextAttemptTimer);
  closeAttempts(outcome.handle);
  proxySocket_ = outcome.handle;
  handshake_.Start(proxySocket_, *proxy_, targetHost_, targetPort_,
                   [this, connected = std::move(outcome)](std::string problem) mutable {
                     proxySocket_ = kInvalidSocket;  // closed here or handed over
                     if (!problem.empty()) {
                       (void)manager_.winsock().closeSocket(connected.handle);
                       Outcome refused;
                       refused.error = kWsaEConnRefused;
                       refused.proxyProblem = std::move(problem);
                       deliver(std::move(refused));
                       return;
                     }
                     deliver(std::move(connected));
                   });
}

void HostConnector::deliver(Outcome outcome) {
  Done done = std::move(done_);
  Cancel();
  done(std::move(outcome));
}

}  // namespace tidewell
