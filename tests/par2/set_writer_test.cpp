#include "par2/set_writer.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "par2/file_set.h"
#include "par2/set_files.h"
#include "support/temp_dir.h"

namespace tidewell::par2 {
namespace {

namespace fs = std::filesystem;

std::string randomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& byte : bytes) {
    byte = static_cast<char>(random());
  }
  return bytes;
}

bool haveDebianPar2() {
  return std::system("command -v par2 >/dev/null 2>&1") == 0;
}

// Runs Debian's par2 in `directory`; its exit status (0: all files correct
// or repaired), its output in `output`.
int runPar2(const std::string& directory, const std::string& arguments, std::string& output) {
  const std::string command = "cd '" + directory + "' && par2 " + arguments + " 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return -1;
  }
  char buffer[4096];
  output.clear();
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    output.append(buffer, got);
  }
  const int status = ::pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> setFilesIn(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(directory)) {
    const std::string name = entry.path().filename().string();
    if (name.find(".par2") != std::string::npos) {
      names.push_back(name);
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

struct SourceCase {
  const char* label;
  std::vector<std::pair<std::string, std::size_t>> files;  // name, size
  std::uint64_t sliceSize;
  int redundancy;
  std::uint64_t memoryLimit;
  unsigned threads;
  // Damage par2 repair must undo: bytes overwritten in the first file, the
  // file at `deleted` removed (-1: none).
  int deleted;
};

class DebianPar2 : public ::testing::TestWithParam<SourceCase> {};

// par2 verify finds every file of the set correct, and after damage par2
// repair restores every file byte for byte.
TEST_P(DebianPar2, VerifiesAndRepairs) {
  if (!haveDebianPar2()) {
    GTEST_SKIP() << "Debian's par2 is not installed (apt-get install par2)";
  }
  const SourceCase& c = GetParam();
  test::TempDir dir;
  std::vector<std::string> names;
  std::vector<std::string> contents;
  for (std::size_t i = 0; i < c.files.size(); ++i) {
    names.push_back(c.files[i].first);
    contents.push_back(randomBytes(c.files[i].second, static_cast<unsigned>(i + 1)));
    dir.write(names.back(), contents.back());
  }
  PlanRequest request;
  request.sliceSize = c.sliceSize;
  request.redundancyPercent = c.redundancy;
  request.memoryLimit = c.memoryLimit;
  SetOptions options{dir.path(), "post set", "Tidewell test", c.threads, gf16::fastestKernel()};
  const FileSetReport report = makeSetFromFiles(dir.path(), names, request, options);
  ASSERT_TRUE(report.result.written) << report.result.error;
  EXPECT_EQ(report.result.files.front(), dir.file("post set.par2"));

  std::string output;
  ASSERT_EQ(runPar2(dir.path(), "verify 'post set.par2'", output), 0) << output;

  std::string damaged = contents[0];
  for (std::size_t at : {std::size_t{0}, damaged.size() / 2, damaged.size() - 1}) {
    damaged[at] = static_cast<char>(~damaged[at]);
  }
  dir.write(names[0], damaged);
  if (c.deleted >= 0) {
    fs::remove(dir.file(names[static_cast<std::size_t>(c.deleted)]));
  }
  ASSERT_EQ(runPar2(dir.path(), "repair 'post set.par2'", output), 0) << output;
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(dir.read(names[i]), contents[i]) << names[i];
  }
}

const std::vector<std::pair<std::string, std::size_t>> kMixedFiles = {
    {"many slices.bin", 300000},     {"tiny.txt", 5},     {"empty.dat", 0},
    {"Ünïcødé ファイル.bin", 20000}, {"exact.bin", 8192},
};

INSTANTIATE_TEST_SUITE_P(Sets, DebianPar2,
                         ::testing::Values(SourceCase{"mixed", kMixedFiles, 4096, 10, 256u << 20, 2, 1},
                                           SourceCase{"threads", kMixedFiles, 1024, 30, 256u << 20, 4, 3},
                                           SourceCase{"passes", kMixedFiles, 4096, 20, 3 * 4096, 2, 1},
                                           SourceCase{"chosen size", kMixedFiles, 0, 5, 256u << 20, 1, -1},
                                           SourceCase{
                                               "one file", {{"only.bin", 100000}}, 2048, 100, 256u << 20, 3, -1}),
                         [](const ::testing::TestParamInfo<SourceCase>& param) {
                           std::string label = param.param.label;
                           std::replace(label.begin(), label.end(), ' ', '_');
                           return label;
                         });

// Every way of computing the same set gives the same bytes: one thread or
// several, any kernel, the recovery in one pass or in several.
TEST(SetWriter, SameBytesWhateverTheThreadsKernelAndPasses) {
  test::TempDir source;
  std::vector<std::string> names = {"a.bin", "b.bin", "c.bin"};
  source.write("a.bin", randomBytes(70001, 1));
  source.write("b.bin", randomBytes(4096, 2));
  source.write("c.bin", randomBytes(33333, 3));
  PlanRequest request;
  request.sliceSize = 1024;
  request.redundancyPercent = 25;

  struct Way {
    unsigned threads;
    gf16::Kernel kernel;
    std::uint64_t memory;
  };
  std::vector<Way> ways = {{1, gf16::Kernel::Portable, 1u << 20}, {3, gf16::Kernel::Portable, 5 * 1024}};
  for (gf16::Kernel kernel : gf16::availableKernels()) {
    ways.push_back({2, kernel, 1u << 20});
  }
  std::vector<std::string> first;
  for (const Way& way : ways) {
    test::TempDir out;
    request.memoryLimit = way.memory;
    const FileSetReport report = makeSetFromFiles(source.path(), names, request,
                                                  SetOptions{out.path(), "set", "Tidewell", way.threads, way.kernel});
    ASSERT_TRUE(report.result.written) << report.result.error;
    std::vector<std::string> bytes;
    for (const std::string& name : setFilesIn(out.path())) {
      bytes.push_back(name + ":" + out.read(name));
    }
    if (first.empty()) {
      first = bytes;
      EXPECT_EQ(report.plan.recoveryCount, 27u);  // 25% of 69 + 4 + 33 slices, rounded
    } else {
      EXPECT_EQ(bytes, first) << way.threads << " threads, " << gf16::kernelName(way.kernel) << ", "
                              << report.plan.passCount << " passes";
    }
  }
}

// A file whose size or contents differ from what the set was planned for
// fails, and no set is left that claims it.
TEST(SetWriter, ChangedFileLeavesNoSet) {
  struct Change {
    const char* label;
    std::size_t feedBytes;  // of the planned 10000
    bool flipHead;
    bool readFails;
  };
  const Change changes[] = {
      {"shorter", 9000, false, false},
      {"longer", 12000, false, false},
      {"other first bytes", 10000, true, false},
      {"read error", 5000, false, true},
  };
  for (const Change& change : changes) {
    test::TempDir out;
    const std::string good = randomBytes(5000, 4);
    const std::string planned = randomBytes(10000, 5);
    std::vector<SourceFile> files = {{"good.bin", good.size(), md5Of(good.data(), good.size())},
                                     {"changing.bin", planned.size(), md5Of(planned.data(), planned.size())}};
    PlanRequest request;
    request.fileSizes = {good.size(), planned.size()};
    request.sliceSize = 1000;
    Plan plan;
    ASSERT_EQ(makePlan(request, plan), "");
    std::string error;
    auto set =
        SetWriter::create(plan, files, SetOptions{out.path(), "set", "Tidewell", 2, gf16::fastestKernel()}, error);
    ASSERT_TRUE(set) << error;
    set->beginFile(0);
    set->feed(good.data(), good.size());
    EXPECT_TRUE(set->endFile());
    std::string fed = randomBytes(change.feedBytes, 5);
    if (change.flipHead) {
      fed[10] = static_cast<char>(~fed[10]);
    }
    set->beginFile(1);
    set->feed(fed.data(), fed.size());
    if (change.readFails) {
      set->failFile(1);
    } else {
      EXPECT_FALSE(set->endFile()) << change.label;
    }
    set->endPass();
    const SetResult result = set->finish();
    EXPECT_FALSE(result.written) << change.label;
    EXPECT_EQ(result.failedFiles, std::vector<std::size_t>{1}) << change.label;
    EXPECT_NE(result.error.find("no set was written"), std::string::npos) << result.error;
    EXPECT_TRUE(setFilesIn(out.path()).empty()) << change.label;
  }
}

// Volume names and counts as par2 create gives them for the same recovery
// counts.
TEST(SetFiles, VolumesDoubleAndAreNamedAsPar2cmdlineNamesThem) {
  const std::pair<std::uint32_t, std::vector<std::string>> cases[] = {
      {0, {}},
      {1, {"x.vol0+1.par2"}},
      {29, {"x.vol00+01.par2", "x.vol01+02.par2", "x.vol03+04.par2", "x.vol07+08.par2", "x.vol15+14.par2"}},
      {100,
       {"x.vol000+01.par2", "x.vol001+02.par2", "x.vol003+04.par2", "x.vol007+08.par2", "x.vol015+16.par2",
        "x.vol031+32.par2", "x.vol063+37.par2"}},
  };
  for (const auto& [count, names] : cases) {
    std::vector<std::string> actual;
    for (const Volume& volume : planVolumes(count, "x")) {
      actual.push_back(volume.fileName);
    }
    EXPECT_EQ(actual, names) << count << " recovery slices";
  }
}

// A set that cannot be written says why and leaves none of its files.
TEST(SetWriter, WriteErrorLeavesNoFiles) {
  test::TempDir dir;
  dir.write("a.bin", randomBytes(50000, 6));
  PlanRequest request;
  request.sliceSize = 4096;
  const FileSetReport report = makeSetFromFiles(dir.path(), {"a.bin"}, request, SetOptions{dir.file("missing"), "set"});
  EXPECT_FALSE(report.result.written);
  EXPECT_NE(report.result.error.find("cannot write " + dir.file("missing/set.vol")), std::string::npos)
      << report.result.error;
  EXPECT_TRUE(setFilesIn(dir.path()).empty());
}

TEST(SetWriter, RefusesAPlanForOtherFilesOrABadName) {
  test::TempDir out;
  PlanRequest request;
  request.fileSizes = {5000};
  request.sliceSize = 1000;
  Plan plan;
  ASSERT_EQ(makePlan(request, plan), "");
  std::string error;
  EXPECT_FALSE(SetWriter::create(plan, {{"a.bin", 7000, {}}}, SetOptions{out.path(), "set"}, error));
  EXPECT_NE(error.find("another size of a.bin"), std::string::npos) << error;
  EXPECT_FALSE(SetWriter::create(plan, {{"a.bin", 5000, {}}}, SetOptions{out.path(), "sub/set"}, error));
  EXPECT_NE(error.find("name"), std::string::npos) << error;
}

}  // namespace
}  // namespace tidewell::par2
