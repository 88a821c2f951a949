#include "net/tls_channel.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "net/socket_manager.h"
#include "net/socket_messages.h"
#include "net/stream_socket.h"
#include "net/tls_verification.h"
#include "platform/winsock.h"
#include "platform/winsock_errors.h"

namespace tidewell {

namespace {

// The largest plain text of one TLS record: Send hands OpenSSL at most this
// much per call, so a record the socket cannot take at once is what the
// channel keeps to finish by itself.
constexpr int kRecordText = 16384;

// How many bytes of finished records the channel gathers before it hands
// them to the socket: one send then carries many records instead of one
// system call per 16 KiB record. Beyond this the records wait in OpenSSL,
// as when the socket is full.
constexpr std::size_t kOutboxLimit = 256 * 1024;

// Messages the channel posts to itself.
constexpr std::uint32_t kAnnounceRead = 1;
constexpr std::uint32_t kHandshakeOutcome = 2;

}  // namespace

class TlsChannel::Impl {
 public:
  explicit Impl(StreamSocket& socket) : socket_(socket), loop_(socket.manager().loop()) {
    target_ = loop_.createTarget([this](const Message& message) { onMessage(message); });
  }
  ~Impl() {
    if (socket_.window().notifyWindow() == target_) {
      socket_.SetNotifyWindow(notify_);
    }
    loop_.destroyTarget(target_);
  }
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  int StartClient(std::string_view hostName, const TlsSettings& settings);
  int Receive(char* buffer, int& size);
  int Send(const char* data, int& size);
  long ReadableBytes();
  int Shutdown();
  [[nodiscard]] std::string Description() const;

  enum class State { kIdle, kHandshaking, kEstablished, kClosed, kFailed };
  State state_ = State::kIdle;
  int lastError_ = 0;
  TlsFailure failure_ = TlsFailure::kNone;
  std::string failureText_;
  std::string fingerprint_;

 private:
  static BIO_METHOD* socketMethod();
  static int bioWrite(BIO* bio, const char* data, int length);
  static int bioRead(BIO* bio, char* buffer, int length);
  static long bioControl(BIO* bio, int command, long number, void* pointer);

  void onMessage(const Message& message);
  void onSocketEvent(const Message& message);
  void forward(const Message& message) { loop_.send(notify_, message.id, message.wParam, message.lParam); }
  void forwardEvent(long event, int error) {
    loop_.send(notify_, kSocketEventMessage, static_cast<std::uintptr_t>(socket_.handle()),
               makeSelectReply(event, error));
  }
  int failSetUp();
  void advanceHandshake();
  void failHandshake(TlsFailure failure, std::string text);
  void classifyHandshakeFailure(int sslError);
  // Sends what is left of a record the socket could not take; false while
  // some of it still waits (or on failure, recorded).
  bool finishPendingRecord();
  // Hands the gathered records to the socket; true when none is left. A
  // short send leaves the rest for the socket's next write event; a socket
  // failure is kept in socketError_.
  bool flushOutbox();
  [[nodiscard]] std::size_t outboxWaiting() const { return outbox_.size() - outboxSent_; }
  // Flushes after an OpenSSL call that may have made records, and records a
  // socket failure met on the way.
  void flushAfterCall();
  // What an OpenSSL read or write call that gave `result` (0 or less) met:
  // would-block (lastError 10035), the server's end (lastError 0), or a
  // failure, which is recorded.
  enum class Outcome { kBlocked, kEnded, kFailed };
  Outcome outcomeOf(int result);
  void failAfterHandshake();
  void announceReadIfPending();
  void rearmSocketRead();
  // Receive and Send before the handshake, after Shutdown or a failure.
  void notUsable();

