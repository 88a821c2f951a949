#include "app/settings_commands.h"

#include "settings/settings_store.h"
#include "settings/unchecked_tls.h"
#include "settings/value_rules.h"

namespace tidewell {

namespace {

constexpr std::string_view kMaskedPassword = "********";

constexpr std::string_view kUsage =
    "Usage: tidewell [/tidewell] [/autoquit] [--headless] [FILE.ini]\n"
    "       tidewell [FILE.ini] --set KEY=VALUE...\n"
    "       tidewell [FILE.ini] --get KEY\n"
    "       tidewell [FILE.ini] --settings\n"
    "       tidewell --help | --version\n"
    "\n"
    "Posts the files of a directory to a Usenet news server.\n"
    "\n"
    "Switches (whole arguments in any letter case, any order; anything else is ignored):\n"
    "  /tidewell          post at once (without a window, the only way to post)\n"
    "  /autoquit          quit when the run is done instead of offering the report\n"
    "  --headless         run without a window, even with a display\n"
    "  FILE.ini           the first argument containing \".ini\" names the configuration file\n"
    "  --set KEY=VALUE... check the values as the settings panel does and write them;\n"
    "                     when one is refused nothing is written (refused while Tidewell runs)\n"
    "  --get KEY          print one setting (KEY in any letter case)\n"
    "  --settings         print every setting, the password masked\n"
    "  --help, --version  print this help, or the version\n"
    "\n"
    "Exit status:\n"
    "  0    ended normally; headless posting: the run finished with no failed article\n"
    "  1    the upload list could not be created (out of memory)\n"
    "  2    headless posting: the run finished, some articles failed\n"
    "  3    headless posting: the run ended without finishing the list\n"
    "  64   an unknown setting, a refused value or a malformed option\n"
    "  74   --set: the configuration file could not be written\n"
    "  255  another instance is running, or an unexpected error ended the program\n"
    "\n"
    "Configuration file: Tidewell.INI in the current directory when it exists there,\n"
    "else $XDG_CONFIG_HOME/tidewell/Tidewell.INI (usually ~/.config/tidewell/Tidewell.INI),\n"
    "or the .ini argument.\n";

std::string shownDefault(const SettingRow& row) {
  if (row.defaultValue == kHostNotSet) {
    return " (not set)";
  }
  std::string shown = "=";
  shown += row.defaultValue;
  return shown;
}

std::string oneLine(std::string text) {
  std::string line;
  for (const char c : text) {
    if (c == '\n') {
      line += "\\n";
    } else {
      line += c;
    }
  }
  return line;
}

// An assignment that leaves the certificate unchecked says so (the values
// are written all the same).
void warnIfCertificateUnchecked(const SettingsStore& store, const std::vector<SettingAssignment>& assignments,
                                std::FILE* err) {
  for (const SettingAssignment& assignment : assignments) {
    if ((assignment.key == Setting::TLSVerify || assignment.key == Setting::TLSPin) && certificateUnchecked(store)) {
      std::fprintf(err, "%.*s\n", static_cast<int>(kUncheckedTlsWarning.size()), kUncheckedTlsWarning.data());
      return;
    }
  }
}

}  // namespace

std::string helpText(std::string_view configFilePath) {
  std::string text(kUsage);
  text += "In use here: ";
  text += configFilePath;
  text += "\n\nSettings (section [Settings]; KEY=default):\n";
  for (const SettingRow& row : kSettings) {
    text += "  ";
    text += row.name;
    text += shownDefault(row);
    text += "\n      ";
    text += row.description;
    text += '\n';
  }
  return text;
}

std::string versionText() {
  return "tidewell " TIDEWELL_VERSION "\n";
}

std::string shownSetting(const SettingsStore& store, Setting key) {
  const SettingRow& row = rowOf(key);
  if (key == Setting::Host) {
    return store.getHost().value_or("");
  }
  if (row.field == SettingField::Lines) {
    return bodyCommentForEditing(store.read(key));
  }
  switch (row.type) {
    case SettingType::Flag:
      return store.flag(key) ? "TRUE" : "FALSE";
    case SettingType::Number:
      return std::to_string(store.number64(key));
    case SettingType::Text:
      break;
  }
  return store.read(key);
}

int printSetting(const SettingsStore& store, std::string_view name, std::FILE* out, std::FILE* err) {
  const std::optional<Setting> key = findSetting(name);
  if (!key) {
    std::fprintf(err, "Tidewell: there is no setting \"%.*s\" (tidewell --help lists them).\n",
                 static_cast<int>(name.size()), name.data());
    return kExitUsage;
  }
  std::fprintf(out, "%s\n", shownSetting(store, *key).c_str());
  return 0;
}

void printSettings(const SettingsStore& store, std::FILE* out) {
  for (const SettingRow& row : kSettings) {
    std::string value = oneLine(shownSetting(store, row.key));
    if (row.field == SettingField::Masked && !value.empty()) {
      value = kMaskedPassword;
    }
    std::fprintf(out, "%.*s=%s\n", static_cast<int>(row.name.size()), row.name.data(), value.c_str());
  }
}

std::optional<std::vector<SettingAssignment>> checkAssignments(const std::vector<std::string>& assignments,
                                                               std::FILE* err) {
  std::vector<SettingAssignment> checked;
  bool refused = false;
  for (const std::string& assignment : assignments) {
    const std::size_t equals = assignment.find('=');
    const std::string name = assignment.substr(0, equals);
    const std::optional<Setting> key = findSetting(name);
    if (!key) {
      std::fprintf(err, "Tidewell: there is no setting \"%s\" (tidewell --help lists them).\n", name.c_str());
      refused = true;
      continue;
    }
    CheckedValue value = checkSettingValue(*key, std::string_view(assignment).substr(equals + 1));
    if (!value.problem.empty()) {
      std::fprintf(err, "%.*s: %s\n", static_cast<int>(kSettingsProblemCaption.size()), kSettingsProblemCaption.data(),
                   value.problem.c_str());
      refused = true;
      continue;
    }
    checked.push_back({*key, std::move(value.stored)});
  }
  if (refused) {
    return std::nullopt;
  }
  return checked;
}

int writeAssignments(SettingsStore& store, const std::vector<SettingAssignment>& assignments, std::FILE* err) {
  for (const SettingAssignment& assignment : assignments) {
    if (!store.write(assignment.key, assignment.stored)) {
      std::fprintf(err, "%.*s: Unable to save the settings in %s.\n", static_cast<int>(kSettingsProblemCaption.size()),
                   kSettingsProblemCaption.data(), store.configFilePath().c_str());
      return kExitCannotWrite;
    }
  }
  warnIfCertificateUnchecked(store, assignments, err);
  return 0;
}

}  // namespace tidewell
