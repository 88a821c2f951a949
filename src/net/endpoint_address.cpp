#include "net/endpoint_address.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace tidewell {

std::uint32_t TextToAddress(std::string_view text) {
  // inet_addr reads up to a terminator: a text with an embedded one is not
  // an address.
  if (text.find('\0') != std::string_view::npos) {
    return kNoAddress;
  }
  return inet_addr(std::string(text).c_str());
}

const char* AddressToText(std::uint32_t address) {
  in_addr in{};
  in.s_addr = address;
  return inet_ntoa(in);
}

bool IsDottedAddress(std::string_view text) {
  return TextToAddress(text) != kNoAddress;
}

EndpointAddress& EndpointAddress::SetFamilyAndData(std::uint16_t newFamily, const void* bytes, std::int16_t length) {
  family = newFamily;
  if (length > 0 && bytes != nullptr) {
    std::memcpy(data, bytes, std::min<std::size_t>(static_cast<std::size_t>(length), sizeof data));
  }
  return *this;
}

EndpointAddress& EndpointAddress::SetRaw(const void* raw16) {
  std::memcpy(&family, raw16, sizeof family);
  std::memcpy(data, static_cast<const std::uint8_t*>(raw16) + sizeof family, sizeof data);
  return *this;
}

bool EndpointAddress::SameAs(const EndpointAddress& other) const {
  return family == other.family && std::memcmp(data, other.data, sizeof data) == 0;
}

InternetEndpoint::InternetEndpoint() : InternetEndpoint(0, kAnyAddress, 2) {}

InternetEndpoint::InternetEndpoint(std::uint16_t port, std::uint32_t address, std::uint16_t addressFamily) {
  family = addressFamily;
  SetPort(port);
  SetAddress(address);
  ClearZero();
}

InternetEndpoint::InternetEndpoint(std::uint16_t port, std::string_view dottedText, std::uint16_t addressFamily)
    : InternetEndpoint(port, TextToAddress(dottedText), addressFamily) {}

InternetEndpoint::InternetEndpoint(const EndpointAddress& raw) : EndpointAddress(raw) {}

InternetEndpoint& InternetEndpoint::operator=(const EndpointAddress& raw) {
  SetRaw(raw.raw());
  return *this;
}

std::uint16_t InternetEndpoint::Port() const {
  std::uint16_t port = 0;
  std::memcpy(&port, data + (kPortOffset - 2), sizeof port);
  return port;
}

InternetEndpoint& InternetEndpoint::SetPort(std::uint16_t port) {
  std::memcpy(data + (kPortOffset - 2), &port, sizeof port);
  return *this;
}

std::uint32_t InternetEndpoint::Address() const {
  std::uint32_t address = 0;
  std::memcpy(&address, data + (kAddressOffset - 2), sizeof address);
  return address;
}

InternetEndpoint& InternetEndpoint::SetAddress(std::uint32_t address) {
  std::memcpy(data + (kAddressOffset - 2), &address, sizeof address);
  return *this;
}

InternetEndpoint& InternetEndpoint::SetAddressText(std::string_view dottedText) {
  return SetAddress(TextToAddress(dottedText));
}

InternetEndpoint& InternetEndpoint::ClearZero() {
  std::memset(data + (kZeroOffset - 2), 0, 8);
  return *this;
}

int InternetEndpoint::AddressClass() const {
  const std::uint32_t address = Address();
  if ((address & 0x80000000u) == 0) {
    return 0;
  }
  if ((address & 0xC0000000u) == 0x80000000u) {
    return 1;
  }
  if ((address & 0xE0000000u) == 0xC0000000u) {
    return 2;
  }
  return 3;
}

std::uint32_t InternetEndpoint::NetworkPart() const {
  static constexpr std::uint32_t kMasks[] = {0xFF000000u, 0xFFFF0000u, 0xFFFFFF00u, 0};
  return Address() & kMasks[AddressClass()];
}

std::uint32_t InternetEndpoint::NodePart() const {
  static constexpr std::uint32_t kMasks[] = {0x00FFFFFFu, 0x0000FFFFu, 0x000000FFu, 0};
  return Address() & kMasks[AddressClass()];
}

}  // namespace tidewell
