#include "support/nntp_server_double.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <strings.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <deque>
#include <map>
#include <stdexcept>

namespace tidewell::test {

Response Response::reply(std::string text) {
  if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) {
    text += "\r\n";
  }
  return Response{{std::move(text)}, 0, Ending::KeepOpen};
}

Response Response::inPieces(std::vector<std::string> pieces, std::int64_t delayMs) {
  return Response{std::move(pieces), delayMs, Ending::KeepOpen};
}

Response Response::silence() {
  return Response{};
}

Response Response::close(std::string lastWords) {
  Response response = lastWords.empty() ? Response{} : reply(std::move(lastWords));
  response.ending = Ending::Close;
  return response;
}

Response Response::stopReading() {
  Response response;
  response.ending = Ending::StopReading;
  return response;
}

Response Response::reset(std::string lastWords) {
  Response response = lastWords.empty() ? Response{} : reply(std::move(lastWords));
  response.ending = Ending::Reset;
  return response;
}

namespace {

constexpr std::size_t kReadSize = 65536;

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

// 127.a.b.c with every byte in 1..254 and a >= 2, so never 127.0.0.1 (INN)
// nor a network or broadcast-looking address. The process id spreads
// parallel test programs over about 16 million addresses.
std::string loopbackAddressFor(std::uint64_t slot) {
  slot %= 250ULL * 254 * 254;
  const auto a = 2 + slot / (254 * 254);
  const auto b = 1 + (slot / 254) % 254;
  const auto c = 1 + slot % 254;
  return "127." + std::to_string(a) + "." + std::to_string(b) + "." + std::to_string(c);
}

std::atomic<std::uint64_t> addressCounter{0};

}  // namespace

class NntpServerDouble::Impl {
 public:
  explicit Impl(MessageLoop& loop) : loop_(loop) {
    target_ = loop_.createTarget([this](const Message& m) {
      if (m.id == kTimerMessage) onTimer(static_cast<std::size_t>(m.wParam) - 1);
    });
    for (int attempt = 0; attempt < 64; ++attempt) {
      const std::uint64_t slot = static_cast<std::uint64_t>(getpid()) * 256 + addressCounter++;
      address_ = loopbackAddressFor(slot);
      if (openListener() || bindError_ != EADDRINUSE) break;
    }
  }

  ~Impl() {
    while (!live_.empty()) drop(live_.begin()->first);
    closeListener();
    loop_.destroyTarget(target_);
  }
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  struct Rule {
    std::string prefix;
    std::size_t afterBytes = 0;
    Response response;
    int left = kAlways;
  };

  MessageLoop& loop_;
  TargetHandle target_ = kNoTarget;
  std::string address_;
  bool ipv6_ = false;
  std::uint16_t port6_ = 0;  // the port on ::1, kept when the listener opens again
  int listenFd_ = -1;
  int bindError_ = 0;
  int receiveBuffer_ = 0;  // SO_RCVBUF of new connections, 0: the system's
  std::vector<Rule> greetings_, commands_, articles_, cuts_;
  std::deque<Connection> records_;   // a deque keeps references stable
  std::vector<std::string> stored_;  // articles kept: answered 2xx, or not answered
  int forget_ = 0;                   // articles still to forget instead of keeping (kAlways: all)
  int forgetAfter_ = 0;              // articles to keep before forgetting

