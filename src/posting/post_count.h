#pragma once

#include <cstdint>

namespace tidewell {

class SettingsStore;

// The count of articles with a Post-Count header ever composed by this
// installation lives in the configuration file, key PostCount of section
// "Settings": the one file the program keeps between runs, already private
// to its owner, and written key by key so other settings stay untouched.
// Increases the stored count by one and returns the new value (1 for the
// first article). A missing, unreadable or negative stored value counts
// as 0.
std::int64_t nextPostCount(SettingsStore& settings);

}  // namespace tidewell
