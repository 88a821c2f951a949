#pragma once

namespace tidewell {

class PanelHost;
class SettingsStore;
class UserPrompt;

// What the settings and group panels need from the program: the frame they
// switch through, the configuration file and the way to ask the user.
// Handed in, so tests can run the panels on a scratch configuration file and
// answer every message box from a script.
struct DialogServices {
  PanelHost& host;
  SettingsStore& settings;
  UserPrompt& prompt;
};

}  // namespace tidewell
