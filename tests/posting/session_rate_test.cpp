// MaxRate on a real run: the one connection (448-byte chunks or fast
// posting's large writes) and the links all hold to the cap, and the
// articles arrive whole.
#include <gtest/gtest.h>

#include <algorithm>

#include "posting/session_fixture.h"

namespace tidewell::test {
namespace {

struct RateCase {
  const char* name;
  bool fast;
  int connections;
};

class CappedRun : public SessionTest, public ::testing::WithParamInterface<RateCase> {
 protected:
  // Posts three files of 12 KiB with MaxRate=`kib` (0: none); gives the loop
  // time the run took, stepping the clock 100 ms at a time.
  std::int64_t postWithCap(int kib) {
    const RateCase& c = GetParam();
    configure();
    setting("FastPosting", c.fast ? "TRUE" : "FALSE");
    useConnections(c.connections);
    setting("MaxRate", std::to_string(kib));
    for (const char* name : {"a.bin", "b.bin", "c.bin"}) {
      std::string data(12 * 1024, '\0');
      for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>(i * 131 + name[0]);
      }
      addFile(name, data);
    }
    start();
    const std::int64_t begin = run.clock.monotonicMs();
    session->post();
    for (int step = 0; step < 3000; ++step) {
      if (settle([this] { return session->isIdle() && session->outcome() != RunOutcome::NotRun; })) {
        break;
      }
      run.clock.advanceMs(100);
    }
    EXPECT_EQ(session->outcome(), RunOutcome::Finished);
    return run.clock.monotonicMs() - begin;
  }
};

// The articles' bodies (after the headers), in order.
std::vector<std::string> bodies(const std::vector<std::string>& articles) {
  std::vector<std::string> found;
  for (const std::string& article : articles) {
    found.push_back(article.substr(article.find("\r\n\r\n")));
  }
  std::sort(found.begin(), found.end());
  return found;
}

TEST_P(CappedRun, ArticleBytesKeepToTheCapAndArriveWhole) {
  const std::int64_t uncappedMs = postWithCap(0);
  const std::vector<std::string> uncapped = server.articles();
  ASSERT_EQ(uncapped.size(), 3u);
  std::int64_t bytes = 0;
  for (const std::string& article : uncapped) {
    bytes += static_cast<std::int64_t>(article.size());
  }
  session.reset();
  constexpr int kKib = 8;
  const std::int64_t cappedMs = postWithCap(kKib);
  std::vector<std::string> capped = server.articles();
  capped.erase(capped.begin(), capped.begin() + 3);
  EXPECT_EQ(bodies(capped), bodies(uncapped));
  const std::int64_t atCapMs = bytes * 1000 / (kKib * 1024);
  EXPECT_GE(cappedMs, atCapMs * 95 / 100) << bytes << " bytes, uncapped in " << uncappedMs << " ms";
  EXPECT_LE(cappedMs, atCapMs + uncappedMs + 2000) << bytes << " bytes";
}

INSTANTIATE_TEST_SUITE_P(RateCap, CappedRun,
                         ::testing::Values(RateCase{"Chunks", false, 1}, RateCase{"Fast", true, 1},
                                           RateCase{"ThreeLinks", true, 3}),
                         [](const auto& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace tidewell::test
