#pragma once

#include <string>
#include <string_view>

#include "settings/settings_store.h"

namespace tidewell {

// Said wherever the server's certificate goes unchecked: every run (report
// and standard error), `--set` and the server panel.
inline constexpr std::string_view kUncheckedTlsWarning =
    "The server's certificate is not checked: anyone between you and the server can read the password.";

// TLSVerify is off and no TLSPin stands in for it: whoever answers at the
// server's address is taken for the server and is given the password.
[[nodiscard]] inline bool certificateUnchecked(const SettingsStore& settings) {
  return !settings.flag(Setting::TLSVerify) &&
         settings.read(Setting::TLSPin).find_first_not_of(" \t") == std::string::npos;
}

}  // namespace tidewell
