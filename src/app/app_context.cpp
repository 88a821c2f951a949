#include "app/app_context.h"

namespace tidewell {

AppContext::AppContext(std::string path, bool post, bool quit)
    : configFilePath(std::move(path)), postAtStart(post), quitWhenDone(quit), loop(clock), settings(configFilePath) {}

AppContext::~AppContext() = default;

std::unique_ptr<SocketManager> startSocketManager(MessageLoop& loop) {
  return std::make_unique<SocketManager>(loop, kSocketMajorVersion, kSocketMinorVersion, 1);
}

}  // namespace tidewell
