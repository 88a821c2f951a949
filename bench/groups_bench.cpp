// How long the group selection panel takes to open with a full server's
// group list: writes a groups.dat of N lines (default 100,000, in the
// "name last first flag" form of a newsreader's active file, in random
// order) beside a scratch configuration file, opens the settings panel and
// presses its "..." beside Newsgroups, and prints the time until the group
// panel is shown with both lists filled. Best of R runs (default 5).
//
//   build/bench/groups_bench [lines] [runs]
#include <unistd.h>

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "dialogs/dlg_group.h"
#include "dialogs/dlg_set.h"
#include "dialogs/panel_host.h"
#include "platform/user_prompt.h"
#include "settings/settings_store.h"

namespace {

// Shows one panel at a time, as the frame does.
class BenchFrame final : public QWidget, public tidewell::PanelHost {
 public:
  void switchPanel(QWidget* panel) override {
    if (shown_ != nullptr) {
      shown_->hide();
    }
    panel->setParent(this);
    panel->show();
    resize(panel->size());
    tidewell::focusFirstControl(*panel);
    shown_ = panel;
  }
  [[nodiscard]] QWidget* postingPanel() const override { return nullptr; }

 private:
  QWidget* shown_ = nullptr;
};

void writeGroupsFile(const std::string& path, int lines) {
  std::vector<std::string> names;
  names.reserve(static_cast<std::size_t>(lines));
  const char* const hierarchies[] = {"alt.binaries.", "comp.lang.", "de.rec.", "news.software.", "Rec.Arts."};
  for (int i = 0; i < lines; ++i) {
    names.push_back(std::string(hierarchies[i % 5]) + "group" + std::to_string(i) + " 0000012345 0000000001 y\n");
  }
  std::shuffle(names.begin(), names.end(), std::mt19937(20261208));
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) {
    std::perror(path.c_str());
    std::exit(1);
  }
  for (const std::string& line : names) {
    std::fputs(line.c_str(), file);
  }
  std::fclose(file);
}

}  // namespace

int main(int argc, char** argv) {
  const int lines = argc > 1 ? std::atoi(argv[1]) : 100000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);

  char folder[] = "/tmp/tidewell-groups-XXXXXX";
  if (mkdtemp(folder) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::string dir(folder);
  writeGroupsFile(dir + "/groups.dat", lines);
  tidewell::SettingsStore settings(dir + "/Tidewell.INI");
  settings.write("Newsgroup", "alt.test,comp.lang.c");
  tidewell::StderrPrompt prompt;

  double best = 1e9;
  double bestCpu = 1e9;
  int available = 0;
  for (int run = 0; run < runs; ++run) {
    BenchFrame frame;
    frame.show();
    tidewell::DlgSet settingsPanel(tidewell::DialogServices{frame, settings, prompt});
    frame.switchPanel(&settingsPanel);
    QApplication::processEvents();
    auto* choose = settingsPanel.findChild<QPushButton*>(QStringLiteral("groupsButton"));

    const std::clock_t cpuStart = std::clock();
    const auto start = std::chrono::steady_clock::now();
    choose->click();
    QApplication::processEvents();  // laid out and painted
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();

    const double cpuMs = 1000.0 * static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    available = settingsPanel.groupDialog()->findChild<QListWidget*>(QStringLiteral("availableList"))->count();
    best = std::min(best, ms);
    bestCpu = std::min(bestCpu, cpuMs);
    std::printf("run %d: %.1f ms (%.1f ms of processor time)\n", run + 1, ms, cpuMs);
  }
  std::printf(
      "groups: %d lines in groups.dat, %d available entries, group selection opens in %.1f ms "
      "(%.1f ms of processor time; best of %d)\n",
      lines, available, best, bestCpu, runs);
  std::remove((dir + "/groups.dat").c_str());
  std::remove((dir + "/Tidewell.INI").c_str());
  rmdir(folder);
  return 0;
}
