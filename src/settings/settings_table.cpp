#include "settings/settings_table.h"

#include <string>

#include "settings/trim.h"

namespace tidewell {

std::optional<Setting> findSetting(std::string_view name) {
  const std::string wanted = toLowerAscii(std::string(name));
  for (const SettingSpec& spec : kSettings) {
    if (toLowerAscii(std::string(spec.name)) == wanted) {
      return spec.key;
    }
  }
  return std::nullopt;
}

}  // namespace tidewell