  StreamSocket& socket_;
  MessageLoop& loop_;
  TargetHandle target_ = kNoTarget;
  TargetHandle notify_ = kNoTarget;
  std::unique_ptr<SSL_CTX, SslDeleter> context_;
  std::unique_ptr<SSL, SslDeleter> ssl_;
  TlsSettings settings_;
  std::string host_;
  std::optional<std::array<std::uint8_t, 32>> pin_;
  std::vector<char> pendingRecord_;  // plain text handed to OpenSSL, not yet all on the wire
  std::vector<char> outbox_;         // finished records, from outboxSent_ on not yet sent
  std::size_t outboxSent_ = 0;
  int socketError_ = 0;         // the socket call's failure, kept by the BIO
  bool peerEnded_ = false;      // the socket read the end of the stream
  bool readAnnounced_ = false;  // a read event is out and no receive has followed
  bool writeWanted_ = false;    // a Send was short: the session waits for a write event
  bool announcePosted_ = false;
};

BIO_METHOD* TlsChannel::Impl::socketMethod() {
  static const std::unique_ptr<BIO_METHOD, SslDeleter> method = [] {
    std::unique_ptr<BIO_METHOD, SslDeleter> made(
        BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "tidewell socket"));
    if (made) {
      BIO_meth_set_write(made.get(), &Impl::bioWrite);
      BIO_meth_set_read(made.get(), &Impl::bioRead);
      BIO_meth_set_ctrl(made.get(), &Impl::bioControl);
    }
    return made;
  }();
  return method.get();
}

// The BIO calls the socket service itself: a receive re-arms the read event
// and a send that would block (or is short) arms the write event, exactly as
// for the plain socket. Written records are gathered in the outbox and sent
// together (flushOutbox); only a full outbox the socket cannot take makes
// OpenSSL wait.
int TlsChannel::Impl::bioWrite(BIO* bio, const char* data, int length) {
  auto* self = static_cast<Impl*>(BIO_get_data(bio));
  BIO_clear_retry_flags(bio);
  if (length <= 0) {
    return 0;
  }
  if (self->outboxWaiting() >= kOutboxLimit) {
    (void)self->flushOutbox();
    if (self->socketError_ != 0) {
      return -1;
    }
    if (self->outboxWaiting() >= kOutboxLimit) {
      BIO_set_retry_write(bio);
      return -1;
    }
  }
  if (self->outboxSent_ > 0) {
    self->outbox_.erase(self->outbox_.begin(), self->outbox_.begin() + static_cast<std::ptrdiff_t>(self->outboxSent_));
    self->outboxSent_ = 0;
  }
  self->outbox_.insert(self->outbox_.end(), data, data + length);
  return length;
}

bool TlsChannel::Impl::flushOutbox() {
  Winsock& winsock = socket_.manager().winsock();
  while (outboxSent_ < outbox_.size()) {
    const int asked = static_cast<int>(std::min<std::size_t>(outbox_.size() - outboxSent_, INT_MAX));
    const int sent = winsock.send(socket_.handle(), outbox_.data() + outboxSent_, asked, 0);
    if (sent < 0) {
      if (winsock.lastError() != kWsaEWouldBlock) {
        socketError_ = winsock.lastError();
      }
      return false;
    }
    outboxSent_ += static_cast<std::size_t>(sent);
    if (sent < asked) {
      return false;  // the socket is full; its write event comes when it has room
    }
  }
  outbox_.clear();
  outboxSent_ = 0;
  return true;
}

void TlsChannel::Impl::flushAfterCall() {
  if (outboxWaiting() == 0) {
    return;
  }
  const int before = socketError_;
  socketError_ = 0;
  (void)flushOutbox();
  if (socketError_ != 0 && state_ == State::kEstablished) {
    failAfterHandshake();
  } else if (socketError_ == 0) {
    socketError_ = before;
  }
}

int TlsChannel::Impl::bioRead(BIO* bio, char* buffer, int length) {
  auto* self = static_cast<Impl*>(BIO_get_data(bio));
  BIO_clear_retry_flags(bio);
  Winsock& winsock = self->socket_.manager().winsock();
  const int got = winsock.recv(self->socket_.handle(), buffer, length, 0);
  if (got > 0) {
    return got;
  }
  if (got == 0) {
    self->peerEnded_ = true;
    return 0;
  }
  if (winsock.lastError() == kWsaEWouldBlock) {
    BIO_set_retry_read(bio);
  } else {
    self->socketError_ = winsock.lastError();
  }
  return -1;
}

// OpenSSL flushes after each flight of the handshake and after an alert.
// What the socket cannot take yet goes out on its write event.
long TlsChannel::Impl::bioControl(BIO* bio, int command, long /*number*/, void* /*pointer*/) {
  if (command != BIO_CTRL_FLUSH) {
    return 0;
  }
  auto* self = static_cast<Impl*>(BIO_get_data(bio));
  (void)self->flushOutbox();
  return self->socketError_ == 0 ? 1 : 0;
}

