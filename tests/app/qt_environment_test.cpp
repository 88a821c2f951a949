// The application object every widget test of this program needs: the real
// tidewellApp, made once before the first test under Qt's offscreen platform,
// with a configuration of its own in a temporary folder. TIDEWELL_TEST_SCREEN
// (WIDTHxHEIGHT, in device pixels) gives the offscreen platform a screen of
// that size; with QT_SCALE_FACTOR the frame tests then see the desktop of a
// small laptop at 150%.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/tidewell_app.h"
#include "app_test_support.h"

namespace tidewell::test {

AppFixture::AppFixture(bool postAtStart, std::string iniContent) : chdir(std::make_unique<ScopedChdir>(dir.path())) {
  if (!iniContent.empty()) {
    dir.write("Tidewell.INI", iniContent);
  }
  context = std::make_unique<AppContext>(dir.file("Tidewell.INI"), postAtStart, false);
  // The posting panel's session needs both, as in the program.
  context->uploadList = std::make_unique<nodeManagerClass>();
  context->socketManager = startSocketManager(context->loop);
}

namespace {
AppContext* theContext = nullptr;
}  // namespace

AppContext& applicationContext() {
  return *theContext;
}
tidewellApp& application() {
  return *static_cast<tidewellApp*>(QCoreApplication::instance());
}

namespace {

class QtEnvironment final : public ::testing::Environment {
 public:
  void SetUp() override {
    dir_ = std::make_unique<TempDir>();
    const char* screen = std::getenv("TIDEWELL_TEST_SCREEN");
    int width = 0;
    int height = 0;
    if (screen != nullptr && std::sscanf(screen, "%dx%d", &width, &height) == 2) {
      dir_->write("screen.json", "{\"screens\": [{\"name\": \"test\", \"x\": 0, \"y\": 0, \"width\": " +
                                     std::to_string(width) + ", \"height\": " + std::to_string(height) +
                                     ", \"logicalDpi\": 96, \"logicalBaseDpi\": 96, \"dpr\": 1}]}");
      setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + dir_->file("screen.json")).c_str(), 1);
    } else {
      setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    context_ = std::make_unique<AppContext>(dir_->file("Tidewell.INI"), false, false);
    context_->uploadList = std::make_unique<nodeManagerClass>();
    theContext = context_.get();
    app_ = std::make_unique<tidewellApp>(argc_, argv_, *context_);
  }
  void TearDown() override {
    app_.reset();
    context_.reset();
    dir_.reset();
  }

 private:
  int argc_ = 1;
  char name_[16] = "app_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<TempDir> dir_;
  std::unique_ptr<AppContext> context_;
  std::unique_ptr<tidewellApp> app_;
};

// gtest owns the environment it is given.
[[maybe_unused]] ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(std::make_unique<QtEnvironment>().release());

}  // namespace
}  // namespace tidewell::test
