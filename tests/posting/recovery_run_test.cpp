// The run's recovery set fed as the encoder reads: every byte goes in once
// whatever the encoder hands over, what it skips is read (and counted), and
// a file that changes is left out of a set Debian's par2 finds correct.
#include "posting/recovery_run.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "support/temp_dir.h"

namespace tidewell::test {
namespace {

std::string randomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& byte : bytes) {
    byte = static_cast<char>(random());
  }
  return bytes;
}

int par2Verify(const std::string& directory, const std::string& index) {
  const std::string command = "cd '" + directory + "' && par2 verify -q '" + index + "' >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

enum class Feed {
  InOrder,          // each file whole, in blocks, as the encoder reads it
  SecondHalfOnly,   // the first half already on the server: not read for posting
  AgainAfterBreak,  // the first half twice, as after a reconnection
  NotAtAll,         // the encoder never read it (a failed opening, all parts on the server)
  ChangedOnDisk,    // the file is rewritten before it is read
};

struct FeedCase {
  const char* label;
  Feed feed;
  std::uint64_t memoryBytes;
  // Bytes read only for the set, as a multiple of the total data (halves).
  int extraHalves;
  bool changed;
};

class RecoveryRunFeed : public ::testing::TestWithParam<FeedCase> {};

TEST_P(RecoveryRunFeed, EveryByteGoesInOnceAndTheSetVerifies) {
  if (std::system("command -v par2 >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "Debian's par2 is not installed";
  }
  const FeedCase& c = GetParam();
  TempDir dir;
  const std::vector<std::pair<std::string, std::size_t>> shapes = {{"a b \xC3\xA4.bin", 300000}, {"z.bin", 40000}};
  std::vector<RecoveryData> files;
  std::vector<std::string> contents;
  std::uint64_t total = 0;
  for (std::size_t i = 0; i < shapes.size(); ++i) {
    contents.push_back(randomBytes(shapes[i].second, static_cast<unsigned>(i + 1)));
    writeFile(dir.file(shapes[i].first), contents.back());
    files.push_back(RecoveryData{shapes[i].first, dir.file(shapes[i].first), shapes[i].first});
    total += shapes[i].second;
  }
  RecoveryOptions options;
  options.sliceSize = 4000;
  options.memoryBytes = c.memoryBytes;
  options.name = "set";
  options.folder = dir.path();
  std::string error;
  auto run = RecoveryRun::start(files, options, error);
  ASSERT_TRUE(run) << error;

  for (std::size_t i = 0; i < files.size(); ++i) {
    std::string bytes = contents[i];
    if (c.feed == Feed::ChangedOnDisk && i == 0) {
      bytes[1000] ^= 1;
      writeFile(files[i].path, bytes);
    }
    run->openData(files[i].listedName);
    const auto feed = [&](std::size_t from, std::size_t to) {
      for (std::size_t at = from; at < to; at += 65536) {
        const std::size_t size = std::min<std::size_t>(65536, to - at);
        run->sourceBytes(static_cast<std::int64_t>(at), reinterpret_cast<const unsigned char*>(bytes.data() + at),
                         size);
      }
    };
    const std::size_t half = bytes.size() / 2;
    switch (c.feed) {
      case Feed::InOrder:
      case Feed::ChangedOnDisk:
        feed(0, bytes.size());
        break;
      case Feed::SecondHalfOnly:
        feed(half, bytes.size());
        break;
      case Feed::AgainAfterBreak:
        feed(0, half);
        run->openData(files[i].listedName);  // posted again from its first part
        feed(0, bytes.size());
        break;
      case Feed::NotAtAll:
        break;
    }
  }
  const RecoveryOutcome outcome = run->finish();
  ASSERT_TRUE(outcome.written) << outcome.error;
  EXPECT_EQ(outcome.files, run->plannedFiles());
  EXPECT_EQ(outcome.files.front(), "set.par2");
  if (c.changed) {
    EXPECT_EQ(outcome.changedFiles, std::vector<std::string>{files[0].listedName});
    EXPECT_NE(outcome.files.size(), 1U);
  } else {
    EXPECT_TRUE(outcome.changedFiles.empty());
    // Half of each file read again: the first halves, rounded as the files are.
    const std::uint64_t halves = c.extraHalves % 2 == 0 ? total * static_cast<std::uint64_t>(c.extraHalves / 2)
                                                        : shapes[0].second / 2 + shapes[1].second / 2;
    EXPECT_EQ(run->extraBytesRead(), halves);
  }
  EXPECT_EQ(par2Verify(dir.path(), "set.par2"), 0);
}

INSTANTIATE_TEST_SUITE_P(Feeds, RecoveryRunFeed,
                         ::testing::Values(FeedCase{"InOrder", Feed::InOrder, 256u << 20, 0, false},
                                           FeedCase{"SkippedParts", Feed::SecondHalfOnly, 256u << 20, 1, false},
                                           FeedCase{"PostedAgain", Feed::AgainAfterBreak, 256u << 20, 0, false},
                                           FeedCase{"NeverRead", Feed::NotAtAll, 256u << 20, 2, false},
                                           // 9 recovery slices, 8 of 4000 bytes held at once: two passes, one more read
                                           FeedCase{"TwoPasses", Feed::InOrder, 32000, 2, false},
                                           FeedCase{"Changed", Feed::ChangedOnDisk, 256u << 20, 0, true}),
                         [](const auto& test) { return std::string(test.param.label); });

// A disk that fills up while the set is written (files may grow no larger
// than 16 KiB): nothing of the set is left, and the outcome says why.
TEST(RecoveryRunWrite, AFullDiskLeavesNoSetAndSaysWhy) {
  TempDir dir;
  writeFile(dir.file("a.bin"), randomBytes(200000, 7));
  RecoveryOptions options;
  options.sliceSize = 4000;
  options.redundancyPercent = 50;
  options.name = "set";
  options.folder = dir.file("set");
  std::string error;
  auto run = RecoveryRun::start({RecoveryData{"a.bin", dir.file("a.bin"), "a.bin"}}, options, error);
  ASSERT_TRUE(run) << error;
  rlimit before{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = before;
  small.rlim_cur = 16384;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const RecoveryOutcome outcome = run->finish();
  ::setrlimit(RLIMIT_FSIZE, &before);
  std::signal(SIGXFSZ, previous);
  EXPECT_FALSE(outcome.written);
  EXPECT_FALSE(outcome.error.empty());
  EXPECT_TRUE(std::filesystem::is_empty(options.folder)) << outcome.error;
}

}  // namespace
}  // namespace tidewell::test
