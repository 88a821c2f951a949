// A news server that only acknowledges, for measuring posters: it greets
// with 200, answers the commands a poster sends before posting, reads each
// article to its final dot and answers 240, and stores nothing. One thread
// per connection, blocking sockets, on loopback; plain and implicit TLS.
//
//   sink [--port P] [--tls-port P --cert PEM --key PEM] [--rate-log FILE]
//
// Port 0 (the default) takes a free port; the ports listened on are printed
// as "plain PORT" and "tls PORT" before the sink serves. It runs until
// killed. With --rate-log, every 100 ms a line "MS BYTES" goes to FILE: the
// milliseconds since the sink started and the bytes read so far over all
// connections (bench/rate-cap measures a bandwidth cap with it).
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

namespace {

std::atomic<std::int64_t> received{0};

constexpr std::size_t kReadBuffer = 1 << 20;
constexpr std::string_view kEnd = "\r\n.\r\n";

struct SslFree {
  void operator()(SSL* ssl) const { SSL_free(ssl); }
  void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};

// One client connection: plain or TLS reads and writes.
class Connection {
 public:
  Connection(int fd, SSL_CTX* context) : fd_(fd) {
    if (context != nullptr) {
      ssl_.reset(SSL_new(context));
      if (ssl_ == nullptr || SSL_set_fd(ssl_.get(), fd) != 1 || SSL_accept(ssl_.get()) != 1) {
        failed_ = true;
      }
    }
  }
  ~Connection() {
    if (ssl_ != nullptr && !failed_) {
      SSL_shutdown(ssl_.get());
    }
    ssl_.reset();
    close(fd_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  [[nodiscard]] bool failed() const { return failed_; }

  long read(char* buffer, std::size_t room) {
    if (ssl_ != nullptr) {
      const int got = SSL_read(ssl_.get(), buffer, static_cast<int>(room));
      return got > 0 ? got : -1;
    }
    const ssize_t got = ::recv(fd_, buffer, room, 0);
    return got > 0 ? got : -1;
  }

  bool write(std::string_view text) {
    while (!text.empty()) {
      long sent = 0;
      if (ssl_ != nullptr) {
        sent = SSL_write(ssl_.get(), text.data(), static_cast<int>(text.size()));
      } else {
        sent = ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL);
      }
      if (sent <= 0) {
        return false;
      }
      text.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
  }

 private:
  int fd_;
  std::unique_ptr<SSL, SslFree> ssl_;
  bool failed_ = false;
};

bool startsWith(std::string_view line, std::string_view word) {
  if (line.size() < word.size()) {
    return false;
  }
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(line[i])) != word[i]) {
      return false;
    }
  }
  return true;
}

// The reply to one command line (without its CRLF); empty: close after QUIT.
std::string replyTo(std::string_view line, bool& article, bool& quit) {
  if (startsWith(line, "POST")) {
    article = true;
    return "340 send article\r\n";
  }
  if (startsWith(line, "AUTHINFO USER")) {
    return "381 password please\r\n";
  }
  if (startsWith(line, "AUTHINFO PASS")) {
    return "281 welcome\r\n";
  }
  if (startsWith(line, "MODE READER")) {
    return "200 posting allowed\r\n";
  }
  if (startsWith(line, "STAT")) {
    return "430 no such article\r\n";
  }
  if (startsWith(line, "GROUP")) {
    return "211 0 0 0 group selected\r\n";
  }
  if (startsWith(line, "DATE")) {
    return "111 20260101000000\r\n";
  }
  if (startsWith(line, "CAPABILITIES")) {
    return "101 capabilities\r\nVERSION 2\r\nREADER\r\nPOST\r\nAUTHINFO USER\r\n.\r\n";
  }
  if (startsWith(line, "LIST")) {
    return "215 list follows\r\n.\r\n";
  }
  if (startsWith(line, "QUIT")) {
    quit = true;
    return "205 bye\r\n";
  }
  return "500 unknown command\r\n";
}

