#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tidewell {

// Where the group selection panel takes its names from: the Newsgroups
// field and the master group list "groups.dat".

inline constexpr std::string_view kGroupsFileName = "groups.dat";
// A group name is at most this long; longer master list lines are read as
// several lines of this length.
inline constexpr std::size_t kGroupNameLimit = 511;
inline constexpr int kMaxPostGroups = 50;

// The names of a Newsgroups value: split at every ",", each piece trimmed,
// empty pieces skipped. Duplicates are kept.
[[nodiscard]] std::vector<std::string> splitNewsgroupsField(std::string_view field);

// One entry per line of the master group list: the line trimmed and cut at
// its first space or tab, so the group name of a line "alt.test 0000 0001 y"
// and a blank line gives an empty entry. Lines are read 511 characters at a
// time. Nothing when the file cannot be opened.
[[nodiscard]] std::vector<std::string> readGroupsFile(const std::string& path);

// The master group list used: "groups.dat" beside the configuration file
// when there is one, else "groups.dat" in the current directory.
[[nodiscard]] std::string groupsFilePath(const std::string& configFilePath);

}  // namespace tidewell
