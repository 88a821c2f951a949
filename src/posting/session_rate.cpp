// The run's bandwidth cap: read when a run starts; every link asks it
// before each write of article bytes.
#include <algorithm>

#include "platform/text.h"
#include "posting/session.h"
#include "settings/rate_schedule.h"
#include "settings/settings_store.h"

namespace tidewell {

void PostingSession::Impl::startRateCap() {
  const std::int64_t maxRate =
      std::clamp<std::int64_t>(services_.settings.number64(Setting::MaxRate), 0, kHighestRateKib);
  RateScheduleResult schedule = parseRateSchedule(services_.settings.read(Setting::MaxRateSchedule));
  if (!schedule.value) {
    // A file edited by hand: the panel and --set refuse such a value.
    const std::string text = schedule.problem + " The schedule is not used: MaxRate holds all day.";
    log_.ReportStamped(text + "\r\n");
    display_.showWarning(text);
    schedule.value.emplace();
  }
  const bool scheduled = !schedule.value->empty();
  rateCap_.configure(maxRate, std::move(*schedule.value));
  const std::int64_t rate = rateCap_.bytesPerSecond();
  if (rate != 0) {
    log_.ReportStamped(formatText("Bandwidth cap: %lld KiB/s%s.\r\n", static_cast<long long>(rate / 1024),
                                  scheduled ? " now, by MaxRateSchedule" : ""));
  } else if (scheduled) {
    log_.ReportStamped("Bandwidth cap: none now, by MaxRateSchedule.\r\n");
  }
}

}  // namespace tidewell
