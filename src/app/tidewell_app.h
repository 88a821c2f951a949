#pragma once

#include <QApplication>
#include <memory>
#include <string>

namespace tidewell {

class AppContext;
class LoopNotifier;
class TMyFrameWindow;

// The Qt application object of the desktop front end. Its construction joins
// the program's message loop to Qt's; run() creates the main window with its
// panels and runs the loop until the frame has closed. Its destruction takes
// the frame down first (the panels and the posting session with it), then
// deletes the spool files.
class tidewellApp final : public QApplication {
  Q_OBJECT

 public:
  tidewellApp(int& argc, char** argv, AppContext& context);
  ~tidewellApp() override;
  tidewellApp(const tidewellApp&) = delete;
  tidewellApp& operator=(const tidewellApp&) = delete;
  tidewellApp(tidewellApp&&) = delete;
  tidewellApp& operator=(tidewellApp&&) = delete;

  // 0 when the loop ended normally; -1 when an exception with a message
  // reached the loop (the message has been shown under "Exception").
  int run();

  [[nodiscard]] TMyFrameWindow* frame() const { return frame_.get(); }
  // Creates the frame and its panels; run() does it first. Public for tests.
  void initMainWindow();
  // Closes the frame as its close box does, which ends the run; before the
  // frame exists, ends the loop.
  void closeMainWindow();

  // Catches an exception that an event handler lets escape: Qt's loop cannot
  // carry one, so it is kept, the loop is ended and run() reports it.
  bool notify(QObject* receiver, QEvent* event) override;

 private:
  AppContext& context_;
  std::unique_ptr<LoopNotifier> loopNotifier_;
  std::unique_ptr<TMyFrameWindow> frame_;
  std::string exceptionText_;
  bool exceptionCaught_ = false;
};

// Makes the program's resources (the icon ICON_1, the about picture) known to
// Qt; they are linked from a static library.
void initTidewellResources();

}  // namespace tidewell
