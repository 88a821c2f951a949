#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tidewell {

// The domain after the "@" when none is set: a name that can never belong
// to anybody, so the id says nothing about the user or the machine.
inline constexpr std::string_view kDefaultMessageIdDomain = "tidewell.invalid";

// Whether `domain` can stand right of the "@" of a Message-ID: dot-atom
// text (atoms of letters, digits and !#$%&'*+-/=?^_`{|}~, joined by single
// dots), short enough for the whole id to stay within 250 characters.
[[nodiscard]] bool isValidMessageIdDomain(std::string_view domain);

// A new Message-ID, angle brackets included: "<" 24 characters of base64url
// text from 144 random bits "@" domain ">". Unique across runs and machines
// by chance alone: nothing in it comes from the user, the machine or the
// time. None when the domain is not valid or the system's random source
// fails.
[[nodiscard]] std::optional<std::string> newMessageId(std::string_view domain = kDefaultMessageIdDomain);

}  // namespace tidewell
