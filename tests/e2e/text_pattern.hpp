// A small pattern match for the fixed-column lines of the end-to-end tests: '#' stands for a
// digit, '*' for any character, everything else for itself.
#pragma once

#include <array>
#include <cctype>
#include <string_view>

namespace tessel_test {

inline bool matches(std::string_view text, std::string_view pattern) {
  if (text.size() != pattern.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char p = pattern[i];
    if (p == '*') continue;
    if (p == '#') {
      if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    } else if (text[i] != p) {
      return false;
    }
  }
  return true;
}

// The 24-character time stamp: two blanks, DD-Mon-YYYY, three blanks, HH:MM:SS.
inline bool is_time_stamp(std::string_view text) {
  static constexpr std::array<std::string_view, 12> kMonths = {
      "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  if (!matches(text, "  ##-***-####   ##:##:##")) return false;
  for (std::string_view m : kMonths)
    if (text.substr(5, 3) == m) return true;
  return false;
}

}  // namespace tessel_test
