#include "dialogs/files_bbs_editing.h"

#include <sys/stat.h>
#include <unistd.h>

#include "dialogs/settings_rules.h"
#include "platform/file_system.h"
#include "platform/user_prompt.h"
#include "platform/viewer.h"
#include "settings/settings_store.h"
#include "settings/trim.h"
#include "upload/files_bbs.h"

namespace tidewell {

namespace {

bool isReachableDirectory(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && access(path.c_str(), R_OK | X_OK) == 0;
}

void tellError(UserPrompt& prompt, const std::string& text) {
  prompt.notify(text, kTidewellErrorCaption, PromptIcon::None);
}

}  // namespace

void editFilesBbs(const std::string& directoryText, const SettingsStore& settings, UserPrompt& prompt) {
  std::string dir = trimmed(cutUtf8(directoryText, kEditDirectoryLimit));
  if (dir.empty()) {
    tellError(prompt, "No Directory Specified.");
    return;
  }
  if (dir.size() > 1 && dir.back() == '/') {
    dir.pop_back();
  }
  if (!isReachableDirectory(dir)) {
    tellError(prompt, "Directory " + dir + " does not exist or is not accessible.");
    return;
  }
  const std::string path = filesBbsPath(dir);
  if (!fileExists(path)) {
    const PromptAnswer answer =
        prompt.ask(path + " does not exist.  Would you like a template version created?", kTidewellErrorCaption,
                   PromptButtons::YesNo, PromptIcon::Question, PromptAnswer::Yes);
    if (answer != PromptAnswer::Yes) {
      return;
    }
    // A failure has been told by the template writer; the viewer is
    // started all the same, as the user asked to edit the file.
    static_cast<void>(createFilesBbsTemplate(dir, prompt));
  }
  const std::string viewer = trimmed(settings.read(Setting::Viewer));
  if (launchViewer(path, viewer) <= 31) {
    tellError(prompt, "Unable to start NOTEPAD.");
  }
}

}  // namespace tidewell
