#pragma once

#include <string_view>

namespace tidewell::test {

// File names, subjects and poster names that XML 1.0 or strict UTF-8 cannot
// carry as they are: the NZB and the JSON report must stay well-formed with
// each of them.
struct HostileName {
  std::string_view label;
  std::string_view text;
};

inline constexpr HostileName kHostileNames[] = {
    {"C0 controls",
     "a\x01\x08\x0B\x0C\x1F"
     "b.bin"},
    {"NUL", std::string_view("nul\0byte.bin", 12)},
    {"U+FFFE", "x\xEF\xBF\xBE.bin"},
    {"U+FFFF", "x\xEF\xBF\xBF.bin"},
    {"C1 controls", "c1\xC2\x80\xC2\x85\xC2\x9F.bin"},
    {"lone high surrogate", "s\xED\xA0\x80.bin"},
    {"lone low surrogate", "s\xED\xBF\xBF.bin"},
    {"Latin-1 byte", "caf\xE9.bin"},
    {"overlong slash", "o\xC0\xAF.bin"},
    {"cut sequence", "cut\xE2\x9C"},
    {"past U+10FFFF", "big\xF4\x90\x80\x80.bin"},
    {"markup", "]]><!-- &amp; \"quoted\" 'single' <tag>"},
    {"line ends", "two\r\nlines\n.bin"},
};

}  // namespace tidewell::test
