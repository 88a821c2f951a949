#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "posting/posting_session.h"
#include "settings/settings_table.h"

namespace tidewell {

class SettingsStore;

// What one posting run did, kept as the run goes on so that machine-readable
// reports (the JSON report, an index of the posted articles) are written
// from data rather than parsed back from the text report.

enum class PartOutcome : std::uint8_t { Ok, Failed };

struct PartRecord {
  std::int32_t number = 0;  // 1-based part of its file
  PartOutcome outcome = PartOutcome::Failed;
  std::string reply;        // the server's line about this part, without its line end; empty when none
  std::string reason;       // why the program failed the part itself ("Timeout", "Not posted", ...); empty otherwise
  std::int64_t bytes = 0;   // article bytes handed to the connection
  std::string messageId;    // empty while unknown
  bool earlierRun = false;  // accepted by the run this one resumed
};

// How a part's line ended, in data: the run record takes this, never the
// report's words.
[[nodiscard]] PartRecord partOk(std::string_view reply);
[[nodiscard]] PartRecord partFailed(std::string_view reply, std::string_view reason);

struct FileRecord {
  std::string name;  // as listed (the name on disk)
  std::int64_t size = 0;
  std::string description;
  std::int32_t partCount = 0;  // parts planned; 0 until the file is encoded
  // The parts of the file's latest attempt, in the order they ended (those
  // of a run resumed first). A file posted again after a reconnection
  // starts a fresh list, but for the parts on the server.
  std::vector<PartRecord> parts;
};

// One key of section Settings as the run read it: a flag as "true" or
// "false", a number in decimal, text as stored.
struct SettingRecord {
  std::string_view name;
  SettingType type = SettingType::Text;
  std::string value;
};

struct RunRecord {
  std::string textReport;    // "ReportNN.TXT"
  std::int64_t started = 0;  // epoch seconds
  std::optional<std::int64_t> ended;
  RunOutcome outcome = RunOutcome::NotRun;  // NotRun while the run goes on
  std::vector<SettingRecord> settings;
  std::vector<FileRecord> files;

  [[nodiscard]] FileRecord* findFile(std::string_view name);
};

// Every key of the settings table but those the settings panel masks (the
// password), read now.
[[nodiscard]] std::vector<SettingRecord> settingsSnapshot(const SettingsStore& settings);

}  // namespace tidewell
