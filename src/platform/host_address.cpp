#include "platform/host_address.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/winsock_types.h"

namespace tidewell {

namespace {

bool sameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return (x | 0x20) == (y | 0x20); });
}

std::optional<std::uint16_t> portNumber(std::string_view text) {
  if (text.empty() || text.size() > 5 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  const int port = std::stoi(std::string(text));
  if (port < 1 || port > 65535) {
    return std::nullopt;
  }
  return static_cast<std::uint16_t>(port);
}

bool readIpv6(const std::string& text, std::array<std::uint8_t, 16>& out) {
  in6_addr address{};
  if (inet_pton(AF_INET6, text.c_str(), &address) != 1) {
    return false;
  }
  std::memcpy(out.data(), &address, 16);
  return true;
}

// "<before>"<text>"<after>", built by appending (a chain of + trips a
// false overlap warning of GCC 12).
HostAddressResult refuse(std::string_view before, std::string_view text, std::string_view after) {
  std::string problem(before);
  problem.append(1, '"').append(text).append(1, '"').append(after);
  return HostAddressResult{std::nullopt, std::move(problem)};
}

}  // namespace

HostAddressResult parseHostAddress(std::string_view text) {
  HostAddress result;
  std::string_view hostPart = text;
  std::optional<std::string_view> portPart;
  if (text.empty()) {
    return HostAddressResult{std::nullopt, "The news server HOST has not been specified."};
  }
  if (text.front() == '[') {
    const auto close = text.find(']');
    if (close == std::string_view::npos) {
      return refuse("The HOST ", text, " has no closing bracket.");
    }
    hostPart = text.substr(1, close - 1);
    const std::string_view rest = text.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') {
        return refuse("The HOST ", text, " has text after its closing bracket that is not :port.");
      }
      portPart = rest.substr(1);
    }
    result.host = std::string(hostPart);
    if (!readIpv6(result.host, result.address)) {
      return refuse("The HOST ", text, " is not a valid IPv6 address in brackets.");
    }
    result.family = kAfInet6;
  } else if (std::count(text.begin(), text.end(), ':') >= 2) {
    result.host = std::string(text);
    if (!readIpv6(result.host, result.address)) {
      return refuse("The HOST ", text,
                    " is not a valid IPv6 address (an IPv6 address with a port is written [address]:port).");
    }
    result.family = kAfInet6;
  } else {
    if (const auto colon = text.find(':'); colon != std::string_view::npos) {
      hostPart = text.substr(0, colon);
      portPart = text.substr(colon + 1);
    }
    result.host = std::string(hostPart);
    if (result.host.empty()) {
      return refuse("The HOST ", text, " has no name or address before its port.");
    }
    if (result.host.find_first_not_of("0123456789.") == std::string::npos) {
      // The forms inet_aton reads, as the IPv4 path always has: "127.1" is 127.0.0.1.
      in_addr address{};
      if (inet_aton(result.host.c_str(), &address) == 0) {
        return refuse("The HOST ", text, " is not a valid IPv4 address (four numbers from 0 to 255).");
      }
      result.family = kAfInet;
      result.address[10] = 0xFF;
      result.address[11] = 0xFF;
      std::memcpy(result.address.data() + 12, &address, 4);
    }
  }
  if (portPart) {
    result.port = portNumber(*portPart);
    if (!result.port) {
      return refuse("The port in the HOST ", text, " must be a number from 1 to 65535.");
    }
  }
  return HostAddressResult{std::move(result), ""};
}

