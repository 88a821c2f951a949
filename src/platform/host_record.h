#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/winsock_types.h"

namespace tidewell {

// What a look-up found, before it is laid out as a record.
struct HostData {
  std::string name;
  std::vector<std::string> aliases;
  std::vector<std::array<std::uint8_t, 4>> addresses;  // network byte order
  // kAfInet6: the record holds `wideAddresses` (16 bytes each) instead.
  std::int16_t addressType = kAfInet;
  std::vector<std::array<std::uint8_t, 16>> wideAddresses;
};

struct ServiceData {
  std::string name;
  std::vector<std::string> aliases;
  std::uint16_t port = 0;  // network byte order
  std::string protocol;
};

// Lays a record out in `buffer` the way Winsock does: the HostEntry (or
// ServiceEntry) at the start, then the pointer lists, the addresses and the
// strings, every pointer pointing into the buffer. Returns the bytes used;
// when the record needs more than `length` bytes nothing is written and the
// size it needs is returned; -1 when the buffer is not a record buffer.
[[nodiscard]] int hostRecordSize(const HostData& host);
int writeHostRecord(const HostData& host, char* buffer, int length);
[[nodiscard]] int serviceRecordSize(const ServiceData& service);
int writeServiceRecord(const ServiceData& service, char* buffer, int length);

// True when `buffer` can hold a record at its start: not null, aligned for
// the records' pointers, and at least as long as the bare record.
[[nodiscard]] bool isRecordBuffer(const char* buffer, int length);

}  // namespace tidewell
