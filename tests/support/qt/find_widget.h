#pragma once

#include <gtest/gtest.h>

#include <QObject>
#include <QString>

#include "support/qt/qt_printers.h"

namespace tidewell::test {

// The child of `parent` with the object name `name`; fails the test (and
// returns nullptr) when there is none of that type.
template <typename Widget>
Widget* findWidget(const QObject& parent, const char* name) {
  auto* widget = parent.findChild<Widget*>(QString::fromLatin1(name));
  EXPECT_NE(widget, nullptr) << "no widget named " << name;
  return widget;
}

}  // namespace tidewell::test
