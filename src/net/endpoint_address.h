#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>

namespace tidewell {

// Dotted text to a 32-bit address in network byte order (inet_addr);
// 0xFFFFFFFF for text that is not a dotted address.
[[nodiscard]] std::uint32_t TextToAddress(std::string_view text);
// A 32-bit address (network byte order) as dotted text; the text lives in
// storage of the platform until the next call on this thread.
[[nodiscard]] const char* AddressToText(std::uint32_t address);
// True when TextToAddress of the text is not 0xFFFFFFFF.
[[nodiscard]] bool IsDottedAddress(std::string_view text);

inline constexpr std::uint32_t kAnyAddress = 0;           // INADDR_ANY
inline constexpr std::uint32_t kNoAddress = 0xFFFFFFFFu;  // INADDR_NONE

// One end of a socket in the generic 16-byte socket-address layout
// (sockaddr), byte for byte, so it goes to the socket calls unconverted:
//   offset 0, 2 bytes: family, machine byte order
//   offset 2, 14 bytes: family-specific data
class EndpointAddress {
 public:
  // Family 0. The data bytes start cleared rather than undefined.
  EndpointAddress() = default;

  // family = `family`; copies the first min(length, 14) bytes into data
  // (a length of 0 or less copies nothing); the other data bytes stay.
  EndpointAddress& SetFamilyAndData(std::uint16_t newFamily, const void* bytes, std::int16_t length);
  // The first 16-bit word and the next 14 bytes of a raw 16-byte address.
  EndpointAddress& SetRaw(const void* raw16);
  // Same family and the same 14 data bytes.
  [[nodiscard]] bool SameAs(const EndpointAddress& other) const;

  // The 16 bytes, for the socket calls.
  [[nodiscard]] const void* raw() const { return this; }
  [[nodiscard]] void* raw() { return this; }

  std::uint16_t family = 0;
  std::uint8_t data[14] = {};
};

// The same 16 bytes read as an Internet (IPv4) socket address (sockaddr_in):
//   offset 0, 2 bytes: family (2 in every address this program builds)
//   offset 2, 2 bytes: port, network byte order, stored as passed
//   offset 4, 4 bytes: address, network byte order, stored as passed
//   offset 8, 8 bytes: zero
// Adds no storage to EndpointAddress.
class InternetEndpoint : public EndpointAddress {
 public:
  // Family 2, port 0, address 0 (any local address), zero bytes cleared.
  InternetEndpoint();
  InternetEndpoint(std::uint16_t port, std::uint32_t address, std::uint16_t addressFamily = 2);
  // The address converted from dotted text by TextToAddress.
  InternetEndpoint(std::uint16_t port, std::string_view dottedText, std::uint16_t addressFamily = 2);
  // As SetRaw.
  explicit InternetEndpoint(const EndpointAddress& raw);
  InternetEndpoint& operator=(const EndpointAddress& raw);

  [[nodiscard]] std::uint16_t Port() const;
  InternetEndpoint& SetPort(std::uint16_t port);
  [[nodiscard]] std::uint32_t Address() const;
  InternetEndpoint& SetAddress(std::uint32_t address);
  InternetEndpoint& SetAddressText(std::string_view dottedText);
  InternetEndpoint& ClearZero();

  // The class of the stored address read as a machine integer, without
  // conversion: 0 (A), 1 (B), 2 (C), 3 (anything else).
  [[nodiscard]] int AddressClass() const;
  // The stored address masked by its class's network or node mask; 0 for
  // class 3.
  [[nodiscard]] std::uint32_t NetworkPart() const;
  [[nodiscard]] std::uint32_t NodePart() const;

  // Offsets of the Internet fields inside the 16 bytes.
  static constexpr std::size_t kPortOffset = 2;
  static constexpr std::size_t kAddressOffset = 4;
  static constexpr std::size_t kZeroOffset = 8;
};

static_assert(sizeof(EndpointAddress) == 16, "EndpointAddress must be the 16-byte sockaddr layout");
static_assert(sizeof(InternetEndpoint) == 16, "InternetEndpoint adds no storage");
static_assert(offsetof(EndpointAddress, data) == 2);
static_assert(std::is_standard_layout_v<EndpointAddress> && std::is_trivially_copyable_v<EndpointAddress>);
static_assert(std::is_standard_layout_v<InternetEndpoint> && std::is_trivially_copyable_v<InternetEndpoint>);

}  // namespace tidewell
