#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/host_record.h"

namespace tidewell {

// The look-ups themselves, blocking and thread-safe: they touch nothing but
// their arguments and results, so the look-up workers can run them. The
// error is a Winsock code (11001 host not found, 11002 try again, 11004 no
// data, ...), 0 on success.
struct HostOutcome {
  int error = 0;
  HostData host;
};
struct ServiceOutcome {
  int error = 0;
  ServiceData service;
};

// IPv4 addresses of a name (getaddrinfo), the canonical name as the record's
// name and the name asked for as an alias when they differ.
[[nodiscard]] HostOutcome resolveHostByName(const std::string& name);
// The addresses of a name in both families, IPv6 and IPv4 (AAAA and A
// records) asked for together, in the system's order of preference: the
// record is type 23 with 16-byte addresses, IPv4 ones IPv4-mapped. `family`
// kAfUnspec takes both, kAfInet or kAfInet6 one of them.
[[nodiscard]] HostOutcome resolveHostAddresses(const std::string& name, int family);
// The name of an IPv4 address (getnameinfo, a name required).
[[nodiscard]] HostOutcome resolveHostByAddress(const std::array<std::uint8_t, 4>& address);
// A service by name or by port (network byte order); no protocol: any.
[[nodiscard]] ServiceOutcome resolveServiceByName(const std::string& name, const std::optional<std::string>& protocol);
[[nodiscard]] ServiceOutcome resolveServiceByPort(std::uint16_t port, const std::optional<std::string>& protocol);

}  // namespace tidewell
