#include "settings/settings_table.h"

#include "platform/text.h"

namespace tidewell {

std::optional<Setting> findSetting(std::string_view name) {
  for (const SettingSpec& spec : kSettings) {
    if (equalsIgnoringCase(spec.name, name)) {
      return spec.key;
    }
  }
  return std::nullopt;
}

}  // namespace tidewell
