// The application object every widget test of this program needs: the real
// tidewellApp, made once before the first test under Qt's offscreen platform,
// with a configuration of its own in a temporary folder.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <memory>

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
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    dir_ = std::make_unique<TempDir>();
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
