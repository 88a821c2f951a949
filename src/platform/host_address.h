#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tidewell {

// A server address as the user writes it: a host name, a dotted IPv4
// address or an IPv6 literal, the latter with or without brackets, and a
// port after a colon (after the closing bracket for IPv6: "[::1]:563").
struct HostAddress {
  std::string host;  // the name or address, without brackets
  // kAfInet for a dotted address, kAfInet6 for an IPv6 literal, kAfUnspec
  // for a name to look up.
  int family = 0;
  // An IPv6 literal's 16 bytes, or a dotted address's 4 bytes as
  // IPv4-mapped (::ffff:a.b.c.d); zero for a name.
  std::array<std::uint8_t, 16> address{};
  std::optional<std::uint16_t> port;  // host byte order, 1 to 65535
};

struct HostAddressResult {
  std::optional<HostAddress> value;
  std::string problem;  // names the fault when there is no value
};

// Reads a Host value; a malformed address is refused with a message that
// names the fault.
[[nodiscard]] HostAddressResult parseHostAddress(std::string_view text);

// The AddressFamily values Any, IPv4 and IPv6 (letter case ignored) as
// kAfUnspec, kAfInet and kAfInet6; nothing for any other text.
[[nodiscard]] std::optional<int> addressFamilyChoice(std::string_view text);

// A SOCKS5 proxy as the user writes it: socks5://[user:password@]host:port.
struct ProxyAddress {
  std::string host;  // name or address, without brackets
  std::uint16_t port = 0;
  std::string user;  // empty: no login
  std::string password;
};
struct ProxyAddressResult {
  std::optional<ProxyAddress> value;
  std::string problem;  // names the fault when there is no value
};
// The password never appears in a problem text.
[[nodiscard]] ProxyAddressResult parseProxyAddress(std::string_view text);
// A Proxy value fit to be shown or written to a report: the password of a
// login (everything between the user name's colon and the last @) becomes
// ********; a login without a colon is masked whole. Other text is kept.
[[nodiscard]] std::string maskedProxyText(std::string_view text);
// What a panel that showed maskedProxyText(stored) keeps when given
// `entered`: where the password still reads ********, the stored password
// (the rest of the value may have been changed); otherwise `entered`.
[[nodiscard]] std::string unmaskedProxyText(std::string_view entered, std::string_view stored);

// "[2001:db8::1]:119" or "192.0.2.1:119" for a socket address of either
// family (16 or 28 bytes, Winsock's family numbers).
[[nodiscard]] std::string socketAddressText(const void* address);

}  // namespace tidewell
