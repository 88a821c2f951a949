#include "posting/logging_display.h"

#include <string>

#include "posting/session_log.h"

namespace tidewell {

void LoggingDisplay::log(std::string_view text) const {
  if (log_.loggingOn()) {
    std::string line(text);
    line += "\r\n";
    log_.LogWrite(line);
  }
}

void LoggingDisplay::logged(void (PostingDisplay::*show)(std::string_view), std::string_view text) {
  log(text);
  (display_.*show)(text);
}

void LoggingDisplay::ShowState(std::string_view text) {
  logged(&PostingDisplay::ShowState, text);
}
void LoggingDisplay::ShowTimeRate(std::string_view text) {
  logged(&PostingDisplay::ShowTimeRate, text);
}
void LoggingDisplay::ShowEstimate(std::string_view text) {
  logged(&PostingDisplay::ShowEstimate, text);
}
void LoggingDisplay::ShowOutboundInfo(std::string_view text) {
  logged(&PostingDisplay::ShowOutboundInfo, text);
}
void LoggingDisplay::ShowInboundInfo(std::string_view text) {
  logged(&PostingDisplay::ShowInboundInfo, text);
}

}  // namespace tidewell
