// Text without its leading or trailing blanks (spaces unless other characters are named), as
// fixed-width fields and padded names are read and shown throughout the program.
#pragma once

#include <string_view>

namespace tessel {

// The text without its trailing blanks; empty when it is all blanks.
inline std::string_view trim_right(std::string_view text, std::string_view blanks = " ") {
  const auto last = text.find_last_not_of(blanks);
  return last == std::string_view::npos ? std::string_view{} : text.substr(0, last + 1);
}

// The text without its leading and trailing blanks; empty when it is all blanks.
inline std::string_view trim(std::string_view text, std::string_view blanks = " ") {
  const auto first = text.find_first_not_of(blanks);
  return first == std::string_view::npos ? std::string_view{}
                                         : trim_right(text.substr(first), blanks);
}

}  // namespace tessel
