#include "net/tls_channel.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/epoll.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "net/loopback.h"
#include "net/socket_manager.h"
#include "net/stream_socket.h"
#include "support/loop_runner.h"
#include "support/temp_dir.h"

namespace tidewell {
namespace {

using test::LoopbackListener;
using test::LoopRunner;
using test::Recorder;

// Where scripts/inn-start leaves the CA of the local INN's certificate.
constexpr const char* kInnTestCa = "/etc/news/test-ca.pem";

// Fixed socket buffers, so that a megabyte fills them. (Buffers smaller than
// loopback's segment size would stall on TCP's window probes instead.)
void fixBuffers(int fd) {
  const int size = 131072;
  ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
  ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
}

struct Freer {
  void operator()(SSL_CTX* p) const { SSL_CTX_free(p); }
  void operator()(SSL* p) const { SSL_free(p); }
  void operator()(X509* p) const { X509_free(p); }
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};

// A tiny TLS server on loopback, driven by the test's loop: a P-256 key and a
// self-signed certificate for 127.0.0.1 made at test time (valid from
// `fromDays` to `toDays` days from now).
class TinyTlsServer {
 public:
  TinyTlsServer(MessageLoop& loop, long fromDays, long toDays) : loop_(loop) {
    key_.reset(EVP_EC_gen("P-256"));
    certificate_.reset(X509_new());
    X509* c = certificate_.get();
    ASN1_INTEGER_set(X509_get_serialNumber(c), 1);
    X509_gmtime_adj(X509_getm_notBefore(c), fromDays * 86400);
    X509_gmtime_adj(X509_getm_notAfter(c), toDays * 86400);
    X509_set_pubkey(c, key_.get());
    X509_NAME_add_entry_by_txt(X509_get_subject_name(c), "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(c, X509_get_subject_name(c));
    X509V3_CTX v3;
    X509V3_set_ctx(&v3, c, c, nullptr, nullptr, 0);
    X509_EXTENSION* san = X509V3_EXT_conf_nid(nullptr, &v3, NID_subject_alt_name, "IP:127.0.0.1");
    X509_add_ext(c, san, -1);
    X509_EXTENSION_free(san);
    X509_sign(c, key_.get(), EVP_sha256());
    context_.reset(SSL_CTX_new(TLS_server_method()));
    SSL_CTX_use_certificate(context_.get(), c);
    SSL_CTX_use_PrivateKey(context_.get(), key_.get());
  }
  ~TinyTlsServer() {
    if (fd_ >= 0) {
      loop_.unwatch(fd_);
      ::close(fd_);
    }
  }
  TinyTlsServer(const TinyTlsServer&) = delete;
  TinyTlsServer& operator=(const TinyTlsServer&) = delete;

  [[nodiscard]] std::string pemFile(const test::TempDir& dir) const {
    const std::string path = dir.file("server.pem");
    FILE* file = std::fopen(path.c_str(), "w");
    PEM_write_X509(file, certificate_.get());
    std::fclose(file);
    return path;
  }
  [[nodiscard]] std::string fingerprint() const {  // lower case, no colons
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    X509_digest(certificate_.get(), EVP_sha256(), digest, &length);
    std::string text;
    char pair[3];
    for (unsigned i = 0; i < length; ++i) {
      std::snprintf(pair, sizeof pair, "%02x", digest[i]);
      text += pair;
    }
    return text;
  }
  // Takes the connection waiting at `listener`, serving TLS on it.
  void accept(const LoopbackListener& listener) {
    fd_ = listener.accept();
    ::fcntl(fd_, F_SETFL, O_NONBLOCK);
    fixBuffers(fd_);
    ssl_.reset(SSL_new(context_.get()));
    SSL_set_fd(ssl_.get(), fd_);
    SSL_set_accept_state(ssl_.get());
    loop_.watch(fd_, EPOLLIN, [this](std::uint32_t) { pump(); });
  }
  void setReading(bool on) {
    reading_ = on;
    pump();
  }
  void send(const std::string& text) {
    outgoing_ += text;
    pump();
  }
  std::string received;

 private:
  void pump() {
    char buffer[65536];
    int got = 0;
    while (reading_ && (got = SSL_read(ssl_.get(), buffer, sizeof buffer)) > 0) {
      received.append(buffer, static_cast<std::size_t>(got));
    }
    int sent = 0;
    while (!outgoing_.empty() &&
           (sent = SSL_write(ssl_.get(), outgoing_.data(), static_cast<int>(outgoing_.size()))) > 0) {
      outgoing_.erase(0, static_cast<std::size_t>(sent));
    }
    ERR_clear_error();
    loop_.rewatch(fd_, outgoing_.empty() ? EPOLLIN : EPOLLIN | EPOLLOUT);
  }

  MessageLoop& loop_;
  std::unique_ptr<EVP_PKEY, Freer> key_;
  std::unique_ptr<X509, Freer> certificate_;
  std::unique_ptr<SSL_CTX, Freer> context_;
  std::unique_ptr<SSL, Freer> ssl_;
  int fd_ = -1;
  bool reading_ = true;
  std::string outgoing_;
};

// A client connection as the posting session makes it: every socket event
// forwarded to the session's target.
struct TlsClient {
  // Connects to 127.0.0.1:port; false when nothing listens there.
  bool connect(std::uint16_t port) {
    socket.SetNotifyWindow(session.target());
    socket.Create();
    socket.SelectConnected();
    socket.Connect(InternetEndpoint(htons(port), "127.0.0.1"));
    return run.waitFor([&] { return session.count(kFdConnect) == 1; }) && session.last(kFdConnect)->error == 0;
  }
  // The TlsFailure the handshake's outcome message reports.
  TlsFailure handshake(std::string_view host, const TlsSettings& settings) {
    EXPECT_EQ(channel.StartClient(host, settings), 0);
    const auto outcome = [&]() -> const test::Recorded* {
      const auto found = std::find_if(session.seen.begin(), session.seen.end(),
                                      [](const test::Recorded& r) { return r.id == kTlsHandshakeMessage; });
      return found != session.seen.end() ? &*found : nullptr;
    };
    EXPECT_TRUE(run.waitFor([&] { return outcome() != nullptr; }));
    return outcome() != nullptr ? static_cast<TlsFailure>(outcome()->event) : TlsFailure::kNone;
  }
  // Receives once, then once more on each read event alone, `room` bytes
  // at a time, until the text ends with `end` (or no event comes for 5 s).
  std::string receiveUntil(std::string_view end, int room = 4096) {
    std::string text;
    std::vector<char> buffer(static_cast<std::size_t>(room));
    for (;;) {
      const int before = session.count(kFdRead);
      int size = room;
      EXPECT_EQ(channel.Receive(buffer.data(), size), 0);
      text.append(buffer.data(), static_cast<std::size_t>(size));
      if (text.ends_with(end) || !run.waitFor([&] { return session.count(kFdRead) > before; })) {
        return text;
      }
    }
  }
  void sendAll(std::string_view text) {
    int size = static_cast<int>(text.size());
    EXPECT_EQ(channel.Send(text.data(), size), 0);
    EXPECT_EQ(size, static_cast<int>(text.size()));
  }