void serve(int fd, SSL_CTX* context) {
  Connection connection(fd, context);
  if (connection.failed() || !connection.write("200 sink ready, posting allowed\r\n")) {
    return;
  }
  const std::unique_ptr<char[]> buffer(new char[kReadBuffer]);
  std::string command;
  bool article = false;
  bool quit = false;
  // The last bytes of the article read so far, for a terminator that spans
  // two reads; an article begins as if after a line end.
  std::array<char, 4> tail{'x', 'x', '\r', '\n'};
  for (;;) {
    const long got = connection.read(buffer.get(), kReadBuffer);
    if (got <= 0) {
      return;
    }
    received += got;
    std::string_view rest(buffer.get(), static_cast<std::size_t>(got));
    while (!rest.empty()) {
      if (article) {
        // A terminator across the boundary: the tail and the first bytes.
        std::array<char, 8> joint{};
        const std::size_t head = std::min<std::size_t>(4, rest.size());
        std::memcpy(joint.data(), tail.data(), 4);
        std::memcpy(joint.data() + 4, rest.data(), head);
        std::size_t end = std::string_view::npos;
        const std::size_t across = std::string_view(joint.data(), 4 + head).find(kEnd);
        if (across != std::string_view::npos) {
          end = across + kEnd.size() - 4;
        } else {
          const void* found = memmem(rest.data(), rest.size(), kEnd.data(), kEnd.size());
          if (found != nullptr) {
            end = static_cast<std::size_t>(static_cast<const char*>(found) - rest.data()) + kEnd.size();
          }
        }
        if (end == std::string_view::npos) {
          if (rest.size() >= 4) {
            std::memcpy(tail.data(), rest.data() + rest.size() - 4, 4);
          } else {
            std::memmove(tail.data(), tail.data() + rest.size(), 4 - rest.size());
            std::memcpy(tail.data() + 4 - rest.size(), rest.data(), rest.size());
          }
          break;
        }
        rest.remove_prefix(end);
        article = false;
        tail = {'x', 'x', '\r', '\n'};
        if (!connection.write("240 article received\r\n")) {
          return;
        }
        continue;
      }
      const std::size_t newline = rest.find('\n');
      if (newline == std::string_view::npos) {
        command.append(rest);
        break;
      }
      command.append(rest.substr(0, newline));
      rest.remove_prefix(newline + 1);
      if (!command.empty() && command.back() == '\r') {
        command.pop_back();
      }
      const std::string reply = replyTo(command, article, quit);
      command.clear();
      if (!connection.write(reply) || quit) {
        return;
      }
    }
  }
}

int listenOn(int& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  socklen_t length = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 64) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    std::perror("sink: listen");
    std::exit(1);
  }
  port = ntohs(address.sin_port);
  return fd;
}

void acceptLoop(int listener, SSL_CTX* context) {
  for (;;) {
    const int fd = ::accept(listener, nullptr, nullptr);
    if (fd < 0) {
      continue;
    }
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    std::thread(serve, fd, context).detach();
  }
}

void logRate(std::FILE* file) {
  const auto start = std::chrono::steady_clock::now();
  for (auto next = start;;) {
    next += std::chrono::milliseconds(100);
    std::this_thread::sleep_until(next);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(next - start).count();
    std::fprintf(file, "%lld %lld\n", static_cast<long long>(ms), static_cast<long long>(received.load()));
    std::fflush(file);
  }
}

}  // namespace

int main(int argc, char** argv) {
  int port = 0;
  int tlsPort = -1;
  const char* cert = nullptr;
  const char* key = nullptr;
  const char* rateLog = nullptr;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string_view option = argv[i];
    if (option == "--port") {
      port = std::atoi(argv[i + 1]);
    } else if (option == "--tls-port") {
      tlsPort = std::atoi(argv[i + 1]);
    } else if (option == "--cert") {
      cert = argv[i + 1];
    } else if (option == "--key") {
      key = argv[i + 1];
    } else if (option == "--rate-log") {
      rateLog = argv[i + 1];
    } else {
      std::fprintf(stderr, "usage: sink [--port P] [--tls-port P --cert PEM --key PEM] [--rate-log FILE]\n");
      return 2;
    }
  }
  std::unique_ptr<SSL_CTX, SslFree> context;
  if (tlsPort >= 0) {
    context.reset(SSL_CTX_new(TLS_server_method()));
    if (context == nullptr || cert == nullptr || key == nullptr ||
        SSL_CTX_use_certificate_chain_file(context.get(), cert) != 1 ||
        SSL_CTX_use_PrivateKey_file(context.get(), key, SSL_FILETYPE_PEM) != 1) {
      std::fprintf(stderr, "sink: the TLS port needs --cert and --key\n");
      ERR_print_errors_fp(stderr);
      return 1;
    }
  }
  if (rateLog != nullptr) {
    std::FILE* file = std::fopen(rateLog, "w");
    if (file == nullptr) {
      std::perror("sink: --rate-log");
      return 1;
    }
    std::thread(logRate, file).detach();
  }
  const int plain = listenOn(port);
  std::printf("plain %d\n", port);
  if (context != nullptr) {
    const int secure = listenOn(tlsPort);
    std::printf("tls %d\n", tlsPort);
    std::thread(acceptLoop, secure, context.get()).detach();
  }
  std::fflush(stdout);
  acceptLoop(plain, nullptr);
}
