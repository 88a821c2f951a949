#include "app/display_probe.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>

namespace tidewell {
namespace {

struct FakeDisplay {
  std::map<std::string, std::string> variables;
  bool x = false;
  bool wayland = false;
  int probes = 0;

  DisplayEnvironment environment() {
    DisplayEnvironment env;
    env.variable = [this](const char* name) {
      const auto it = variables.find(name);
      return it == variables.end() ? std::string() : it->second;
    };
    env.xDisplayReachable = [this] {
      ++probes;
      return x;
    };
    env.waylandReachable = [this](const std::string&) {
      ++probes;
      return wayland;
    };
    return env;
  }
};

TEST(DisplayProbe, NoDisplayOrAskedForMeansHeadlessWithoutWarning) {
  FakeDisplay none;
  FrontEndChoice choice = chooseFrontEnd(false, none.environment());
  EXPECT_TRUE(choice.headless);
  EXPECT_TRUE(choice.warning.empty());

  FakeDisplay working{{{"DISPLAY", ":0"}}, true};
  choice = chooseFrontEnd(true, working.environment());
  EXPECT_TRUE(choice.headless);
  EXPECT_TRUE(choice.warning.empty());
  EXPECT_EQ(working.probes, 0);
}

TEST(DisplayProbe, ReachableXDisplayGivesTheWindow) {
  FakeDisplay x{{{"DISPLAY", ":0"}}, true};
  const FrontEndChoice choice = chooseFrontEnd(false, x.environment());
  EXPECT_FALSE(choice.headless);
  EXPECT_TRUE(choice.platform.empty());
}

TEST(DisplayProbe, StaleDisplayFallsBackToHeadlessWithAWarning) {
  FakeDisplay stale{{{"DISPLAY", ":99"}}, false};
  const FrontEndChoice choice = chooseFrontEnd(false, stale.environment());
  EXPECT_TRUE(choice.headless);
  EXPECT_NE(choice.warning.find("\":99\""), std::string::npos);
}

TEST(DisplayProbe, WaylandIsUsedWhenXIsNotThere) {
  FakeDisplay wayland{{{"DISPLAY", ":99"}, {"WAYLAND_DISPLAY", "wayland-0"}}, false, true};
  FrontEndChoice choice = chooseFrontEnd(false, wayland.environment());
  EXPECT_FALSE(choice.headless);
  EXPECT_EQ(choice.platform, "wayland");

  // The user asked for X11 only: no fallback to Wayland.
  wayland.variables["QT_QPA_PLATFORM"] = "xcb";
  choice = chooseFrontEnd(false, wayland.environment());
  EXPECT_TRUE(choice.headless);
}

TEST(DisplayProbe, AnExplicitOtherQtPlatformIsTrusted) {
  FakeDisplay offscreen{{{"DISPLAY", ":99"}, {"QT_QPA_PLATFORM", "offscreen"}}};
  const FrontEndChoice choice = chooseFrontEnd(false, offscreen.environment());
  EXPECT_FALSE(choice.headless);
  EXPECT_EQ(offscreen.probes, 0);
}

TEST(DisplayProbe, RealProbeOfAClosedDisplayFailsQuietly) {
  const DisplayEnvironment env = systemDisplayEnvironment();
  EXPECT_FALSE(env.waylandReachable("/nonexistent/wayland-socket"));
  const char* old = std::getenv("DISPLAY");
  const std::string saved = old != nullptr ? old : "";
  setenv("DISPLAY", ":9876", 1);  // no X server listens there
  EXPECT_FALSE(env.xDisplayReachable());
  if (old != nullptr) {
    setenv("DISPLAY", saved.c_str(), 1);
  } else {
    unsetenv("DISPLAY");
  }
}

}  // namespace
}  // namespace tidewell