int TlsChannel::Impl::StartClient(std::string_view hostName, const TlsSettings& settings) {
  // (The socket's connectionState cannot tell: a session that takes every
  // event itself never lets the socket see its connect event.)
  if (state_ != State::kIdle || socket_.handle() == kInvalidSocket) {
    lastError_ = kWsaENotConn;
    return -1;
  }
  settings_ = settings;
  host_ = hostName;
  if (std::string problem = CheckTlsSettings(settings); !problem.empty()) {
    failure_ = TlsFailure::kUnusableSettings;
    failureText_ = std::move(problem);
    state_ = State::kFailed;
    lastError_ = kWsaEInval;
    return -1;
  }
  if (!settings.pin.empty()) {
    pin_ = ParseTlsPin(settings.pin);
  }

  ERR_clear_error();
  BIO* bio = socketMethod() != nullptr ? BIO_new(socketMethod()) : nullptr;
  context_ = makeClientContext(settings);
  if (!context_ || bio == nullptr) {
    BIO_free(bio);
    return failSetUp();
  }
  ssl_.reset(SSL_new(context_.get()));
  if (!ssl_) {
    BIO_free(bio);
    return failSetUp();
  }
  expectPeer(ssl_.get(), host_, settings.verify);
  BIO_set_data(bio, this);
  BIO_set_init(bio, 1);
  SSL_set_bio(ssl_.get(), bio, bio);
  SSL_set_connect_state(ssl_.get());

  notify_ = socket_.window().notifyWindow();
  socket_.SetNotifyWindow(target_);
  state_ = State::kHandshaking;
  advanceHandshake();
  return 0;
}

int TlsChannel::Impl::failSetUp() {
  failure_ = TlsFailure::kHandshake;
  failureText_ = "TLS could not be set up: " + openSslReason() + ".";
  state_ = State::kFailed;
  lastError_ = kWsaENoBufs;
  ERR_clear_error();
  return -1;
}

void TlsChannel::Impl::advanceHandshake() {
  ERR_clear_error();
  socketError_ = 0;
  const int result = SSL_do_handshake(ssl_.get());
  (void)flushOutbox();
  if (result == 1) {
    if (TlsVerdict verdict = checkPeerCertificate(ssl_.get(), pin_, fingerprint_);
        verdict.failure != TlsFailure::kNone) {
      failHandshake(verdict.failure, std::move(verdict.text));
      return;
    }
    state_ = State::kEstablished;
    loop_.post(target_, kHandshakeOutcome, 0, 0);
    return;
  }
  const int error = SSL_get_error(ssl_.get(), result);
  if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
    return;  // the socket's next read or write event goes on with it
  }
  classifyHandshakeFailure(error);
}

void TlsChannel::Impl::classifyHandshakeFailure(int sslError) {
  if (settings_.verify) {
    if (TlsVerdict verdict = verificationFailure(ssl_.get(), host_); verdict.failure != TlsFailure::kNone) {
      failHandshake(verdict.failure, std::move(verdict.text));
      return;
    }
  }
  if (socketError_ != 0) {
    failHandshake(TlsFailure::kConnectionLost, "The connection broke during the TLS handshake (" +
                                                   std::string(winsockErrorDescription(socketError_)) + ").");
  } else if (peerEnded_ || sslError == SSL_ERROR_SYSCALL || sslError == SSL_ERROR_ZERO_RETURN) {
    failHandshake(TlsFailure::kConnectionLost, "The server closed the connection during the TLS handshake.");
  } else {
    failHandshake(TlsFailure::kHandshake, "The TLS handshake failed: " + openSslReason() + ".");
  }
}

void TlsChannel::Impl::failHandshake(TlsFailure failure, std::string text) {
  ERR_clear_error();
  state_ = State::kFailed;
  failure_ = failure;
  failureText_ = std::move(text);
  lastError_ = socketError_ != 0 ? socketError_ : kWsaEConnAborted;
  loop_.post(target_, kHandshakeOutcome, 0, static_cast<std::intptr_t>(failure));
}

void TlsChannel::Impl::onMessage(const Message& message) {
  switch (message.id) {
    case kSocketEventMessage:
      onSocketEvent(message);
      break;
    case kAnnounceRead:
      announcePosted_ = false;
      if (state_ == State::kEstablished && !readAnnounced_ && SSL_pending(ssl_.get()) > 0) {
        readAnnounced_ = true;
        forwardEvent(kFdRead, 0);
      }
      break;
    case kHandshakeOutcome:
      loop_.send(notify_, kTlsHandshakeMessage, static_cast<std::uintptr_t>(socket_.handle()), message.lParam);
      if (message.lParam == 0) {
        announceReadIfPending();
      }
      break;
    default:
      break;
  }
}

