#pragma once

#include <QDialog>
#include <QPixmap>
#include <memory>

namespace Ui {
class AboutDlg;
}

namespace tidewell {

class PanelHost;

// The about panel shown at start: the about picture stretched over the whole
// panel and one button, Continue, which hands the frame to the posting
// panel. It is shown at most once per run.
class DlgAbout : public QDialog {
  Q_OBJECT

 public:
  // The picture, 422 x 339 pixels, in the program's resources.
  static constexpr const char* kPictureResource = ":/about/about.png";

  explicit DlgAbout(PanelHost& host, QWidget* parent = nullptr);
  ~DlgAbout() override;
  DlgAbout(const DlgAbout&) = delete;
  DlgAbout& operator=(const DlgAbout&) = delete;

 public slots:
  // Escape, like Continue, moves on to the posting panel.
  void reject() override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void continueToPosting();

  std::unique_ptr<Ui::AboutDlg> ui_;
  PanelHost& host_;
  QPixmap aboutPicture_;
};

}  // namespace tidewell
