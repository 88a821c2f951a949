#include "app/tidewell_app.h"

#include <exception>

#include "app/app_context.h"
#include "app/frame_window.h"
#include "app/loop_notifier.h"
#include "app/startup_panels.h"
#include "dialogs/qt_prompt.h"
#include "upload/spool_files.h"

// Q_INIT_RESOURCE declares a function and must be used outside any namespace.
static void initResourcesOutsideNamespace() {
  Q_INIT_RESOURCE(tidewell);
}

namespace tidewell {

void initTidewellResources() {
  initResourcesOutsideNamespace();
}

tidewellApp::tidewellApp(int& argc, char** argv, AppContext& context)
    : QApplication(argc, argv), context_(context), loopNotifier_(std::make_unique<LoopNotifier>(context.loop)) {
  initTidewellResources();
  setApplicationName(QStringLiteral("Tidewell"));
  setApplicationVersion(QStringLiteral(TIDEWELL_VERSION));
  setDesktopFileName(QStringLiteral("tidewell"));
  // The program ends when the frame closes, not when some last window does
  // (a message box may be the last one open for a moment).
  setQuitOnLastWindowClosed(false);
  context_.prompt.setTarget(std::make_unique<QtPrompt>());
  context_.socketManager = startSocketManager(context_.loop);
}

// The frame goes first: its panels and the posting session use sockets and
// the socket service, which must outlive them.
tidewellApp::~tidewellApp() {
  frame_.reset();
  context_.socketManager.reset();
  deleteSpoolFiles();
  loopNotifier_.reset();
  // Message boxes from here on (the entry's, after the loop) go to standard
  // error: no Qt application is left to show them.
  context_.prompt.setTarget(std::make_unique<StderrPrompt>());
}

void tidewellApp::initMainWindow() {
  frame_ = std::make_unique<TMyFrameWindow>(context_);
  StartupPanels panels = createStartupPanels(context_, *frame_);
  frame_->setPanels(std::move(panels.about), std::move(panels.posting));
  connect(frame_.get(), &TMyFrameWindow::closed, this, &QCoreApplication::quit, Qt::QueuedConnection);
}

void tidewellApp::closeMainWindow() {
  if (frame_ != nullptr) {
    frame_->close();
  } else {
    quit();
  }
}

int tidewellApp::run() {
  initMainWindow();
  frame_->start();
  exec();
  if (exceptionCaught_) {
    context_.prompt.ask(exceptionText_, "Exception", PromptButtons::Ok, PromptIcon::None, PromptAnswer::Ok);
    return -1;
  }
  return 0;
}

bool tidewellApp::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    if (!exceptionCaught_) {
      exceptionCaught_ = true;
      exceptionText_ = error.what();
    }
    exit(-1);
  }
  return false;
}

}  // namespace tidewell
