#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "settings/settings_store.h"
#include "settings/settings_table.h"

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

// A run says so only when it speaks TLS: a plain connection has no
// certificate to check (and says nothing of one).
[[nodiscard]] inline bool encryptedWithUncheckedCertificate(const SettingsStore& settings) {
  const std::optional<std::size_t> mode = choiceIndex(Setting::Encryption, settings.read(Setting::Encryption));
  return mode.has_value() && *mode != 0 && certificateUnchecked(settings);
}

}  // namespace tidewell