  // --- listener -------------------------------------------------------------
  bool openListener() {
    if (ipv6_) {
      return openIpv6Listener();
    }
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int one = 1;
    setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(kNntpPort);
    inet_pton(AF_INET, address_.c_str(), &sa.sin_addr);
    if (bind(listenFd_, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0 || listen(listenFd_, 16) != 0) {
      bindError_ = errno;
      ::close(listenFd_);
      listenFd_ = -1;
      return false;
    }
    bindError_ = 0;
    loop_.watch(listenFd_, EPOLLIN, [this](std::uint32_t) { acceptAll(); });
    return true;
  }

  bool openIpv6Listener() {
    listenFd_ = socket(AF_INET6, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int one = 1;
    setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    setsockopt(listenFd_, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
    sockaddr_in6 sa{};
    sa.sin6_family = AF_INET6;
    sa.sin6_port = htons(port6_);
    sa.sin6_addr = in6addr_loopback;
    socklen_t length = sizeof sa;
    if (bind(listenFd_, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0 || listen(listenFd_, 16) != 0 ||
        getsockname(listenFd_, reinterpret_cast<sockaddr*>(&sa), &length) != 0) {
      bindError_ = errno;
      ::close(listenFd_);
      listenFd_ = -1;
      return false;
    }
    bindError_ = 0;
    port6_ = ntohs(sa.sin6_port);
    address_ = "[::1]:" + std::to_string(port6_);
    loop_.watch(listenFd_, EPOLLIN, [this](std::uint32_t) { acceptAll(); });
    return true;
  }

  void closeListener() {
    if (listenFd_ < 0) return;
    loop_.unwatch(listenFd_);
    ::close(listenFd_);
    listenFd_ = -1;
  }

  // --- connections ----------------------------------------------------------
  enum class Kind { Data, Close, Reset, StopReading };
  struct Outgoing {
    Kind kind;
    std::string bytes;
    std::int64_t delayMs;
  };
  struct Live {
    int fd = -1;
    std::string inbox;  // received; parsed up to inboxTaken
    std::size_t inboxTaken = 0;
    bool inArticle = false;
    bool cutDone = false;
    std::string article;
    std::size_t articleWireBytes = 0;
    std::deque<Outgoing> outbox;
    bool delayElapsed = false;
    bool waitingTimer = false;
    bool waitingWritable = false;
    bool deaf = false;  // reads nothing more (Response::stopReading)
  };
  std::map<std::size_t, Live> live_;  // by record index

  void acceptAll() {
    for (;;) {
      const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) return;
      const int one = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      if (receiveBuffer_ > 0) {
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer_, sizeof receiveBuffer_);
      }
      const std::size_t index = records_.size();
      records_.emplace_back();
      live_[index].fd = fd;
      loop_.watch(fd, EPOLLIN, [this, index](std::uint32_t events) { onReady(index, events); });
      respond(index, pick(greetings_, "", Response::reply("200 tidewell test server ready (posting ok)")));
    }
  }

  bool alive(std::size_t index) const { return live_.count(index) != 0; }

  void drop(std::size_t index, bool byClient = false) {
    const auto it = live_.find(index);
    if (it == live_.end()) return;
    loop_.unwatch(it->second.fd);
    loop_.killTimer(target_, static_cast<unsigned>(index + 1));
    ::close(it->second.fd);
    live_.erase(it);
    records_[index].open = false;
    records_[index].closedByClient = byClient;
  }

  // Reads what is there; false when the client closed or reset.
  bool drain(std::size_t index) {
    Live& conn = live_.at(index);
    char buffer[kReadSize];
    for (;;) {
      const ssize_t got = recv(conn.fd, buffer, sizeof buffer, 0);
      if (got > 0) {
        records_[index].received.append(buffer, static_cast<std::size_t>(got));
        conn.inbox.append(buffer, static_cast<std::size_t>(got));
        continue;
      }
      return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
    }
  }

  void onReady(std::size_t index, std::uint32_t events) {
    if (!alive(index)) return;
    if ((events & EPOLLOUT) != 0) {
      live_.at(index).waitingWritable = false;
      loop_.rewatch(live_.at(index).fd, live_.at(index).deaf ? 0U : std::uint32_t{EPOLLIN});
      pump(index);
      if (!alive(index)) return;
    }
    if (live_.at(index).deaf) {
      if ((events & (EPOLLHUP | EPOLLERR)) != 0) drop(index, true);  // reported even when not asked for
      return;
    }
    if ((events & (EPOLLIN | EPOLLHUP | EPOLLERR)) != 0) {
      const bool open = drain(index);
      parse(index);
      if (!open) drop(index, true);
    }
  }

  void parse(std::size_t index) {
    while (alive(index)) {
      Live& conn = live_.at(index);
      if (conn.deaf) {
        return;  // what arrived before it stopped reading is not taken either
      }
      const std::size_t end = conn.inbox.find('\n', conn.inboxTaken);
      if (end == std::string::npos) {
        // Parsed lines go in one move, not one move per line: an article
        // of megabytes arrives in few reads and many lines.
        conn.inbox.erase(0, conn.inboxTaken);
        conn.inboxTaken = 0;
        return;
      }
      std::string line = conn.inbox.substr(conn.inboxTaken, end + 1 - conn.inboxTaken);
      conn.inboxTaken = end + 1;
      if (conn.inArticle) {
        articleLine(index, line);
        continue;
      }
      line.erase(line.find_last_not_of("\r\n") + 1);
      records_[index].commands.push_back(line);
      const bool asks = startsWithNoCase(line, "stat ") || startsWithNoCase(line, "head ");
      const Response response = pick(commands_, line, asks ? statReply(line) : defaultReply(line));
      std::string text;
      for (const auto& piece : response.pieces) text += piece;
      if (startsWithNoCase(line, "post") && text.compare(0, 3, "340") == 0) {
        conn.inArticle = true;
        conn.cutDone = false;
        conn.article.clear();
        conn.articleWireBytes = 0;
      }
      respond(index, response);
    }
  }

  void articleLine(std::size_t index, std::string_view line) {
    Live& conn = live_.at(index);
    conn.articleWireBytes += line.size();
    const bool last = line == ".\r\n" || line == ".\n";
    if (!last) {
      conn.article += line.substr(line.compare(0, 2, "..") == 0 ? 1 : 0);
    }
    if (!conn.cutDone) {
      for (auto& rule : cuts_) {
        if (rule.left != 0 && conn.articleWireBytes >= rule.afterBytes) {
          conn.cutDone = true;
          if (rule.left > 0) --rule.left;
          const Response response = rule.response;
          respond(index, response);
          break;
        }
      }
      if (!alive(index)) return;
    }
    if (last) {
      Live& still = live_.at(index);
      still.inArticle = false;
      const Response response = pick(articles_, "", Response::reply("240 article posted ok"));
      if (response.pieces.empty() || response.pieces.front().compare(0, 1, "2") == 0) {
        keep(still.article);
      }
      records_[index].articles.push_back(std::move(still.article));
      still.article.clear();
      respond(index, response);
    }
  }

  void keep(const std::string& article) {
    if (forgetAfter_ > 0) {
      --forgetAfter_;
    } else if (forget_ != 0) {
      if (forget_ > 0) --forget_;
      return;
    }
    stored_.push_back(article);
  }

  // STAT or HEAD: 223, or 221 with the header block.
  Response statReply(std::string_view line) const {
    const std::string id(line.substr(line.find(' ') + 1));
    for (const std::string& article : stored_) {
      const std::size_t header = article.find("\nMessage-ID: " + id + "\r\n");
      const std::size_t end = article.find("\r\n\r\n");
      if (header != std::string::npos && header < end) {
        return Response::reply(startsWithNoCase(line, "stat ")
                                   ? "223 0 " + id
                                   : "221 0 " + id + "\r\n" + article.substr(0, end + 2) + ".");
      }
    }
    return Response::reply("430 No such article");
  }

  static Response defaultReply(std::string_view line) {
    if (startsWithNoCase(line, "authinfo user")) return Response::reply("381 PASS required");
    if (startsWithNoCase(line, "authinfo pass")) return Response::reply("281 Authentication accepted");
    if (startsWithNoCase(line, "mode reader")) return Response::reply("200 tidewell test server (posting ok)");
    if (startsWithNoCase(line, "post")) return Response::reply("340 Send article, end with <CR-LF>.<CR-LF>");
    if (startsWithNoCase(line, "quit")) return Response::close("205 Bye");
    return Response::reply("500 What?");
  }

  static Response pick(std::vector<Rule>& rules, std::string_view line, Response fallback) {
    for (auto& rule : rules) {
      if (rule.left != 0 && startsWithNoCase(line, rule.prefix)) {
        if (rule.left > 0) --rule.left;
        return rule.response;
      }
    }
    return fallback;
  }

  // --- sending --------------------------------------------------------------
  void respond(std::size_t index, const Response& response) {
    if (!alive(index)) return;
    Live& conn = live_.at(index);
    for (std::size_t i = 0; i < response.pieces.size(); ++i) {
      conn.outbox.push_back({Kind::Data, response.pieces[i], i == 0 ? 0 : response.pieceDelayMs});
    }
    switch (response.ending) {
      case Response::Ending::KeepOpen:
        break;
      case Response::Ending::Close:
        conn.outbox.push_back({Kind::Close, {}, 0});
        break;
      case Response::Ending::Reset:
        conn.outbox.push_back({Kind::Reset, {}, 0});
        break;
      case Response::Ending::StopReading:
        conn.outbox.push_back({Kind::StopReading, {}, 0});
        break;
    }
    pump(index);
  }

  void pump(std::size_t index) {
    while (alive(index)) {
      Live& conn = live_.at(index);
      if (conn.outbox.empty() || conn.waitingTimer || conn.waitingWritable) return;
      Outgoing& next = conn.outbox.front();
      if (next.delayMs > 0 && !conn.delayElapsed) {
        conn.waitingTimer = true;
        loop_.setTimer(target_, static_cast<unsigned>(index + 1), next.delayMs);
        return;
      }
      conn.delayElapsed = false;
      if (next.kind == Kind::Reset) {
        const linger abortive{1, 0};
        setsockopt(conn.fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
        drop(index);
        return;
      }
      if (next.kind == Kind::StopReading) {
        conn.outbox.pop_front();
        conn.deaf = true;
        loop_.rewatch(conn.fd, conn.waitingWritable ? std::uint32_t{EPOLLOUT} : 0U);
        continue;
      }
      if (next.kind == Kind::Close) {
        // Unread input at close() would make the kernel send RST: read it
        // first so this is an orderly FIN.
        drain(index);
        shutdown(conn.fd, SHUT_WR);
        drop(index);
        return;
      }
      const ssize_t sent = send(conn.fd, next.bytes.data(), next.bytes.size(), MSG_NOSIGNAL);
      if (sent < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
          conn.waitingWritable = true;
          loop_.rewatch(conn.fd, conn.deaf ? std::uint32_t{EPOLLOUT} : std::uint32_t{EPOLLIN | EPOLLOUT});
          return;
        }
        drop(index, true);
        return;
      }
      next.bytes.erase(0, static_cast<std::size_t>(sent));
      if (next.bytes.empty()) conn.outbox.pop_front();
    }
  }

  void onTimer(std::size_t index) {
    loop_.killTimer(target_, static_cast<unsigned>(index + 1));
    if (!alive(index)) return;
    live_.at(index).waitingTimer = false;
    live_.at(index).delayElapsed = true;
    pump(index);
  }
};

NntpServerDouble::NntpServerDouble(MessageLoop& loop) : impl_(std::make_unique<Impl>(loop)) {}
NntpServerDouble::~NntpServerDouble() = default;

bool NntpServerDouble::listenOnIpv6Loopback() {
  impl_->closeListener();
  impl_->ipv6_ = true;
  return impl_->openListener();
}
const std::string& NntpServerDouble::address() const {
  return impl_->address_;
}
bool NntpServerDouble::listening() const {
  return impl_->listenFd_ >= 0;
}
int NntpServerDouble::bindError() const {
  return impl_->bindError_;
}

void NntpServerDouble::onConnect(Response response, int times) {
  impl_->greetings_.push_back({"", 0, std::move(response), times});
}
void NntpServerDouble::onCommand(std::string prefix, Response response, int times) {
  impl_->commands_.push_back({std::move(prefix), 0, std::move(response), times});
}
void NntpServerDouble::onArticle(Response response, int times) {
  impl_->articles_.push_back({"", 0, std::move(response), times});
}
void NntpServerDouble::onArticleBytes(std::size_t afterBytes, Response response, int times) {
  impl_->cuts_.push_back({"", afterBytes, std::move(response), times});
}

void NntpServerDouble::forgetAccepted(int times, int skip) {
  impl_->forget_ = times;
  impl_->forgetAfter_ = skip;
}

void NntpServerDouble::refuseConnections(bool refuse) {
  if (refuse) {
    impl_->closeListener();
  } else if (impl_->listenFd_ < 0) {
    impl_->openListener();
  }
}

void NntpServerDouble::act(const Response& response) {
  if (!impl_->live_.empty()) impl_->respond(impl_->live_.rbegin()->first, response);
}

void NntpServerDouble::limitReceiveBuffer(int bytes) {
  impl_->receiveBuffer_ = bytes;
  if (impl_->listenFd_ >= 0) {
    // Set on the listener too, so the window is small from the handshake on.
    setsockopt(impl_->listenFd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
  }
}

std::size_t NntpServerDouble::connectionCount() const {
  return impl_->records_.size();
}
std::size_t NntpServerDouble::openConnections() const {
  return impl_->live_.size();
}

const NntpServerDouble::Connection& NntpServerDouble::connection(std::size_t index) const {
  if (index >= impl_->records_.size()) throw std::out_of_range("no such connection");
  return impl_->records_[index];
}

std::string NntpServerDouble::received() const {
  std::string all;
  for (const auto& record : impl_->records_) all += record.received;
  return all;
}

std::vector<std::string> NntpServerDouble::commands() const {
  std::vector<std::string> all;
  for (const auto& record : impl_->records_) all.insert(all.end(), record.commands.begin(), record.commands.end());
  return all;
}

std::vector<std::string> NntpServerDouble::storedArticles() const {
  return impl_->stored_;
}

std::vector<std::string> NntpServerDouble::articles() const {
  std::vector<std::string> all;
  for (const auto& record : impl_->records_) all.insert(all.end(), record.articles.begin(), record.articles.end());
  return all;
}

}  // namespace tidewell::test
