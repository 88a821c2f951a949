#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

// MD5 through OpenSSL's EVP interface: the hash every PAR2 packet, file and
// slice is identified by.
namespace tidewell::par2 {

using Md5 = std::array<std::uint8_t, 16>;

class Md5Stream {
 public:
  Md5Stream();
  void update(const void* data, std::size_t size);
  // The hash of everything fed since construction or the last finish; the
  // stream starts afresh.
  [[nodiscard]] Md5 finish();

  // Frees the OpenSSL context.
  struct Free {
    void operator()(void* context) const;
  };

 private:
  std::unique_ptr<void, Free> context_;
};

[[nodiscard]] Md5 md5Of(const void* data, std::size_t size);

}  // namespace tidewell::par2