void TlsChannel::Impl::onSocketEvent(const Message& message) {
  const int event = selectEventOf(message.lParam);
  const int error = selectErrorOf(message.lParam);
  if (message.wParam != static_cast<std::uintptr_t>(socket_.handle())) {
    return;
  }
  if (state_ == State::kHandshaking) {
    if (event == kFdRead || event == kFdWrite || event == kFdClose) {
      socketError_ = error;
      if (error != 0) {
        failHandshake(TlsFailure::kConnectionLost, "The connection broke during the TLS handshake (" +
                                                       std::string(winsockErrorDescription(error)) + ").");
        return;
      }
      advanceHandshake();
      if (event == kFdClose && state_ == State::kHandshaking) {
        failHandshake(TlsFailure::kConnectionLost, "The server closed the connection during the TLS handshake.");
      }
    }
    return;
  }
  if (state_ == State::kEstablished) {
    if (event == kFdWrite && error == 0) {
      socketError_ = 0;
      const bool finished = finishPendingRecord();
      flushAfterCall();
      const bool room = finished && outboxWaiting() < kOutboxLimit;
      if (state_ != State::kFailed && (!room || !writeWanted_)) {
        return;  // still waiting for room, or nobody is waiting for it
      }
      writeWanted_ = false;  // (a failure goes on to the session: its next send meets it)
    }
    if (event == kFdRead) {
      readAnnounced_ = true;
    }
  }
  forward(message);
}

// A receive served from OpenSSL's buffer does not touch the socket, so the
// socket's read event, once announced, would not come again: a peek is the
// receive that re-arms it (announced at once when records wait).
void TlsChannel::Impl::rearmSocketRead() {
  char first = 0;
  (void)socket_.manager().winsock().recv(socket_.handle(), &first, 1, kMsgPeek);
}

void TlsChannel::Impl::announceReadIfPending() {
  if (!announcePosted_ && SSL_pending(ssl_.get()) > 0) {
    announcePosted_ = true;
    loop_.post(target_, kAnnounceRead);
  }
}

TlsChannel::Impl::Outcome TlsChannel::Impl::outcomeOf(int result) {
  const int error = SSL_get_error(ssl_.get(), result);
  if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
    lastError_ = kWsaEWouldBlock;
    return Outcome::kBlocked;
  }
  if (error == SSL_ERROR_ZERO_RETURN) {
    lastError_ = 0;
    return Outcome::kEnded;
  }
  failAfterHandshake();
  return Outcome::kFailed;
}

void TlsChannel::Impl::failAfterHandshake() {
  state_ = State::kFailed;
  if (socketError_ != 0) {
    lastError_ = socketError_;
    failure_ = TlsFailure::kConnectionLost;
    failureText_ = "The secure connection broke (" + std::string(winsockErrorDescription(socketError_)) + ").";
  } else {
    lastError_ = kWsaEConnAborted;
    failure_ = TlsFailure::kProtocol;
    failureText_ = "The secure connection failed: " + openSslReason() + ".";
  }
  ERR_clear_error();
}

void TlsChannel::Impl::notUsable() {
  if (state_ == State::kClosed) {
    lastError_ = kWsaEShutdown;
  } else if (state_ != State::kFailed) {
    lastError_ = kWsaENotConn;
  }  // a failure keeps its own code
}

int TlsChannel::Impl::Receive(char* buffer, int& size) {
  if (state_ != State::kEstablished) {
    size = 0;
    notUsable();
    return -1;
  }
  readAnnounced_ = false;
  ERR_clear_error();
  socketError_ = 0;
  const int got = SSL_read(ssl_.get(), buffer, size);
  flushAfterCall();  // (a reading call may answer the server, e.g. a key update)
  if (got > 0) {
    size = got;  // (a failure of that answer is met by the next call)
    if (state_ == State::kEstablished) {
      announceReadIfPending();
      rearmSocketRead();
    }
    return 0;
  }
  size = 0;
  if (state_ != State::kEstablished) {
    return -1;
  }
  return outcomeOf(got) == Outcome::kFailed ? -1 : 0;
}

