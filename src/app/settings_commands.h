#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/settings_table.h"

namespace tidewell {

class SettingsStore;

// Exit statuses of the command-line options (as sysexits.h numbers them).
inline constexpr int kExitUsage = 64;        // an unknown key, a refused value, a malformed option
inline constexpr int kExitCannotWrite = 74;  // the configuration file could not be written

// "--help": usage, switches, exit statuses, where the configuration file is
// looked for (and the one `configFilePath` names now), and every key of
// section Settings with its default, from the settings table.
[[nodiscard]] std::string helpText(std::string_view configFilePath);
// "--version": "tidewell <version>", then the copyright and the licence.
[[nodiscard]] std::string versionText();

// A value as "--get" and "--settings" show it: what the program reads
// (booleans as TRUE/FALSE by the boolean rule, numbers in decimal, the body
// comment with its line breaks as "\n", Host empty when not set).
[[nodiscard]] std::string shownSetting(const SettingsStore& store, Setting key);
// The same for a key of a backup server's section ("--get Server2.Host").
[[nodiscard]] std::string shownSetting(const SettingsStore& store, SectionKey key);
// "--get KEY" (any letter case; "Server2.Host" for a backup server) to `out`; an unknown key is told on `err`
// and gives kExitUsage.
[[nodiscard]] int printSetting(const SettingsStore& store, std::string_view name, std::FILE* out, std::FILE* err);
// "--settings": "Key=value" for every key, line breaks as "\n", the password
// masked; then "Server2.Key=value" for the keys of each backup server that
// has a Host, its password masked too.
void printSettings(const SettingsStore& store, std::FILE* out);

struct SettingAssignment {
  Setting key;
  std::string stored;
  int server = 0;  // 0: section [Settings]; 2..9: the backup server's section
};
// "--set KEY=VALUE ..." and "--with KEY=VALUE": every assignment checked by
// the command line's rules (checkCommandLineValue; a backup server's key,
// "Server2.Port", by the rules of the main server's, except that an empty
// Host is taken: it removes the server), then the combination of
// the values with those `store` holds (combinationProblem). Each unknown
// key, refused value and conflict is told on `err` under the panel's
// caption; nothing then, else the values to store.
[[nodiscard]] std::optional<std::vector<SettingAssignment>> checkAssignments(
    const SettingsStore& store, const std::vector<std::string>& assignments, std::FILE* err);
// Writes them in order; 0, or kExitCannotWrite after a message on `err`.
[[nodiscard]] int writeAssignments(SettingsStore& store, const std::vector<SettingAssignment>& assignments,
                                   std::FILE* err);

}  // namespace tidewell
