#pragma once

#include <string>

namespace tidewell {

class SettingsStore;
class UserPrompt;

// The E D I T command of the settings panel, for the Files From Dir text
// `directoryText`: checks the directory, offers to write a FILES.BBS
// template when the directory has none, then opens FILES.BBS in the viewer
// (the Viewer setting, else the desktop's opener) without waiting for it.
// Every problem is told through `prompt`; the settings are not touched.
void editFilesBbs(const std::string& directoryText, const SettingsStore& settings, UserPrompt& prompt);

}  // namespace tidewell
