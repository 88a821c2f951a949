#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "posting/run_record.h"

namespace tidewell {

// The report for scripts, ReportNN.json beside ReportNN.TXT: one JSON
// document made from the run record (the layout is in docs/json-report.md).

// Appends `text` as a JSON string, quotes included. Quotes, backslashes and
// control characters (C0, DEL and C1) are escaped, and so are U+FFFE and
// U+FFFF, so no character XML 1.0 refuses stands raw in the document; bytes
// that are not UTF-8 (a file name in another encoding, a cut character,
// an encoded surrogate) become U+FFFD, one for each maximal invalid
// sequence, so the document is always valid UTF-8.
void appendJsonString(std::string& out, std::string_view text);

// Local time with its offset from UTC, "2026-12-08T09:16:52+01:00".
[[nodiscard]] std::string isoLocalTime(std::int64_t epochSeconds);

// The JSON report's name for a text report's: "Report07.TXT" gives
// "Report07.json".
[[nodiscard]] std::string jsonReportName(std::string_view textReportName);

[[nodiscard]] std::string jsonReportText(const RunRecord& record);

// Replaces the file at `path` with the record's document in one step, so a
// reader (or a run killed halfway) never sees half a document. False when it
// could not be written; the old document then stays.
[[nodiscard]] bool writeJsonReport(const std::string& path, const RunRecord& record);

}  // namespace tidewell
