#include "posting/post_count.h"

#include <limits>
#include <string>

#include "settings/settings_store.h"

namespace tidewell {

std::int64_t nextPostCount(SettingsStore& settings) {
  std::int64_t count = settings.number64(Setting::PostCount);
  if (count < 0) {
    count = 0;
  }
  if (count < std::numeric_limits<std::int64_t>::max()) {
    ++count;
  }
  settings.write(Setting::PostCount, std::to_string(count));
  return count;
}

}  // namespace tidewell
