#include "app/entry.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "app/app_context.h"
#include "app/command_line.h"
#include "app/config_path.h"
#include "app/display_probe.h"
#include "app/headless_front_end.h"
#include "app/settings_commands.h"
#include "app/signal_watch.h"
#include "app/tidewell_app.h"
#include "dialogs/qt_prompt.h"
#include "platform/instance_lock.h"
#include "settings/settings_store.h"

namespace tidewell {

namespace {

constexpr const char* kNoMemoryForList = "Error: Unable to allocate memory for the process list.";

bool createUploadList(AppContext& context) {
  try {
    context.uploadList = std::make_unique<nodeManagerClass>();
  } catch (const std::bad_alloc&) {
    return false;
  }
  return context.uploadList != nullptr;
}

// A message box before the Qt application exists (or after it is gone):
// in the desktop front end a short-lived application shows it.
void showOutsideTheApp(bool headless, int& argc, char** argv, const std::string& text, const char* caption,
                       PromptIcon icon) {
  if (headless) {
    StderrPrompt().notify(text, caption, icon);
    return;
  }
  const QApplication app(argc, argv);
  QtPrompt().notify(text, caption, icon);
}

int runDesktopFrontEnd(AppContext& context, int& argc, char** argv) {
  // Before Qt starts its threads, so that they leave the signals to the loop.
  SignalWatch stopSignals(context.loop);
  tidewellApp app(argc, argv, context);
  stopSignals.onSignal([&app](int signal) {
    std::fprintf(stderr, "Tidewell: closing on signal %d.\n", signal);
    app.closeMainWindow();
  });
  return app.run();
}

// Help, version and the settings read from the command line: no lock, and
// no file written or created.
int runQuietCommand(const CommandLine& commandLine, const std::string& configFilePath) {
  switch (commandLine.command) {
    case Command::Help:
      std::fputs(helpText(configFilePath).c_str(), stdout);
      return 0;
    case Command::Version:
      std::fputs(versionText().c_str(), stdout);
      return 0;
    case Command::Usage:
      std::fprintf(stderr, "Tidewell: %s See tidewell --help.\n", commandLine.usageError.c_str());
      return kExitUsage;
    case Command::Get:
      return printSetting(SettingsStore(configFilePath), commandLine.key, stdout, stderr);
    case Command::Settings:
      printSettings(SettingsStore(configFilePath), stdout);
      return 0;
    case Command::Run:
    case Command::Set:
      break;
  }
  return 0;
}

}  // namespace

int runTidewell(int& argc, char** argv) {
  const CommandLine commandLine = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  const ConfigLocations where = currentConfigLocations();
  const std::string configFilePath = commandLine.configFilePath.value_or(defaultConfigFilePath(where));
  if (commandLine.command != Command::Run && commandLine.command != Command::Set) {
    return runQuietCommand(commandLine, configFilePath);
  }
  // Values are checked before anything else, so a refused one leaves every
  // file as it was.
  std::optional<std::vector<SettingAssignment>> assignments;
  if (commandLine.command == Command::Set) {
    assignments = checkAssignments(commandLine.assignments, stderr);
    if (!assignments) {
      return kExitUsage;
    }
  }

  // One instance per user. A second start ends here: nothing shown, no file
  // read or written. The settings are not changed under a running instance
  // either: it writes some of them itself, and its settings panel all of them.
  std::unique_ptr<InstanceLock> lock;
  const std::string lockPath = defaultInstanceLockPath();
  switch (InstanceLock::acquire(lockPath, lock)) {
    case InstanceLock::Outcome::Acquired:
      break;
    case InstanceLock::Outcome::HeldElsewhere:
      if (assignments) {
        std::fputs("Tidewell: another instance is running; close it before changing the settings.\n", stderr);
      }
      return -1;
    case InstanceLock::Outcome::Unavailable:
      std::fprintf(stderr, "Tidewell: cannot use the lock file %s; a second instance will not be noticed.\n",
                   lockPath.c_str());
      break;
  }

  prepareConfigFolder(configFilePath, where);
  if (assignments) {
    SettingsStore settings(configFilePath);
    return writeAssignments(settings, *assignments, stderr);
  }

  const FrontEndChoice frontEnd = chooseFrontEnd(commandLine.headless, systemDisplayEnvironment());
  if (!frontEnd.warning.empty()) {
    std::fprintf(stderr, "%s\n", frontEnd.warning.c_str());
  }
  if (!frontEnd.platform.empty() && std::getenv("QT_QPA_PLATFORM") == nullptr) {
    setenv("QT_QPA_PLATFORM", frontEnd.platform.c_str(), 1);
  }

  AppContext context(configFilePath, commandLine.postAtStart, commandLine.quitWhenDone);
  try {
    if (!createUploadList(context)) {
      showOutsideTheApp(frontEnd.headless, argc, argv, kNoMemoryForList, kAppTitle, PromptIcon::Stop);
      return 1;
    }
    const int status = frontEnd.headless ? runHeadlessFrontEnd(context) : runDesktopFrontEnd(context, argc, argv);
    // The list outlives everything that may use it.
    context.uploadList.reset();
    return status;
  } catch (const std::exception& error) {
    showOutsideTheApp(frontEnd.headless, argc, argv, error.what(), "Exception", PromptIcon::None);
    return -1;
  }
}

}  // namespace tidewell
