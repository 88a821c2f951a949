#include "posting/post_count.h"

#include <limits>
#include <string>

#include "settings/settings_store.h"

namespace tidewell {

std::int64_t nextPostCount(const SettingsStore& settings) {
  std::int64_t count = parseDecimalSetting64(settings.read(kPostCountKey, "0", kTextLimit));
  if (count < 0) {
    count = 0;
  }
  if (count < std::numeric_limits<std::int64_t>::max()) {
    ++count;
  }
  settings.write(kPostCountKey, std::to_string(count));
  return count;
}

}  // namespace tidewell