ProxyAddressResult parseProxyAddress(std::string_view text) {
  constexpr std::string_view kScheme = "socks5://";
  const auto refuse = [](std::string problem) { return ProxyAddressResult{std::nullopt, std::move(problem)}; };
  if (text.size() < kScheme.size() || text.substr(0, kScheme.size()) != kScheme) {
    return refuse("The PROXY must begin with socks5:// (socks5://[user:password@]host:port).");
  }
  std::string_view rest = text.substr(kScheme.size());
  ProxyAddress proxy;
  if (const auto at = rest.rfind('@'); at != std::string_view::npos) {
    const std::string_view login = rest.substr(0, at);
    const auto colon = login.find(':');
    if (colon == std::string_view::npos || colon == 0) {
      return refuse("The PROXY login must be user:password before the @.");
    }
    proxy.user = std::string(login.substr(0, colon));
    proxy.password = std::string(login.substr(colon + 1));
    if (proxy.user.size() > 255 || proxy.password.size() > 255) {
      return refuse("The PROXY user name and password may have at most 255 characters each.");
    }
    rest = rest.substr(at + 1);
  }
  const HostAddressResult host = parseHostAddress(rest);
  if (!host.value) {
    return refuse("The PROXY address is wrong: " + host.problem);
  }
  if (!host.value->port) {
    return refuse("The PROXY needs a port: socks5://host:port.");
  }
  proxy.host = host.value->host;
  proxy.port = *host.value->port;
  return ProxyAddressResult{std::move(proxy), ""};
}

namespace {

constexpr std::string_view kProxyMask = "********";

// Where a Proxy value's password stands (from the user name's colon, or the
// whole login without one, up to the last @); nothing when it has no login.
std::optional<std::pair<std::size_t, std::size_t>> proxyPasswordSpan(std::string_view text) {
  const std::size_t scheme = text.find("://");
  const std::size_t start = scheme == std::string_view::npos ? 0 : scheme + 3;
  const std::size_t at = text.rfind('@');
  if (at == std::string_view::npos || at < start) {
    return std::nullopt;
  }
  const std::size_t colon = text.find(':', start);
  return std::pair{colon != std::string_view::npos && colon < at ? colon + 1 : start, at};
}

std::string withPasswordPart(std::string_view text, std::pair<std::size_t, std::size_t> span,
                             std::string_view password) {
  std::string result(text.substr(0, span.first));
  result += password;
  result += text.substr(span.second);
  return result;
}

}  // namespace

std::string maskedProxyText(std::string_view text) {
  const auto span = proxyPasswordSpan(text);
  return span ? withPasswordPart(text, *span, kProxyMask) : std::string(text);
}

std::string unmaskedProxyText(std::string_view entered, std::string_view stored) {
  const auto shown = proxyPasswordSpan(entered);
  const auto kept = proxyPasswordSpan(stored);
  if (!shown || !kept || entered.substr(shown->first, shown->second - shown->first) != kProxyMask) {
    return std::string(entered);
  }
  return withPasswordPart(entered, *shown, stored.substr(kept->first, kept->second - kept->first));
}

std::optional<int> addressFamilyChoice(std::string_view text) {
  if (sameIgnoringCase(text, "Any")) {
    return kAfUnspec;
  }
  if (sameIgnoringCase(text, "IPv4")) {
    return kAfInet;
  }
  if (sameIgnoringCase(text, "IPv6")) {
    return kAfInet6;
  }
  return std::nullopt;
}

std::string socketAddressText(const void* address) {
  std::uint16_t family = 0;
  std::memcpy(&family, address, sizeof family);
  char text[INET6_ADDRSTRLEN] = {};
  std::uint16_t port = 0;
  if (family == kAfInet6) {
    sockaddr_in6 in6{};
    std::memcpy(&in6, address, sizeof in6);
    inet_ntop(AF_INET6, &in6.sin6_addr, text, sizeof text);
    std::string out("[");
    out.append(text).append("]:").append(std::to_string(ntohs(in6.sin6_port)));
    return out;
  }
  sockaddr_in in{};
  std::memcpy(&in, address, sizeof in);
  inet_ntop(AF_INET, &in.sin_addr, text, sizeof text);
  port = ntohs(in.sin_port);
  std::string out(text);
  out.append(1, ':').append(std::to_string(port));
  return out;
}

}  // namespace tidewell
