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
#include "app/output_folder.h"
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

// The settings of "--with", in force for this run only: nothing is written.
void layOver(SettingsStore& settings, const std::vector<SettingAssignment>& overrides) {
  for (const SettingAssignment& value : overrides) {
    settings.overlay(SectionKey{value.server, value.key}, value.stored);
  }
}

// Help, version and the settings read from the command line: no lock, and
// no file written or created.
int runQuietCommand(const CommandLine& commandLine, const std::string& configFilePath,
                    const std::vector<SettingAssignment>& overrides) {
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
    case Command::Settings: {
      SettingsStore settings(configFilePath);
      layOver(settings, overrides);
      if (commandLine.command == Command::Get) {
        return printSetting(settings, commandLine.key, stdout, stderr);
      }
      printSettings(settings, stdout);
      return 0;
    }
    case Command::Run:
    case Command::Set:
      break;
  }
  return 0;
}

// The configuration file of this run. With --output the working directory
// changes before the run; the file named keeps being the one beside the
// start folder.
std::string configFileFor(const CommandLine& commandLine, const ConfigLocations& where) {
  const std::string named = commandLine.configFilePath.value_or(defaultConfigFilePath(where));
  if (commandLine.outputFolder && commandLine.command == Command::Run) {
    return pathFrom(where.currentDirectory, named);
  }
  return named;
}

// The settings of "--with", checked; nothing when one is refused (standard
// error says why).
std::optional<std::vector<SettingAssignment>> checkedOverrides(const CommandLine& commandLine,
                                                               const std::string& configFilePath) {
  const bool readsSettings = commandLine.command == Command::Run || commandLine.command == Command::Get ||
                             commandLine.command == Command::Settings;
  if (!readsSettings || commandLine.overrides.empty()) {
    return std::vector<SettingAssignment>{};
  }
  return checkAssignments(SettingsStore(configFilePath), commandLine.overrides, stderr);
}

// One instance per user. A second start ends here: one line on standard
// error, no window, no file read or written. The settings are not changed
// under a running instance either: it writes some of them itself, and its
// settings panel all of them. False when another instance holds the lock.
bool lockInstance(std::unique_ptr<InstanceLock>& lock, bool changingSettings) {
  const std::string lockPath = defaultInstanceLockPath();
  switch (InstanceLock::acquire(lockPath, lock)) {
    case InstanceLock::Outcome::Acquired:
      break;
    case InstanceLock::Outcome::HeldElsewhere:
      if (changingSettings) {
        std::fputs("Tidewell: another instance is running; close it before changing the settings.\n", stderr);
      } else {
        std::fprintf(stderr, "Tidewell: another Tidewell is already running (it holds %s); this one ends.\n",
                     lockPath.c_str());
      }
      return false;
    case InstanceLock::Outcome::Unavailable:
      std::fprintf(stderr, "Tidewell: cannot use the lock file %s; a second instance will not be noticed.\n",
                   lockPath.c_str());
      break;
  }
  return true;
}

// The spool, report and log files live in the working directory. Two
// programs whose instance locks differ (a desktop session's runtime folder,
// cron's temporary folder) must still not share them: the working
// directory itself is locked too. False when another run holds it.
bool lockWorkingFolder(std::unique_ptr<InstanceLock>& folderLock) {
  switch (InstanceLock::acquireFolder(".", folderLock)) {
    case InstanceLock::Outcome::Acquired:
      break;
    case InstanceLock::Outcome::HeldElsewhere:
      std::fprintf(stderr,
                   "Tidewell: another Tidewell is already running in this working directory and would share its "
                   "spool and report files; this one ends.\n");
      return false;
    case InstanceLock::Outcome::Unavailable:
      std::fprintf(stderr, "Tidewell: cannot lock the working directory; a second run in it will not be noticed.\n");
      break;
  }
  return true;
}

// The front end asked for, or the one the display allows; Qt's platform is
// set for it unless the environment names one.
FrontEndChoice settleFrontEnd(bool headlessAsked) {
  FrontEndChoice frontEnd = chooseFrontEnd(headlessAsked, systemDisplayEnvironment());
  if (!frontEnd.warning.empty()) {
    std::fprintf(stderr, "%s\n", frontEnd.warning.c_str());
  }
  if (!frontEnd.platform.empty() && std::getenv("QT_QPA_PLATFORM") == nullptr) {
    setenv("QT_QPA_PLATFORM", frontEnd.platform.c_str(), 1);
  }
  return frontEnd;
}

int runFrontEnd(AppContext& context, const FrontEndChoice& frontEnd, int& argc, char** argv) {
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

// A posting run, once this instance holds its lock: in the output folder
// when one is named, with the working directory locked.
int runPosting(const CommandLine& commandLine, const std::string& configFilePath, const ConfigLocations& where,
               const std::vector<SettingAssignment>& overrides, int& argc, char** argv) {
  if (commandLine.outputFolder) {
    if (const std::string problem = enterOutputFolder(*commandLine.outputFolder); !problem.empty()) {
      std::fprintf(stderr, "%s\n", problem.c_str());
      return kExitCannotCreate;
    }
  }
  std::unique_ptr<InstanceLock> folderLock;
  if (!lockWorkingFolder(folderLock)) {
    return -1;
  }
  prepareConfigFolder(configFilePath, where);
  const FrontEndChoice frontEnd = settleFrontEnd(commandLine.headless);
  AppContext context(configFilePath, commandLine.postAtStart, commandLine.quitWhenDone);
  layOver(context.settings, overrides);
  return runFrontEnd(context, frontEnd, argc, argv);
}

}  // namespace

int runTidewell(int& argc, char** argv) {
  const CommandLine commandLine = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  const ConfigLocations where = currentConfigLocations();
  const std::string configFilePath = configFileFor(commandLine, where);
  // Values are checked before anything else, so a refused one leaves every
  // file as it was.
  const std::optional<std::vector<SettingAssignment>> overrides = checkedOverrides(commandLine, configFilePath);
  if (!overrides) {
    return kExitUsage;
  }
  if (commandLine.command != Command::Run && commandLine.command != Command::Set) {
    return runQuietCommand(commandLine, configFilePath, *overrides);
  }
  std::optional<std::vector<SettingAssignment>> assignments;
  if (commandLine.command == Command::Set) {
    assignments = checkAssignments(SettingsStore(configFilePath), commandLine.assignments, stderr);
    if (!assignments) {
      return kExitUsage;
    }
  }
  std::unique_ptr<InstanceLock> lock;
  if (!lockInstance(lock, assignments.has_value())) {
    return -1;
  }
  // --set touches only the configuration file, never the working directory.
  if (assignments) {
    prepareConfigFolder(configFilePath, where);
    SettingsStore settings(configFilePath);
    return writeAssignments(settings, *assignments, stderr);
  }
  return runPosting(commandLine, configFilePath, where, *overrides, argc, argv);
}

}  // namespace tidewell
