#include "app/startup_panels.h"

#include "app/placeholder_panels.h"
#include "dialogs/dlg_about.h"

namespace tidewell {

StartupPanels createStartupPanels(AppContext& /*context*/, PanelHost& host) {
  StartupPanels panels;
  panels.posting = std::make_unique<PlaceholderPostingPanel>();
  panels.about = std::make_unique<DlgAbout>(host);
  return panels;
}

}  // namespace tidewell
