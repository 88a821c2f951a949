#pragma once

#include <memory>
#include <string>

#include "app/app_context.h"
#include "support/temp_dir.h"

namespace tidewell {
class tidewellApp;
}

namespace tidewell::test {

// A configuration in a fresh folder, with the switches a test needs. Tests of
// the widgets run under Qt's offscreen platform; the one QApplication of the
// test program is made before the first test (qt_environment_test.cpp).
struct AppFixture {
  explicit AppFixture(bool postAtStart = false, std::string iniContent = "");

  TempDir dir;
  std::unique_ptr<ScopedChdir> chdir;  // spool files are written to the current directory
  std::unique_ptr<AppContext> context;
};

// The program's application object and the context it was made with.
[[nodiscard]] tidewellApp& application();
[[nodiscard]] AppContext& applicationContext();

}  // namespace tidewell::test
