#include "net/tls_channel.h"

#include <arpa/inet.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "net/socket_manager.h"
#include "net/socket_messages.h"
#include "net/stream_socket.h"
#include "platform/winsock.h"
#include "platform/winsock_errors.h"

namespace tidewell {

namespace {

// The largest plain text of one TLS record: Send hands OpenSSL at most this
// much per call, so a record the socket cannot take at once is what the
// channel keeps to finish by itself.
constexpr int kRecordText = 16384;

// Messages the channel posts to itself.
constexpr std::uint32_t kAnnounceRead = 1;
constexpr std::uint32_t kHandshakeOutcome = 2;

struct SslDeleter {
  void operator()(SSL* ssl) const { SSL_free(ssl); }
  void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
  void operator()(BIO_METHOD* method) const { BIO_meth_free(method); }
};

bool isDottedAddress(std::string_view name) {
  in_addr address{};
  const std::string text(name);
  return ::inet_pton(AF_INET, text.c_str(), &address) == 1;
}

std::string hexFingerprint(const unsigned char* digest, unsigned length) {
  std::string text;
  char pair[4];
  for (unsigned i = 0; i < length; ++i) {
    std::snprintf(pair, sizeof pair, i == 0 ? "%02X" : ":%02X", digest[i]);
    text += pair;
  }
  return text;
}

// The text of OpenSSL's last error, e.g. "wrong version number".
std::string openSslReason() {
  const unsigned long code = ERR_peek_last_error();
  const char* reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
  return reason != nullptr ? reason : "no reason given";
}

}  // namespace

std::optional<std::array<std::uint8_t, 32>> ParseTlsPin(std::string_view text) {
  std::array<std::uint8_t, 32> bytes{};
  std::size_t digits = 0;
  for (const char c : text) {
    if (c == ':') {
      continue;
    }
    const int lower = std::tolower(static_cast<unsigned char>(c));
    int value = -1;
    if (lower >= '0' && lower <= '9') {
      value = lower - '0';
    } else if (lower >= 'a' && lower <= 'f') {
      value = lower - 'a' + 10;
    }
    if (value < 0 || digits >= 64) {
      return std::nullopt;
    }
    bytes[digits / 2] = static_cast<std::uint8_t>(bytes[digits / 2] << 4 | value);
    ++digits;
  }
  if (digits != 64) {
    return std::nullopt;
  }
  return bytes;
}

std::string CheckTlsSettings(const TlsSettings& settings) {
  if (!settings.pin.empty() && !ParseTlsPin(settings.pin)) {
    return "TLSPin is not a SHA-256 fingerprint (64 hexadecimal digits).";
  }
  if (!settings.caFile.empty()) {
    std::unique_ptr<SSL_CTX, SslDeleter> context(SSL_CTX_new(TLS_client_method()));
    ERR_clear_error();
    if (!context || SSL_CTX_load_verify_locations(context.get(), settings.caFile.c_str(), nullptr) != 1) {
      ERR_clear_error();
      return "TLSCAFile " + settings.caFile + " cannot be read as PEM certificates.";
    }
  }
  return {};
}

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
  bool makeContext(const TlsSettings& settings);
  int failSetUp();
  void advanceHandshake();
  bool pinMatches();
  void failHandshake(TlsFailure failure, std::string text);
  void classifyHandshakeFailure(int sslError);
  // Sends what is left of a record the socket could not take; false while
  // some of it still waits (or on failure, recorded).
  bool finishPendingRecord();
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
  int socketError_ = 0;              // the socket call's failure, kept by the BIO
  bool peerEnded_ = false;           // the socket read the end of the stream
  bool readAnnounced_ = false;       // a read event is out and no receive has followed
  bool writeWanted_ = false;         // a Send was short: the session waits for a write event
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
// for the plain socket.
int TlsChannel::Impl::bioWrite(BIO* bio, const char* data, int length) {
  auto* self = static_cast<Impl*>(BIO_get_data(bio));
  BIO_clear_retry_flags(bio);
  Winsock& winsock = self->socket_.manager().winsock();
  const int sent = winsock.send(self->socket_.handle(), data, length, 0);
  if (sent >= 0) {
    return sent;
  }
  if (winsock.lastError() == kWsaEWouldBlock) {
    BIO_set_retry_write(bio);
  } else {
    self->socketError_ = winsock.lastError();
  }
  return -1;
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

long TlsChannel::Impl::bioControl(BIO* /*bio*/, int command, long /*number*/, void* /*pointer*/) {
  return command == BIO_CTRL_FLUSH ? 1 : 0;
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
  if (!makeContext(settings) || bio == nullptr) {
    BIO_free(bio);
    return failSetUp();
  }
  ssl_.reset(SSL_new(context_.get()));
  if (!ssl_) {
    BIO_free(bio);
    return failSetUp();
  }
  if (settings.verify) {
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl_.get());
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    if (isDottedAddress(host_)) {
      X509_VERIFY_PARAM_set1_ip_asc(param, host_.c_str());
    } else {
      X509_VERIFY_PARAM_set1_host(param, host_.c_str(), host_.size());
    }
  }
  if (!isDottedAddress(host_) && !host_.empty()) {
    // SSL_set_tlsext_host_name, whose macro casts in the old style.
    SSL_ctrl(ssl_.get(), SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name, host_.data());
  }
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

// Complete before SSL_new, which copies the context's options.
bool TlsChannel::Impl::makeContext(const TlsSettings& settings) {
  context_.reset(SSL_CTX_new(TLS_client_method()));
  if (!context_) {
    return false;
  }
  SSL_CTX_set_min_proto_version(context_.get(), TLS1_2_VERSION);
  // NNTP ends its own replies and articles, so a server that closes without
  // close_notify (after QUIT) is an ordinary end, not a truncation.
  // Renegotiation is refused: a write never has to wait for a read.
  SSL_CTX_set_options(context_.get(), SSL_OP_IGNORE_UNEXPECTED_EOF | SSL_OP_NO_RENEGOTIATION);
  SSL_CTX_set_mode(context_.get(), SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  if (settings.verify) {
    SSL_CTX_set_verify(context_.get(), SSL_VERIFY_PEER, nullptr);
    // The system store as its hashed directory, which OpenSSL reads one
    // certificate at a time as it needs them: loading the whole bundle file
    // took about 100 ms per connection.
    SSL_CTX_set_default_verify_dir(context_.get());
    if (!settings.caFile.empty()) {
      SSL_CTX_load_verify_locations(context_.get(), settings.caFile.c_str(), nullptr);
    }
  } else {
    SSL_CTX_set_verify(context_.get(), SSL_VERIFY_NONE, nullptr);
  }
  return true;
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
  if (result == 1) {
    if (!pinMatches()) {
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

bool TlsChannel::Impl::pinMatches() {
  X509* certificate = SSL_get0_peer_certificate(ssl_.get());
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned length = 0;
  if (certificate == nullptr || X509_digest(certificate, EVP_sha256(), digest, &length) != 1) {
    failHandshake(TlsFailure::kHandshake, "The server sent no certificate.");
    return false;
  }
  fingerprint_ = hexFingerprint(digest, length);
  if (pin_ && !std::equal(pin_->begin(), pin_->end(), digest, digest + length)) {
    failHandshake(TlsFailure::kPinMismatch,
                  "The server's certificate does not match TLSPin (its SHA-256 fingerprint is " + fingerprint_ + ").");
    return false;
  }
  return true;
}

void TlsChannel::Impl::classifyHandshakeFailure(int sslError) {
  const long verified = SSL_get_verify_result(ssl_.get());
  if (settings_.verify && verified != X509_V_OK) {
    switch (verified) {
      case X509_V_ERR_CERT_HAS_EXPIRED:
        failHandshake(TlsFailure::kExpired, "The server's certificate has expired.");
        return;
      case X509_V_ERR_CERT_NOT_YET_VALID:
        failHandshake(TlsFailure::kNotYetValid, "The server's certificate is not valid yet.");
        return;
      case X509_V_ERR_HOSTNAME_MISMATCH:
      case X509_V_ERR_IP_ADDRESS_MISMATCH:
        failHandshake(TlsFailure::kWrongHost, "The server's certificate is not for " + host_ + ".");
        return;
      case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
      case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
      case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
      case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
      case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        failHandshake(TlsFailure::kUnknownIssuer,
                      "The server's certificate is signed by an unknown issuer (add it with TLSCAFile).");
        return;
      default:
        failHandshake(TlsFailure::kCertificateRefused, std::string("The server's certificate was refused: ") +
                                                           X509_verify_cert_error_string(verified) + ".");
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
      const bool finished = finishPendingRecord();
      if ((!finished && state_ != State::kFailed) || (finished && !writeWanted_)) {
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
  if (got > 0) {
    size = got;
    announceReadIfPending();
    rearmSocketRead();
    return 0;
  }
  size = 0;
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
    if (got <= 0) {
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
