#include "par2/md5_lanes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace tidewell::par2 {
namespace {

// Every count of lanes (a partial group of 8 or 2, several groups) and
// every kind of last block (none, short, too long for the length) against
// OpenSSL, on both paths.
TEST(Md5Lanes, SameHashesAsOpenSsl) {
  const std::size_t counts[] = {1, 2, 3, 8, 9, 10, 11, 16, 17, 27};
  const std::size_t sizes[] = {0, 1, 55, 56, 63, 64, 65, 119, 120, 128, 4096, 100004};
  std::mt19937 random(22);
  for (Md5Path path : {Md5Path::Fastest, Md5Path::Portable}) {
    for (std::size_t count : counts) {
      for (std::size_t size : sizes) {
        // One buffer, lanes at odd distances: no lane is aligned.
        const std::size_t distance = size + 3;
        std::vector<std::uint8_t> bytes(count * distance + 1);
        for (std::uint8_t& byte : bytes) {
          byte = static_cast<std::uint8_t>(random());
        }
        std::vector<const std::uint8_t*> lanes;
        for (std::size_t i = 0; i < count; ++i) {
          lanes.push_back(bytes.data() + 1 + i * distance);
        }
        std::vector<Md5> hashes(count);
        md5Lanes(lanes.data(), count, size, hashes.data(), path);
        for (std::size_t i = 0; i < count; ++i) {
          EXPECT_EQ(hashes[i], md5Of(lanes[i], size)) << (path == Md5Path::Portable ? "portable" : "fastest")
                                                      << ", lane " << i << " of " << count << ", " << size << " bytes";
        }
      }
    }
  }
}

}  // namespace
}  // namespace tidewell::par2
