#pragma once

#include <string>

namespace tidewell {

// Where the run journal of a configuration file lives (Resume=TRUE):
// - a journal already beside the configuration file ("<file>.journal",
//   where earlier versions kept it) is used there until its run is done;
// - otherwise `<state>/tidewell/<name>-<hash>.journal`, where <state> is
//   $XDG_STATE_HOME (an absolute value only) or ~/.local/state, <name> the
//   configuration file's name and <hash> 16 hex digits of its absolute path,
//   so two configuration files never share a journal. The folders are made
//   owner-only (0700) when missing;
// - beside the configuration file when no state folder can be made.
// The one place that decides the path; opening and reading the journal are
// run_journal's.
[[nodiscard]] std::string resolveJournalPath(const std::string& configFilePath);

}  // namespace tidewell
