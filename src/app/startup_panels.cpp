#include "app/startup_panels.h"

#include "app/app_context.h"
#include "dialogs/dlg_about.h"
#include "dialogs/dlg_post.h"
#include "dialogs/posting_commands.h"
#include "posting/posting_session.h"

namespace tidewell {

StartupPanels createStartupPanels(AppContext& context, PanelHost& host) {
  StartupPanels panels;
  auto posting = std::make_unique<DlgPost>(DialogServices{host, context.settings, context.prompt}, context.clock);
  DlgPost& panel = *posting;
  // The posting panel owns the session and is its display; Quit while idle
  // closes the panel, and with it the frame.
  auto session = std::make_unique<PostingSession>(
      PostingSession::Services{context.loop, context.settings, *context.uploadList, *context.socketManager, panel,
                               context.prompt},
      SessionFlags{context.postAtStart, context.quitWhenDone}, [&panel] { panel.closePanel(); });
  posting->setCommands(std::make_unique<SessionCommands>(std::move(session)));
  panels.posting = std::move(posting);
  panels.about = std::make_unique<DlgAbout>(host);
  return panels;
}

}  // namespace tidewell
