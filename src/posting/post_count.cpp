#include "posting/post_count.h"

#include <limits>
#include <string>

#include "platform/clock.h"
#include "settings/settings_store.h"

namespace tidewell {
namespace {

constexpr std::int64_t kBatchWriteMs = 1000;

std::int64_t storedCount(const SettingsStore& settings) {
  const std::int64_t count = settings.number64(Setting::PostCount);
  return count < 0 ? 0 : count;
}

std::int64_t increased(std::int64_t count) {
  return count < std::numeric_limits<std::int64_t>::max() ? count + 1 : count;
}

}  // namespace

std::int64_t nextPostCount(SettingsStore& settings) {
  const std::int64_t count = increased(storedCount(settings));
  settings.write(Setting::PostCount, std::to_string(count));
  return count;
}

void PostCounter::batch(bool on) {
  flush();
  batched_ = on;
  held_ = false;
}

std::int64_t PostCounter::next() {
  if (!batched_) {
    return nextPostCount(settings_);
  }
  const std::int64_t nowMs = clock_.monotonicMs();
  if (!held_) {
    count_ = storedCount(settings_);
    held_ = true;
    writtenMs_ = nowMs;
  }
  count_ = increased(count_);
  unsaved_ = true;
  if (nowMs - writtenMs_ >= kBatchWriteMs) {
    flush();
  }
  return count_;
}

void PostCounter::flush() {
  if (unsaved_) {
    settings_.write(Setting::PostCount, std::to_string(count_));
    unsaved_ = false;
    writtenMs_ = clock_.monotonicMs();
  }
}

}  // namespace tidewell
