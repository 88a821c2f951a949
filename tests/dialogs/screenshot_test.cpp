// Pictures of the posting panel for the documentation: with
// TIDEWELL_SCREENSHOT_DIR set, the panel is filled through its display
// interface as in the middle of a run and saved there as a PNG.
#include <gtest/gtest.h>

#include <QImage>
#include <cstdlib>

#include "dialogs/dlg_post.h"
#include "settings/settings_store.h"
#include "support/manual_clock.h"
#include "support/qt/fake_frame.h"
#include "support/scripted_prompt.h"
#include "support/temp_dir.h"

namespace tidewell {
namespace {

TEST(Screenshot, PostingPanelInTheMiddleOfARun) {
  const char* folder = std::getenv("TIDEWELL_SCREENSHOT_DIR");
  if (folder == nullptr || *folder == '\0') {
    GTEST_SKIP() << "TIDEWELL_SCREENSHOT_DIR is not set";
  }
  test::TempDir dir;
  SettingsStore store(dir.file("Tidewell.INI"));
  ScriptedPrompt prompt;
  ManualClock clock(1'700'000'040 + 11);  // a quotation in the hint panel
  test::FakeFrame frame;
  DlgPost panel(DialogServices{frame, store, prompt}, clock);
  frame.posting = &panel;
  frame.show();
  frame.switchPanel(&panel);

  panel.LockButtons();
  panel.ShowTip();
  panel.ShowState("Posted 38400 of 60642 (63%)");
  panel.ShowTimeRate("0:02 / 0:01 - 18.75 Kb/Sec");
  panel.ShowEstimate("Elapsed: 00:00:41 To Go: 00:00:12");
  panel.ShowOutboundInfo("news.example.net\rPosting article 3 of 4");
  panel.ShowInboundInfo("340 Ok, recommended message-ID <tw.3@news.example.net>");
  panel.AddFileLine("001 buoy.gif ... ");
  panel.AppendToFileLine("Ok. (1/1 - 0:03 - 21.30 Kb/Sec)");
  panel.AddFileLine("002 harbour.png ... ");
  panel.AppendToFileLine("Ok. (1/2 - 0:04 - 19.90 Kb/Sec)");
  panel.AddFileLine("002 harbour.png ... ");
  panel.AppendToFileLine("Ok. (2/2 - 0:02 - 20.12 Kb/Sec)");
  panel.AddFileLine("003 readme.txt ... ");
  panel.AppendToFileLine("Failed. 441 Posting not allowed in alt.binaries.test");
  panel.AddFileLine("004 tides.dat ... ");
  panel.OutboundLight();
  panel.HeartbeatLight();

  const QString path = QString::fromLocal8Bit(folder) + QStringLiteral("/posting-run.png");
  EXPECT_TRUE(panel.grab().toImage().save(path));
}

}  // namespace
}  // namespace tidewell
