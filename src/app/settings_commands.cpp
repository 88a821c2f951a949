#include "app/settings_commands.h"

#include "platform/host_address.h"
#include "platform/text.h"
#include "settings/settings_store.h"
#include "settings/unchecked_tls.h"
#include "settings/value_rules.h"

namespace tidewell {

namespace {

constexpr std::string_view kMaskedPassword = "********";

constexpr std::string_view kUsage =
    "Usage: tidewell [OPTION...] [/tidewell] [/autoquit] [FILE.ini]\n"
    "       tidewell [-c FILE] --set KEY=VALUE...\n"
    "       tidewell [-c FILE] [--with KEY=VALUE]... --get KEY | --settings\n"
    "       tidewell --help | --version\n"
    "\n"
    "Posts the files of a directory to a Usenet news server.\n"
    "\n"
    "Options (long names in any letter case; --name VALUE or --name=VALUE):\n"
    "  -c, --config FILE     the configuration file (any name)\n"
    "  --post                post at once (without a window, the only way to post)\n"
    "  --quit-when-done      quit when the run is done instead of offering the report\n"
    "  --headless            run without a window, even with a display\n"
    "  --output DIR          work in DIR: reports, NZB, JSON, spool and log files go\n"
    "                        there (made when missing); default the current directory\n"
    "  --with KEY=VALUE      a setting for this run only, checked as --set does;\n"
    "                        nothing is written (may be given more than once)\n"
    "  --set KEY=VALUE...    check the values and write them; a number must be a\n"
    "                        number in its range, and Connections above 1 needs\n"
    "                        FastPosting=TRUE (set both); when one is refused nothing\n"
    "                        is written (refused while Tidewell runs)\n"
    "  --get KEY             print one setting (KEY in any letter case)\n"
    "  --settings            print every setting, the password masked\n"
    "  --help                print this help\n"
    "  --version             print the version and the licence\n"
    "\n"
    "Switches (whole arguments in any letter case, any order):\n"
    "  /tidewell             the same as --post\n"
    "  /autoquit             the same as --quit-when-done\n"
    "  FILE.ini              the first argument containing \".ini\" names the configuration file\n"
    "Any other argument, and any unknown option, is refused (status 64).\n"
    "\n"
    "Exit status:\n"
    "  0    ended normally; headless posting: the run finished with no failed article\n"
    "  1    the upload list could not be created (out of memory)\n"
    "  2    headless posting: the run finished, some articles failed\n"
    "  3    headless posting: the run ended without finishing the list\n"
    "  64   an unknown option, argument or setting, a refused value, or options given wrongly\n"
    "  73   --output: the folder could not be made or entered\n"
    "  74   --set: the configuration file could not be written\n"
    "  255  another instance is running, or an unexpected error ended the program\n"
    "\n"
    "Configuration file: Tidewell.INI in the current directory when it exists there,\n"
    "else $XDG_CONFIG_HOME/tidewell/Tidewell.INI (usually ~/.config/tidewell/Tidewell.INI),\n"
    "or the one -c or the .ini argument names.\n";

// What the table says a key takes, beside its default in the listing.
std::string shownValues(const SettingRow& row) {
  switch (row.type) {
    case SettingType::Number:
      return " (" + rangeText(row.key) + ")";
    case SettingType::Choice:
      return " (" + choicesText(row.key) + ")";
    case SettingType::Flag:
      return " (TRUE or FALSE)";
    case SettingType::Text:
      break;
  }
  return {};
}

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
    if (assignment.server == 0 &&
        (assignment.key == Setting::TLSVerify || assignment.key == Setting::TLSPin ||
         assignment.key == Setting::Encryption) &&
        certificateUnchecked(store)) {
      std::fprintf(err, "%.*s\n", static_cast<int>(kUncheckedTlsWarning.size()), kUncheckedTlsWarning.data());
      return;
    }
  }
}

// A value given on the command line. A backup server's key takes the main
// server's rules, and its message names it as given ("Server2.Port"); an
// empty Host there is taken (the section is then no server).
CheckedValue checkAssignedValue(SectionKey key, std::string_view entered) {
  if (key.server == 0) {
    return checkCommandLineValue(key.key, entered);
  }
  if (key.key == Setting::Host && trimmedView(entered).empty()) {
    return {};
  }
  CheckedValue value = checkCommandLineValue(key.key, entered);
  if (!value.problem.empty()) {
    const std::string_view plain = rowOf(key.key).name;
    const std::string named = sectionKeyName(key);
    if (value.problem.starts_with(plain)) {
      value.problem.replace(0, plain.size(), named);
    } else {
      value.problem.insert(0, named + ": ");
    }
  }
  return value;
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
    text += shownValues(row);
    text += "\n      ";
    text += row.description;
    text += '\n';
  }
  text += "\nBackup servers (sections [Server2] to [Server9], e.g. --set Server2.Host=news2.example.com):\n ";
  for (const Setting key : kServerKeys) {
    text += ' ';
    text += rowOf(key).name;
  }
  text +=
      "\n      as the keys above; a section without a Host is no server. A run moves to the next server\n"
      "      when one refuses the login or posting or stays unreachable; a section's Connections only\n"
      "      lowers the number of connections.\n";
  return text;
}

