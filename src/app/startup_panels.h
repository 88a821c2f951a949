#pragma once

#include <QWidget>
#include <memory>

namespace tidewell {

class AppContext;
class PanelHost;

// The two panels that live as long as the frame.
struct StartupPanels {
  std::unique_ptr<QWidget> about;
  std::unique_ptr<QWidget> posting;
};

// Makes the posting panel with its posting session, then the about panel, as
// start-up does; `host` is the frame they will be shown in. The context's
// upload list and socket manager must exist.
[[nodiscard]] StartupPanels createStartupPanels(AppContext& context, PanelHost& host);

}  // namespace tidewell