  LoopRunner run;
  SocketManager sockets{run.loop, 1, 1, 1};
  Recorder session{run.loop};
  StreamSocket socket{sockets, InternetEndpoint(), 2, 1, 0};
  TlsChannel channel{socket};
};

TEST(TlsSettingsTest, PinText) {
  const std::string digits(64, 'a');
  EXPECT_TRUE(ParseTlsPin(digits));
  std::string withColons = digits;
  withColons.replace(0, 2, "AA:");
  EXPECT_TRUE(ParseTlsPin(withColons));
  EXPECT_FALSE(ParseTlsPin(digits.substr(1)));
  EXPECT_FALSE(ParseTlsPin(std::string(digits).append("a")));
  EXPECT_FALSE(ParseTlsPin(std::string("g").append(digits, 1)));
  EXPECT_NE(CheckTlsSettings({true, "/nonexistent/ca.pem", ""}), "");
}

// Would-block both ways: a megabyte sent while the server does not read, and
// a long reply received in small pieces on read events alone.
TEST(TlsChannelTest, LoopbackTransfersObeyTheEvents) {
  TlsClient client;
  LoopbackListener listener;
  TinyTlsServer server(client.run.loop, -1, 30);
  ASSERT_TRUE(client.connect(listener.port()));
  server.accept(listener);
  fixBuffers(client.socket.handle());
  ASSERT_EQ(client.handshake("127.0.0.1", {false, "", server.fingerprint()}), TlsFailure::kNone);

  server.setReading(false);
  std::string data(1 << 20, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) {
    data[i] = static_cast<char>(i * 7 % 251);
  }
  std::size_t done = 0;
  bool blocked = false;
  while (done < data.size()) {
    int size = static_cast<int>(std::min<std::size_t>(65536, data.size() - done));
    const int asked = size;
    ASSERT_EQ(client.channel.Send(data.data() + done, size), 0);
    done += static_cast<std::size_t>(size);
    if (size < asked) {
      EXPECT_EQ(client.channel.lastError(), 10035);
      blocked = true;
      const int writes = client.session.count(kFdWrite);
      server.setReading(true);
      ASSERT_TRUE(client.run.waitFor([&] { return client.session.count(kFdWrite) > writes; }))
          << "a short send is followed by a write event";
    }
  }
  EXPECT_TRUE(blocked);
  ASSERT_TRUE(client.run.waitFor([&] { return server.received.size() == data.size(); }));
  EXPECT_TRUE(server.received == data);

  const std::string reply = std::string(200000, 'r') + "\r\n";
  server.send(reply);
  const std::string got = client.receiveUntil("\r\n", 1000);
  EXPECT_EQ(got.size(), reply.size());
  EXPECT_TRUE(got == reply);
}

// Records are gathered and sent many at a time: whatever Send has taken
// reaches the server in order with no further call, also when the socket was
// full as Send returned, and however the text was cut into sends.
TEST(TlsChannelTest, GatheredRecordsAllArrive) {
  struct Case {
    std::size_t total;
    std::size_t piece;
    bool serverPaused;  // the server reads only once the client stops sending
  };
  const Case cases[] = {
      {100000, 100000, true},    // taken whole while the socket fills
      {3 << 20, 3 << 20, true},  // more than the channel gathers: a short send
      {1 << 20, 1000, true},     // many sends smaller than a record
      {1 << 20, 16385, false},   // one byte over a record
      {2 << 20, 262144, false},  // sends as large as the posting writes
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.total) + " in sends of " + std::to_string(c.piece));
    TlsClient client;
    LoopbackListener listener;
    TinyTlsServer server(client.run.loop, -1, 30);
    ASSERT_TRUE(client.connect(listener.port()));
    server.accept(listener);
    fixBuffers(client.socket.handle());
    ASSERT_EQ(client.handshake("127.0.0.1", {false, "", server.fingerprint()}), TlsFailure::kNone);
    server.setReading(!c.serverPaused);
    std::string data(c.total, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) {
      data[i] = static_cast<char>(i * 13 % 253);
    }
    std::size_t done = 0;
    while (done < data.size()) {
      int size = static_cast<int>(std::min(c.piece, data.size() - done));
      const int asked = size;
      ASSERT_EQ(client.channel.Send(data.data() + done, size), 0);
      done += static_cast<std::size_t>(size);
      if (size < asked) {
        const int writes = client.session.count(kFdWrite);
        server.setReading(true);
        ASSERT_TRUE(client.run.waitFor([&] { return client.session.count(kFdWrite) > writes; }));
      }
    }
    server.setReading(true);
    ASSERT_TRUE(client.run.waitFor([&] { return server.received.size() == data.size(); }))
        << server.received.size() << " bytes arrived";
    EXPECT_TRUE(server.received == data);
  }
}

TEST(TlsChannelTest, HandshakeFailuresNameTheReason) {
  test::TempDir dir;
  enum Server { kTls, kPlainText, kCloses };
  struct Case {
    const char* name;
    long fromDays, toDays;
    Server server;
    TlsFailure expected;
  };
  const Case cases[] = {
      {"expired", -30, -1, kTls, TlsFailure::kExpired},
      {"not yet valid", 1, 30, kTls, TlsFailure::kNotYetValid},
      {"not a TLS server", -1, 30, kPlainText, TlsFailure::kHandshake},
      {"closed at once", -1, 30, kCloses, TlsFailure::kConnectionLost},
  };
  for (const Case& c : cases) {
    TlsClient client;
    LoopbackListener listener;
    TinyTlsServer server(client.run.loop, c.fromDays, c.toDays);
    ASSERT_TRUE(client.connect(listener.port())) << c.name;
    if (c.server == kTls) {
      server.accept(listener);
    } else {
      const int fd = listener.accept();
      if (c.server == kPlainText) {
        test::writeAll(fd, "200 news.example.com ready\r\n");
      }
      ::close(fd);
    }
    EXPECT_EQ(client.handshake("127.0.0.1", {true, server.pemFile(dir), ""}), c.expected)
        << c.name << ": " << client.channel.failureText();
    EXPECT_EQ(client.channel.failure(), c.expected) << c.name;
    EXPECT_FALSE(client.channel.failureText().empty()) << c.name;
  }
}

// Against the local INN (scripts/inn-start): NNTPS on 563, STARTTLS on 119.
bool innServesTls() {
  TlsClient probe;
  return ::access(kInnTestCa, R_OK) == 0 && probe.connect(563);
}

TEST(InnTlsTest, NntpsGreetingAndQuit) {
  if (!innServesTls()) {
    GTEST_SKIP() << "no NNTPS on 127.0.0.1:563 or no " << kInnTestCa << "; start it with scripts/inn-start";
  }
  TlsClient client;
  ASSERT_TRUE(client.connect(563));
  ASSERT_EQ(client.handshake("127.0.0.1", {true, kInnTestCa, ""}), TlsFailure::kNone) << client.channel.failureText();
  EXPECT_NE(client.channel.Description(), "");
  EXPECT_TRUE(client.receiveUntil("\r\n").starts_with("200 "));
  client.sendAll("QUIT\r\n");
  EXPECT_TRUE(client.receiveUntil("\r\n").starts_with("205 "));
  EXPECT_EQ(client.channel.Shutdown(), 0);
}

TEST(InnTlsTest, StartTlsOnThePlainPort) {
  if (!innServesTls()) {
    GTEST_SKIP() << "no NNTPS on 127.0.0.1:563 or no " << kInnTestCa << "; start it with scripts/inn-start";
  }
  TlsClient client;
  ASSERT_TRUE(client.connect(119));
  const auto plainLine = [&] {
    const int before = client.session.count(kFdRead);
    EXPECT_TRUE(client.run.waitFor([&] { return client.session.count(kFdRead) > before; }));
    char buffer[512];
    int size = sizeof buffer;
    client.socket.Receive(buffer, size);
    return std::string(buffer, static_cast<std::size_t>(size));
  };
  ASSERT_TRUE(plainLine().starts_with("200 "));
  int size = 10;
  ASSERT_EQ(client.socket.Send("STARTTLS\r\n", size), 0);
  ASSERT_TRUE(plainLine().starts_with("382 "));
  ASSERT_EQ(client.handshake("localhost", {true, kInnTestCa, ""}), TlsFailure::kNone) << client.channel.failureText();
  client.sendAll("DATE\r\n");
  EXPECT_TRUE(client.receiveUntil("\r\n").starts_with("111 "));
  client.sendAll("QUIT\r\n");
  EXPECT_TRUE(client.receiveUntil("\r\n").starts_with("205 "));
}

TEST(InnTlsTest, VerificationAndPin) {
  if (!innServesTls()) {
    GTEST_SKIP() << "no NNTPS on 127.0.0.1:563 or no " << kInnTestCa << "; start it with scripts/inn-start";
  }
  std::string pin;
  {
    TlsClient client;
    ASSERT_TRUE(client.connect(563));
    ASSERT_EQ(client.handshake("127.0.0.1", {true, kInnTestCa, ""}), TlsFailure::kNone);
    pin = client.channel.peerFingerprint();
  }
  std::transform(pin.begin(), pin.end(), pin.begin(), [](char c) { return static_cast<char>(std::tolower(c)); });
  const std::string otherPin(64, '0');
  struct Case {
    const char* host;
    TlsSettings settings;
    TlsFailure expected;
  };
  const Case cases[] = {
      {"news.example.com", {true, kInnTestCa, ""}, TlsFailure::kWrongHost},
      {"127.0.0.1", {true, "", ""}, TlsFailure::kUnknownIssuer},
      {"localhost", {true, kInnTestCa, pin}, TlsFailure::kNone},
      {"127.0.0.1", {true, kInnTestCa, otherPin}, TlsFailure::kPinMismatch},
      {"news.example.com", {false, "", pin}, TlsFailure::kNone},
      {"127.0.0.1", {false, "", otherPin}, TlsFailure::kPinMismatch},
  };
  for (const Case& c : cases) {
    TlsClient client;
    ASSERT_TRUE(client.connect(563));
    EXPECT_EQ(client.handshake(c.host, c.settings), c.expected)
        << c.host << " " << c.settings.pin << ": " << client.channel.failureText();
    if (c.expected == TlsFailure::kWrongHost) {
      EXPECT_NE(client.channel.failureText().find(c.host), std::string::npos) << client.channel.failureText();
    }
  }
}

}  // namespace
}  // namespace tidewell
