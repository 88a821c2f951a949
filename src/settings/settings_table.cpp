#include "settings/settings_table.h"

#include "platform/text.h"

namespace tidewell {

std::optional<Setting> findSetting(std::string_view name) {
  for (const SettingRow& row : kSettings) {
    if (equalsIgnoringCase(row.name, name)) {
      return row.key;
    }
  }
  return std::nullopt;
}

}  // namespace tidewell
