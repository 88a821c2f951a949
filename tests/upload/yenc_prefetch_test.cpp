#include "upload/yenc_prefetch.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/file_io.h"
#include "support/temp_dir.h"
#include "upload/encoder.h"

namespace tidewell {
namespace {

std::string patternBytes(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);  // every byte value, '=' and NUL among them
  }
  return bytes;
}

// What the loop would write for the part itself.
YencPrefetch::Encoded onLoop(const YencPartRequest& request) {
  YencEncoder encoder;
  YencPrefetch::Encoded encoded;
  YencPartRequest copy = request;
  copy.output = &encoded.text;
  EXPECT_EQ(encoder.encodePart(copy, {}, encoded.result), kEncodeOk);
  return encoded;
}

TEST(YencPrefetchTest, PartsEncodedAheadMatchTheLoopsOwnAndOnlyTheOneAskedForIsHandedOver) {
  test::TempDir dir;
  const std::string content = patternBytes(5000);
  const FileDescriptor source = openRegularForRead(dir.write("source", content));
  YencPrefetch prefetch;
  YencPartRequest request;
  request.source = source.get();
  request.plan = planYencParts(5000, 2000);
  request.name = "source.bin";
  for (std::int32_t part = 1; part <= request.plan.partCount; ++part) {
    request.part = part;
    const YencPrefetch::Encoded expected = onLoop(request);
    prefetch.start(request);
    YencPartRequest other = request;
    other.part = part + 1;
    EXPECT_FALSE(prefetch.take(other)) << "part " << part;
    std::optional<YencPrefetch::Encoded> taken = prefetch.take(request);
    ASSERT_TRUE(taken) << "part " << part;
    EXPECT_EQ(taken->text.view(), expected.text.view()) << "part " << part;
    EXPECT_EQ(taken->result.partCrc, expected.result.partCrc);
    EXPECT_EQ(taken->result.crcThrough, expected.result.crcThrough);
    EXPECT_FALSE(prefetch.take(request)) << "handed over twice";
    prefetch.recycle(std::move(taken->text));
    request.crcBefore = expected.result.crcThrough;
  }
}

TEST(YencPrefetchTest, AReadFailureOrAReplacedPartComesBackEmpty) {
  test::TempDir dir;
  const FileDescriptor source = openRegularForRead(dir.write("source", patternBytes(3000)));
  YencPrefetch prefetch;
  YencPartRequest request;
  request.source = source.get();
  request.plan = planYencParts(3500, 1000);  // the file shrank since it was planned
  request.part = 4;
  request.name = "source.bin";
  request.crcBefore = 0;
  prefetch.start(request);
  EXPECT_FALSE(prefetch.take(request));

  YencPartRequest first = request;
  first.plan = planYencParts(3000, 1000);
  first.part = 2;
  YencPartRequest second = first;
  second.part = 3;
  prefetch.start(first);
  prefetch.start(second);  // the first is dropped, finished or not
  EXPECT_FALSE(prefetch.take(first));
  const FileDescriptor copy = openRegularForRead(dir.write("copy", patternBytes(3000)));
  YencPartRequest fromCopy = second;
  fromCopy.source = copy.get();  // same name, size and bytes, another file
  EXPECT_FALSE(prefetch.take(fromCopy));
  std::optional<YencPrefetch::Encoded> taken = prefetch.take(second);
  ASSERT_TRUE(taken);
  EXPECT_EQ(taken->text.view(), onLoop(second).text.view());
}

}  // namespace
}  // namespace tidewell
