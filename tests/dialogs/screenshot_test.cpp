// The pictures of docs/screenshots: with TIDEWELL_SCREENSHOT_DIR set, the
// real panels are shown with neutral example values (no path or system of
// the machine that takes them) and saved there as PNG files; under
// QT_SCALE_FACTOR=1.5 their names end in "-1.5x".
#include <gtest/gtest.h>

#include <QImage>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <cstdlib>
#include <utility>

#include "dialogs/dlg_about.h"
#include "dialogs/dlg_group.h"
#include "dialogs/dlg_post.h"
#include "dialogs/dlg_server.h"
#include "dialogs/dlg_set.h"
#include "settings/settings_store.h"
#include "support/manual_clock.h"
#include "support/qt/fake_frame.h"
#include "support/scripted_prompt.h"
#include "support/temp_dir.h"

namespace tidewell {
namespace {

QString screenshotFolder() {
  const char* folder = std::getenv("TIDEWELL_SCREENSHOT_DIR");
  return folder == nullptr ? QString() : QString::fromLocal8Bit(folder);
}

void save(QWidget& panel, const char* name) {
  QString file = QLatin1String(name);
  if (const qreal scale = panel.devicePixelRatioF(); scale != 1.0) {
    file.replace(QStringLiteral(".png"), QStringLiteral("-%1x.png").arg(scale));
  }
  EXPECT_TRUE(panel.grab().toImage().save(screenshotFolder() + QLatin1Char('/') + file)) << name;
}

TEST(Screenshot, ThePanelsAtRest) {
  if (screenshotFolder().isEmpty()) {
    GTEST_SKIP() << "TIDEWELL_SCREENSHOT_DIR is not set";
  }
  test::TempDir dir;
  SettingsStore store(dir.file("Tidewell.INI"));
  for (const auto& [key, value] : {std::pair{"Host", "news.example.net"},
                                   {"From", "Poster <poster@example.net>"},
                                   {"Subject", "Holiday pictures"},
                                   {"Directory", "/home/me/uploads"},
                                   {"Newsgroup", "alt.binaries.test,alt.test"},
                                   {"PartSize", "60000"},
                                   {"Encryption", "TLS"},
                                   {"TLSCAFile", "/home/me/certs/news-ca.pem"},
                                   {"Encoding", "yEnc"},
                                   {"MessageIDs", "TRUE"},
                                   {"NZB", "TRUE"}}) {
    store.write(key, value);
  }
  dir.write("groups.dat",
            "alt.binaries.pictures 0000001234 0000000001 y\nalt.binaries.test 0000000010 0000000001 y\n"
            "alt.test 0000000020 0000000001 y\ncomp.lang.c++ 1 2 y\nnews.software.readers 3 4 y\n"
            "Tidewell.test 5 6 y\n");
  ScriptedPrompt prompt;
  ManualClock clock(1'700'000'040 + 3);  // a note about the program in the hint panel
  test::FakeFrame frame;
  frame.show();

  DlgAbout about(frame);
  frame.switchPanel(&about);
  save(about, "about.png");

  DlgPost posting(DialogServices{frame, store, prompt}, clock);
  frame.posting = &posting;
  frame.switchPanel(&posting);
  posting.ShowState("Idle.");
  posting.ShowOutboundInfo("Tidewell sockets 1.1 on Linux 6.1.0 (Berkeley sockets, epoll)");
  posting.HeartbeatLight();
  posting.showTip();
  save(posting, "posting-idle.png");

  DlgSet settings(DialogServices{frame, store, prompt});
  frame.switchPanel(&settings);
  save(settings, "settings.png");

  QTest::mouseClick(settings.findChild<QPushButton*>(QStringLiteral("groupsButton")), Qt::LeftButton);
  ASSERT_NE(settings.groupDialog(), nullptr);
  save(*settings.groupDialog(), "groups.png");

  frame.switchPanel(&settings);
  QTest::mouseClick(settings.findChild<QPushButton*>(QStringLiteral("serverButton")), Qt::LeftButton);
  ASSERT_NE(settings.serverDialog(), nullptr);
  save(*settings.serverDialog(), "server.png");
  settings.serverDialog()->findChild<QTabWidget*>(QStringLiteral("serverTabs"))->setCurrentIndex(1);
  save(*settings.serverDialog(), "server-security.png");
}

TEST(Screenshot, PostingPanelInTheMiddleOfARun) {
  if (screenshotFolder().isEmpty()) {
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
  panel.showTip();
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

  save(panel, "posting-run.png");
}

}  // namespace
}  // namespace tidewell
