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

// Makes the posting panel, then the about panel, as start-up does; `host` is
// the frame they will be shown in.
[[nodiscard]] StartupPanels createStartupPanels(AppContext& context, PanelHost& host);

}  // namespace tidewell
