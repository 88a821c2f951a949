#include "platform/host_record.h"

#include <cstddef>
#include <cstring>

namespace tidewell {

namespace {

constexpr std::size_t kPointer = sizeof(char*);

std::size_t stringsSize(const std::string& name, const std::vector<std::string>& aliases) {
  std::size_t size = name.size() + 1;
  for (const std::string& alias : aliases) {
    size += alias.size() + 1;
  }
  return size;
}

// Writes pointers and strings into a buffer known to be large enough.
class RecordWriter {
 public:
  explicit RecordWriter(char* buffer) : buffer_(buffer) {}

  void putPointer(std::size_t at, const void* pointer) { std::memcpy(buffer_ + at, &pointer, kPointer); }
  char* putString(std::size_t& at, const std::string& text) {
    char* where = buffer_ + at;
    std::memcpy(where, text.c_str(), text.size() + 1);
    at += text.size() + 1;
    return where;
  }
  // A null-terminated list of the given strings at `listAt`, the strings at `stringsAt`.
  void putStringList(std::size_t listAt, std::size_t& stringsAt, const std::vector<std::string>& texts) {
    for (const std::string& text : texts) {
      putPointer(listAt, putString(stringsAt, text));
      listAt += kPointer;
    }
    putPointer(listAt, nullptr);
  }
  [[nodiscard]] char* at(std::size_t offset) const { return buffer_ + offset; }
  template <typename Record>
  void putRecord(const Record& record) {
    std::memcpy(buffer_, &record, sizeof record);
  }

 private:
  char* buffer_;
};

bool isWide(const HostData& host) {
  return host.addressType == kAfInet6;
}
std::size_t addressCount(const HostData& host) {
  return isWide(host) ? host.wideAddresses.size() : host.addresses.size();
}
std::size_t addressLength(const HostData& host) {
  return isWide(host) ? 16 : 4;
}

}  // namespace

int hostRecordSize(const HostData& host) {
  const std::size_t count = addressCount(host);
  const std::size_t size = sizeof(HostEntry) + (host.aliases.size() + 1) * kPointer + (count + 1) * kPointer +
                           count * addressLength(host) + stringsSize(host.name, host.aliases);
  return static_cast<int>(size);
}

int writeHostRecord(const HostData& host, char* buffer, int length) {
  const int size = hostRecordSize(host);
  if (!isRecordBuffer(buffer, length)) {
    return -1;
  }
  if (size > length) {
    return size;
  }
  RecordWriter out(buffer);
  const std::size_t aliasesAt = sizeof(HostEntry);
  const std::size_t addressListAt = aliasesAt + (host.aliases.size() + 1) * kPointer;
  const std::size_t count = addressCount(host);
  const std::size_t width = addressLength(host);
  std::size_t addressesAt = addressListAt + (count + 1) * kPointer;
  std::size_t stringsAt = addressesAt + count * width;

  HostEntry entry{};
  entry.name = out.putString(stringsAt, host.name);
  entry.aliases = reinterpret_cast<char**>(out.at(aliasesAt));
  entry.addressType = isWide(host) ? static_cast<std::int16_t>(kAfInet6) : static_cast<std::int16_t>(kAfInet);
  entry.addressLength = static_cast<std::int16_t>(width);
  entry.addressList = reinterpret_cast<char**>(out.at(addressListAt));
  out.putStringList(aliasesAt, stringsAt, host.aliases);
  std::size_t listAt = addressListAt;
  for (std::size_t i = 0; i < count; ++i) {
    std::memcpy(out.at(addressesAt), isWide(host) ? host.wideAddresses[i].data() : host.addresses[i].data(), width);
    out.putPointer(listAt, out.at(addressesAt));
    addressesAt += width;
    listAt += kPointer;
  }
  out.putPointer(listAt, nullptr);
  out.putRecord(entry);
  return size;
}

int serviceRecordSize(const ServiceData& service) {
  const std::size_t size = sizeof(ServiceEntry) + (service.aliases.size() + 1) * kPointer +
                           stringsSize(service.name, service.aliases) + service.protocol.size() + 1;
  return static_cast<int>(size);
}

int writeServiceRecord(const ServiceData& service, char* buffer, int length) {
  const int size = serviceRecordSize(service);
  if (!isRecordBuffer(buffer, length)) {
    return -1;
  }
  if (size > length) {
    return size;
  }
  RecordWriter out(buffer);
  const std::size_t aliasesAt = sizeof(ServiceEntry);
  std::size_t stringsAt = aliasesAt + (service.aliases.size() + 1) * kPointer;

  ServiceEntry entry{};
  entry.name = out.putString(stringsAt, service.name);
  entry.aliases = reinterpret_cast<char**>(out.at(aliasesAt));
  entry.port = static_cast<std::int16_t>(service.port);
  entry.protocol = out.putString(stringsAt, service.protocol);
  out.putStringList(aliasesAt, stringsAt, service.aliases);
  out.putRecord(entry);
  return size;
}

bool isRecordBuffer(const char* buffer, int length) {
  const auto address = reinterpret_cast<std::uintptr_t>(buffer);
  return buffer != nullptr && address % alignof(HostEntry) == 0 && address % alignof(ServiceEntry) == 0 &&
         length >= static_cast<int>(sizeof(HostEntry)) && length >= static_cast<int>(sizeof(ServiceEntry));
}

}  // namespace tidewell
