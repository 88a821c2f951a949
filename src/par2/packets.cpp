#include "par2/packets.h"

#include <cstring>

namespace tidewell::par2 {

namespace {

constexpr char kMagic[8] = {'P', 'A', 'R', '2', '\0', 'P', 'K', 'T'};

// Packet types: 16 bytes each, "PAR 2.0\0" and a name padded with zeros.
constexpr char kMainType[16] = {'P', 'A', 'R', ' ', '2', '.', '0', '\0', 'M', 'a', 'i', 'n', 0, 0, 0, 0};
constexpr char kFileDescType[16] = {'P', 'A', 'R', ' ', '2', '.', '0', '\0', 'F', 'i', 'l', 'e', 'D', 'e', 's', 'c'};
constexpr char kSliceChecksumType[16] = {'P', 'A', 'R', ' ', '2', '.', '0', '\0', 'I', 'F', 'S', 'C', 0, 0, 0, 0};
constexpr char kRecoveryType[16] = {'P', 'A', 'R', ' ', '2', '.', '0', '\0', 'R', 'e', 'c', 'v', 'S', 'l', 'i', 'c'};
constexpr char kCreatorType[16] = {'P', 'A', 'R', ' ', '2', '.', '0', '\0', 'C', 'r', 'e', 'a', 't', 'o', 'r', 0};

void putLittle(std::string& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) {
    out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
  }
}

void putHash(std::string& out, const Md5& hash) {
  out.append(reinterpret_cast<const char*>(hash.data()), hash.size());
}

void padToFour(std::string& out) {
  while (out.size() % 4 != 0) {
    out.push_back('\0');
  }
}

const char* typeBytes(PacketType type) {
  switch (type) {
    case PacketType::Main:
      return kMainType;
    case PacketType::FileDescription:
      return kFileDescType;
    case PacketType::SliceChecksum:
      return kSliceChecksumType;
    case PacketType::Creator:
      return kCreatorType;
  }
  return kMainType;
}

// The header with a zero hash, for a packet of `length` bytes.
std::string headerWithoutHash(const Md5& setId, const char* type, std::uint64_t length) {
  std::string header(kMagic, sizeof kMagic);
  putLittle(header, length, 8);
  header.append(16, '\0');
  putHash(header, setId);
  header.append(type, 16);
  return header;
}

}  // namespace

Md5 fileIdOf(const Md5& head, std::uint64_t size, std::string_view name) {
  std::string input;
  putHash(input, head);
  putLittle(input, size, 8);
  input.append(name);
  return md5Of(input.data(), input.size());
}

bool fileIdBefore(const Md5& a, const Md5& b) {
  for (int i = 15; i >= 0; --i) {
    if (a[i] != b[i]) {
      return a[i] < b[i];
    }
  }
  return false;
}

std::string mainBody(std::uint64_t sliceSize, const std::vector<Md5>& orderedIds) {
  std::string body;
  putLittle(body, sliceSize, 8);
  putLittle(body, orderedIds.size(), 4);
  for (const Md5& id : orderedIds) {
    putHash(body, id);
  }
  return body;
}

std::string fileDescriptionBody(const FileEntry& file) {
  std::string body;
  putHash(body, file.id);
  putHash(body, file.hash);
  putHash(body, file.head);
  putLittle(body, file.size, 8);
  body.append(file.name);
  padToFour(body);
  return body;
}

std::string sliceChecksumBody(const FileEntry& file) {
  std::string body;
  putHash(body, file.id);
  for (const SliceChecksum& slice : file.slices) {
    putHash(body, slice.md5);
    putLittle(body, slice.crc32, 4);
  }
  return body;
}

std::string creatorBody(std::string_view creator) {
  std::string body(creator);
  padToFour(body);
  return body;
}

std::string packet(const Md5& setId, PacketType type, std::string_view body) {
  std::string whole = headerWithoutHash(setId, typeBytes(type), kHeaderBytes + body.size());
  whole.append(body);
  const Md5 hash = md5Of(whole.data() + 32, whole.size() - 32);
  std::memcpy(whole.data() + 16, hash.data(), hash.size());
  return whole;
}

std::string recoveryHead(const Md5& setId, std::uint32_t exponent, const std::uint8_t* data, std::size_t size) {
  std::string head = headerWithoutHash(setId, kRecoveryType, kRecoveryHeadBytes + size);
  putLittle(head, exponent, 4);
  Md5Stream hash;
  hash.update(head.data() + 32, head.size() - 32);
  hash.update(data, size);
  const Md5 digest = hash.finish();
  std::memcpy(head.data() + 16, digest.data(), digest.size());
  return head;
}

}  // namespace tidewell::par2
