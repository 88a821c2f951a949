#include "platform/host_resolve.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/winsock_errors.h"

namespace tidewell {

namespace {

// Longest host name a look-up accepts (DNS's limit).
constexpr std::size_t kMaxHostName = 255;

struct AddrInfoFree {
  void operator()(addrinfo* info) const { freeaddrinfo(info); }
};

// Looks `name` up for `family` (AF_INET, AF_INET6 or AF_UNSPEC) and fills in
// the outcome's name and aliases; on failure only its error, and no list.
std::unique_ptr<addrinfo, AddrInfoFree> lookUpName(const std::string& name, int family, HostOutcome& outcome) {
  if (name.empty() || name.size() > kMaxHostName || name.find('\0') != std::string::npos) {
    outcome.error = kWsaHostNotFound;
    return nullptr;
  }
  addrinfo hints{};
  hints.ai_family = family;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_CANONNAME;
  addrinfo* raw = nullptr;
  errno = 0;
  const int result = getaddrinfo(name.c_str(), nullptr, &hints, &raw);
  std::unique_ptr<addrinfo, AddrInfoFree> list(raw);
  if (result != 0) {
    outcome.error = winsockErrorFromLookup(result, errno);
    return nullptr;
  }
  outcome.host.name = (list->ai_canonname != nullptr && list->ai_canonname[0] != '\0') ? list->ai_canonname : name;
  if (outcome.host.name != name) {
    outcome.host.aliases.push_back(name);
  }
  return list;
}

ServiceOutcome fromServent(const servent* found) {
  ServiceOutcome outcome;
  if (found == nullptr) {
    outcome.error = kWsaNoData;
    return outcome;
  }
  outcome.service.name = found->s_name;
  for (char** alias = found->s_aliases; alias != nullptr && *alias != nullptr; ++alias) {
    outcome.service.aliases.emplace_back(*alias);
  }
  outcome.service.port = static_cast<std::uint16_t>(found->s_port);
  outcome.service.protocol = found->s_proto != nullptr ? found->s_proto : "";
  return outcome;
}

}  // namespace

HostOutcome resolveHostByName(const std::string& name) {
  HostOutcome outcome;
  const auto list = lookUpName(name, AF_INET, outcome);
  if (!list) {
    return outcome;
  }
  for (const addrinfo* info = list.get(); info != nullptr; info = info->ai_next) {
    if (info->ai_family != AF_INET || info->ai_addrlen < sizeof(sockaddr_in)) {
      continue;
    }
    sockaddr_in in{};
    std::memcpy(&in, info->ai_addr, sizeof in);
    std::array<std::uint8_t, 4> address{};
    std::memcpy(address.data(), &in.sin_addr.s_addr, 4);
    if (std::find(outcome.host.addresses.begin(), outcome.host.addresses.end(), address) ==
        outcome.host.addresses.end()) {
      outcome.host.addresses.push_back(address);
    }
  }
  if (outcome.host.addresses.empty()) {
    outcome.error = kWsaNoData;
  }
  return outcome;
}

HostOutcome resolveHostAddresses(const std::string& name, int family) {
  HostOutcome outcome;
  outcome.host.addressType = kAfInet6;
  const auto list =
      lookUpName(name, family == kAfInet ? AF_INET : (family == kAfInet6 ? AF_INET6 : AF_UNSPEC), outcome);
  if (!list) {
    return outcome;
  }
  for (const addrinfo* info = list.get(); info != nullptr; info = info->ai_next) {
    std::array<std::uint8_t, 16> address{};
    if (info->ai_family == AF_INET6 && info->ai_addrlen >= sizeof(sockaddr_in6)) {
      sockaddr_in6 in6{};
      std::memcpy(&in6, info->ai_addr, sizeof in6);
      std::memcpy(address.data(), &in6.sin6_addr, 16);
    } else if (info->ai_family == AF_INET && info->ai_addrlen >= sizeof(sockaddr_in)) {
      sockaddr_in in{};
      std::memcpy(&in, info->ai_addr, sizeof in);
      address[10] = 0xFF;
      address[11] = 0xFF;
      std::memcpy(address.data() + 12, &in.sin_addr.s_addr, 4);
    } else {
      continue;
    }
    auto& found = outcome.host.wideAddresses;
    if (std::find(found.begin(), found.end(), address) == found.end()) {
      found.push_back(address);
    }
  }
  if (outcome.host.wideAddresses.empty()) {
    outcome.error = kWsaNoData;
  }
  return outcome;
}

HostOutcome resolveHostByAddress(const std::array<std::uint8_t, 4>& address) {
  HostOutcome outcome;
  sockaddr_in in{};
  in.sin_family = AF_INET;
  std::memcpy(&in.sin_addr.s_addr, address.data(), 4);
  char host[NI_MAXHOST] = {};
  errno = 0;
  const int result =
      getnameinfo(reinterpret_cast<const sockaddr*>(&in), sizeof in, host, sizeof host, nullptr, 0, NI_NAMEREQD);
  if (result != 0) {
    outcome.error = winsockErrorFromLookup(result, errno);
    return outcome;
  }
  outcome.host.name = host;
  outcome.host.addresses.push_back(address);
  return outcome;
}

ServiceOutcome resolveServiceByName(const std::string& name, const std::optional<std::string>& protocol) {
  servent entry{};
  servent* found = nullptr;
  std::vector<char> scratch(4096);
  getservbyname_r(name.c_str(), protocol ? protocol->c_str() : nullptr, &entry, scratch.data(), scratch.size(), &found);
  return fromServent(found);
}

ServiceOutcome resolveServiceByPort(std::uint16_t port, const std::optional<std::string>& protocol) {
  servent entry{};
  servent* found = nullptr;
  std::vector<char> scratch(4096);
  getservbyport_r(static_cast<int>(port), protocol ? protocol->c_str() : nullptr, &entry, scratch.data(),
                  scratch.size(), &found);
  return fromServent(found);
}

}  // namespace tidewell
