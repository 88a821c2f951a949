#pragma once

#include <QScrollArea>
#include <QVBoxLayout>
#include <QWidget>
#include <memory>

#include "dialogs/panel_host.h"

namespace tidewell {

class AppContext;

// The main window: a fixed-size top-level frame that shows exactly one panel
// at a time and fits its size to it, as far as the screen allows: a panel
// larger than the screen's free area is shown in a frame of that area and
// scrolls. It has a minimise and a close box but no maximise box and no
// sizing border. A folder dropped on it becomes the upload directory (on
// the posting panel while no run is on, or in the settings panel's field). It remembers its screen position in
// the configuration file (keys X and Y), and closes itself, which ends the
// program, when the panel it shows is closed or destroyed.
class TMyFrameWindow final : public QWidget, public PanelHost {
  Q_OBJECT

 public:
  // Deletes both spool files left from an earlier run.
  explicit TMyFrameWindow(AppContext& context);
  // Deletes both spool files again, saves the position, destroys the panels.
  ~TMyFrameWindow() override;
  TMyFrameWindow(const TMyFrameWindow&) = delete;
  TMyFrameWindow& operator=(const TMyFrameWindow&) = delete;
  TMyFrameWindow(TMyFrameWindow&&) = delete;
  TMyFrameWindow& operator=(TMyFrameWindow&&) = delete;

  // The two panels that live as long as the frame.
  void setPanels(std::unique_ptr<QWidget> about, std::unique_ptr<QWidget> posting);
  // Moves the frame to the saved position, installs the first panel (the
  // posting panel under "/tidewell", else the about panel) and shows it.
  void start();

  // Hide the panel shown now, install `panel` (taken into the frame as a
  // child without its own caption), show it, fit the frame to it and focus
  // its first control. The caller closes the panel it came from only
  // afterwards.
  void switchPanel(QWidget* panel) override;
  [[nodiscard]] QWidget* postingPanel() const override { return posting_.get(); }
  [[nodiscard]] QWidget* aboutPanel() const { return about_.get(); }
  [[nodiscard]] QWidget* currentPanel() const { return current_; }

  // The frame's position, or while minimised or maximised the last position
  // it had before.
  [[nodiscard]] int left() const { return normalPosition().x(); }
  [[nodiscard]] int top() const { return normalPosition().y(); }

 signals:
  // The frame was closed: the program ends.
  void closed();

 protected:
  void moveEvent(QMoveEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  [[nodiscard]] QPoint normalPosition() const;
  // Sizes the frame to the shown panel's preferred size, bounded by the
  // free area of the screen it is on.
  void fitToPanel();
  [[nodiscard]] bool panelTakesFolder() const;
  void restorePosition();
  void savePosition();
  void requestClose();
  void panelDestroyed(QObject* panel);

  AppContext& context_;
  QVBoxLayout frameLayout_;
  QScrollArea scroll_;
  QWidget content_;     // shown inside scroll_
  QVBoxLayout layout_;  // content_'s: holds the panel
  std::unique_ptr<QWidget> about_;
  std::unique_ptr<QWidget> posting_;
  QWidget* current_ = nullptr;  // the panel shown; not owned
  bool switching_ = false;
  bool tearingDown_ = false;
  int left_ = 0;
  int top_ = 0;
};

}  // namespace tidewell
