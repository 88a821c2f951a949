#include "dialogs/dlg_about.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPushButton>
#include <QTest>

#include "support/qt/fake_frame.h"
#include "support/qt/find_widget.h"

namespace tidewell {
namespace {

class DlgAboutTest : public ::testing::Test {
 protected:
  DlgAboutTest() {
    posting.setFixedSize(722, 474);
    frame.posting = &posting;
    frame.show();
    frame.switchPanel(&about);
  }

  QWidget posting;
  test::FakeFrame frame;
  DlgAbout about{frame};
};

TEST_F(DlgAboutTest, ContinueHandsTheFrameToThePostingPanel) {
  const QSize aboutSize = frame.size();
  EXPECT_EQ(aboutSize, about.size());
  EXPECT_LT(aboutSize.width(), posting.width());
  QTest::mouseClick(test::findWidget<QPushButton>(about, "continueButton"), Qt::LeftButton);
  EXPECT_EQ(frame.shown(), &posting);
  EXPECT_EQ(frame.size(), posting.size());
  EXPECT_FALSE(about.isVisible());
  EXPECT_EQ(about.result(), QDialog::Accepted);
  EXPECT_EQ(frame.switches.size(), 2U);
}

TEST_F(DlgAboutTest, EscapeAlsoMovesOnToPosting) {
  QTest::keyClick(&about, Qt::Key_Escape);
  EXPECT_EQ(frame.shown(), &posting);
}

TEST_F(DlgAboutTest, ThePictureIsDrawnStretchedOverTheWholePanel) {
  const QImage picture(QString::fromLatin1(DlgAbout::kPictureResource));
  ASSERT_EQ(picture.size(), QSize(422, 339));
  const QImage shown = about.grab().toImage();
  ASSERT_EQ(shown.size(), about.size());
  // Corners of the panel show the corners of the picture, wherever the
  // panel's size differs from the picture's.
  const auto near = [](QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) < 24 && std::abs(qGreen(a) - qGreen(b)) < 24 &&
           std::abs(qBlue(a) - qBlue(b)) < 24;
  };
  EXPECT_TRUE(near(shown.pixel(1, 1), picture.pixel(1, 1)));
  EXPECT_TRUE(near(shown.pixel(shown.width() - 2, 1), picture.pixel(420, 1)));
  EXPECT_TRUE(near(shown.pixel(1, shown.height() - 2), picture.pixel(1, 337)));
  EXPECT_EQ(about.windowTitle(), "Tidewell - Automatic News Posting");
}

}  // namespace
}  // namespace tidewell
