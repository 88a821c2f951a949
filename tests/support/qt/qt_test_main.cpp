// Test main for the widget tests: GoogleTest inside a QApplication on the
// offscreen platform, so the real widgets can be created, shown and driven
// without a display.
#include <gtest/gtest.h>

#include <QApplication>
#include <QtGlobal>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("TIDEWELL_TEST_QPA")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  } else {
    qputenv("QT_QPA_PLATFORM", qgetenv("TIDEWELL_TEST_QPA"));
  }
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