std::string versionText() {
  return "tidewell " TIDEWELL_VERSION
         "\n"
         "Copyright 2026 Tidewell developers\n"
         "License GPL-3.0-or-later: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>.\n"
         "This is free software: you are free to change and redistribute it.\n"
         "There is NO WARRANTY, to the extent permitted by law.\n";
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
    case SettingType::Choice:
      break;
  }
  return store.read(key);
}

std::string shownSetting(const SettingsStore& store, SectionKey key) {
  if (key.server == 0) {
    return shownSetting(store, key.key);
  }
  switch (rowOf(key.key).type) {
    case SettingType::Flag:
      return parseBoolSetting(store.read(key)) ? "TRUE" : "FALSE";
    case SettingType::Number:
      return std::to_string(parseDecimalSetting64(store.read(key, key.key == Setting::Connections ? "0" : "")));
    case SettingType::Text:
    case SettingType::Choice:
      break;
  }
  return key.key == Setting::Host ? store.read(key, "") : store.read(key);
}

int printSetting(const SettingsStore& store, std::string_view name, std::FILE* out, std::FILE* err) {
  const std::optional<SectionKey> key = findSectionKey(name);
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
    } else if (row.key == Setting::Proxy) {
      value = maskedProxyText(value);
    }
    std::fprintf(out, "%.*s=%s\n", static_cast<int>(row.name.size()), row.name.data(), value.c_str());
  }
  // Then each backup server a run would try (a section with a Host), its
  // keys named as --get and --set name them.
  for (int server = kFirstBackupServer; server <= kLastBackupServer; ++server) {
    if (trimmedView(shownSetting(store, SectionKey{server, Setting::Host})).empty()) {
      continue;
    }
    for (const Setting key : kServerKeys) {
      const SectionKey sectionKey{server, key};
      std::string value = oneLine(shownSetting(store, sectionKey));
      if (rowOf(key).field == SettingField::Masked && !value.empty()) {
        value = kMaskedPassword;
      }
      std::fprintf(out, "%s=%s\n", sectionKeyName(sectionKey).c_str(), value.c_str());
    }
  }
}

std::optional<std::vector<SettingAssignment>> checkAssignments(const SettingsStore& store,
                                                               const std::vector<std::string>& assignments,
                                                               std::FILE* err) {
  std::vector<SettingAssignment> checked;
  bool refused = false;
  for (const std::string& assignment : assignments) {
    const std::size_t equals = assignment.find('=');
    const std::string name = assignment.substr(0, equals);
    const std::optional<SectionKey> key = findSectionKey(name);
    if (!key) {
      std::fprintf(err, "Tidewell: there is no setting \"%s\" (tidewell --help lists them).\n", name.c_str());
      refused = true;
      continue;
    }
    CheckedValue value = checkAssignedValue(*key, std::string_view(assignment).substr(equals + 1));
    if (!value.problem.empty()) {
      std::fprintf(err, "%.*s: %s\n", static_cast<int>(kSettingsProblemCaption.size()), kSettingsProblemCaption.data(),
                   value.problem.c_str());
      refused = true;
      continue;
    }
    checked.push_back({key->key, std::move(value.stored), key->server});
  }
  if (refused) {
    return std::nullopt;
  }
  // How a key reads once these values are in place.
  const auto after = [&](Setting key) {
    std::string value = store.read(key);
    for (const SettingAssignment& assignment : checked) {
      if (assignment.key == key && assignment.server == 0) {
        value = assignment.stored;
      }
    }
    return value;
  };
  std::string problem = combinationProblem(parseDecimalSetting64(after(Setting::Connections)),
                                           parseBoolSetting(after(Setting::FastPosting)));
  if (problem.empty()) {
    problem = obfuscationProblem(parseBoolSetting(after(Setting::Obfuscate)), after(Setting::Encoding));
  }
  if (!problem.empty()) {
    std::fprintf(err, "%.*s: %s\n", static_cast<int>(kSettingsProblemCaption.size()), kSettingsProblemCaption.data(),
                 problem.c_str());
    return std::nullopt;
  }
  return checked;
}

int writeAssignments(SettingsStore& store, const std::vector<SettingAssignment>& assignments, std::FILE* err) {
  for (const SettingAssignment& assignment : assignments) {
    if (!store.write(SectionKey{assignment.server, assignment.key}, assignment.stored)) {
      std::fprintf(err, "%.*s: Unable to save the settings in %s.\n", static_cast<int>(kSettingsProblemCaption.size()),
                   kSettingsProblemCaption.data(), store.configFilePath().c_str());
      return kExitCannotWrite;
    }
  }
  warnIfCertificateUnchecked(store, assignments, err);
  return 0;
}

}  // namespace tidewell
