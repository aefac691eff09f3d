// The banner and the menu of program options shown at start-up.
#pragma once

#include <string>
#include <string_view>

namespace tessel {

// The rule line of the menu and the file-name list.
inline constexpr std::string_view kRuleLine = " ------------------------------------------------ ";

// An empty line and the boxed banner.
std::string banner_text();

// The menu: rule, title, the three options, the batch-mode hint, rule and an empty line.
std::string menu_text();

}  // namespace tessel
