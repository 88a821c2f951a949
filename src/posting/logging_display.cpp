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

void LoggingDisplay::ShowState(std::string_view text) {
  log(text);
  display_.ShowState(text);
}

void LoggingDisplay::ShowTimeRate(std::string_view text) {
  log(text);
  display_.ShowTimeRate(text);
}

void LoggingDisplay::ShowEstimate(std::string_view text) {
  log(text);
  display_.ShowEstimate(text);
}

void LoggingDisplay::ShowOutboundInfo(std::string_view text) {
  log(text);
  display_.ShowOutboundInfo(text);
}

void LoggingDisplay::ShowInboundInfo(std::string_view text) {
  log(text);
  display_.ShowInboundInfo(text);
}

}  // namespace tidewell