long TlsChannel::Impl::ReadableBytes() {
  if (state_ != State::kEstablished) {
    return 0;
  }
  if (SSL_pending(ssl_.get()) == 0 && socket_.ReadableBytes() > 0) {
    // Records waiting on the socket: decrypt them without taking the text.
    ERR_clear_error();
    socketError_ = 0;
    char first = 0;
    const int got = SSL_peek(ssl_.get(), &first, 1);
    flushAfterCall();
    if (got <= 0 && state_ == State::kEstablished) {
      outcomeOf(got);
    }
  }
  return state_ == State::kEstablished ? SSL_pending(ssl_.get()) : 0;
}

bool TlsChannel::Impl::finishPendingRecord() {
  while (!pendingRecord_.empty()) {
    ERR_clear_error();
    socketError_ = 0;
    const int sent = SSL_write(ssl_.get(), pendingRecord_.data(), static_cast<int>(pendingRecord_.size()));
    if (sent <= 0) {
      if (outcomeOf(sent) == Outcome::kEnded) {
        failAfterHandshake();
      }
      return false;
    }
    pendingRecord_.erase(pendingRecord_.begin(), pendingRecord_.begin() + sent);
  }
  return true;
}

int TlsChannel::Impl::Send(const char* data, int& size) {
  if (state_ != State::kEstablished) {
    size = 0;
    notUsable();
    return -1;
  }
  const int asked = size;
  int taken = 0;
  if (finishPendingRecord()) {
    while (taken < asked) {
      const int piece = std::min(asked - taken, kRecordText);
      ERR_clear_error();
      socketError_ = 0;
      const int sent = SSL_write(ssl_.get(), data + taken, piece);
      if (sent > 0) {
        taken += sent;
        continue;
      }
      const Outcome outcome = outcomeOf(sent);
      if (outcome != Outcome::kBlocked) {
        if (outcome == Outcome::kEnded) {
          failAfterHandshake();
        }
        break;
      }
      // OpenSSL has made this record and must send exactly it: the channel
      // keeps its text and finishes it when the socket has room.
      pendingRecord_.assign(data + taken, data + taken + piece);
      taken += piece;
      break;
    }
  }
  if (state_ == State::kEstablished) {
    flushAfterCall();
  }
  size = taken;
  if (state_ == State::kFailed) {
    return taken > 0 ? 0 : -1;
  }
  if (taken < asked) {
    writeWanted_ = true;
    lastError_ = kWsaEWouldBlock;
  }
  return 0;
}

int TlsChannel::Impl::Shutdown() {
  if (state_ == State::kEstablished) {
    ERR_clear_error();
    SSL_shutdown(ssl_.get());  // close_notify; the server's answer is not awaited
    ERR_clear_error();
    (void)flushOutbox();
  }
  if (state_ != State::kFailed) {
    state_ = State::kClosed;
  }
  return 0;
}

std::string TlsChannel::Impl::Description() const {
  if (state_ != State::kEstablished) {
    return {};
  }
  return std::string(SSL_get_version(ssl_.get())) + " " + SSL_get_cipher_name(ssl_.get());
}

TlsChannel::TlsChannel(StreamSocket& socket) : impl_(std::make_unique<Impl>(socket)) {}
TlsChannel::~TlsChannel() = default;

int TlsChannel::StartClient(std::string_view hostName, const TlsSettings& settings) {
  return impl_->StartClient(hostName, settings);
}
int TlsChannel::Receive(char* buffer, int& size) {
  return impl_->Receive(buffer, size);
}
int TlsChannel::Send(const char* data, int& size) {
  return impl_->Send(data, size);
}
long TlsChannel::ReadableBytes() {
  return impl_->ReadableBytes();
}
int TlsChannel::Shutdown() {
  return impl_->Shutdown();
}
bool TlsChannel::established() const {
  return impl_->state_ == Impl::State::kEstablished;
}
int TlsChannel::lastError() const {
  return impl_->lastError_;
}
TlsFailure TlsChannel::failure() const {
  return impl_->failure_;
}
const std::string& TlsChannel::failureText() const {
  return impl_->failureText_;
}
const std::string& TlsChannel::peerFingerprint() const {
  return impl_->fingerprint_;
}
std::string TlsChannel::Description() const {
  return impl_->Description();
}

}  // namespace tidewell
