// The program's version as each of its texts shows it: the console banner, the log, the summary
// file and the -v line. They differ on purpose (each reader has always seen its own form); a new
// version changes them here together.
#pragma once

#include <string_view>

namespace tessel {

// The banner's version and revision lines, inside its box of stars.
inline constexpr std::string_view kBannerVersionLine =
    " ***    T E S S E L  Wintel/UNIX/Linux version 2.8.3    ***";
inline constexpr std::string_view kBannerRevisedLine =
    " ***        Last revised  ---  12/08/15 14:00           ***";

// The program line that opens the log and begins its closing line.
inline constexpr std::string_view kLogTitle = "  T E S S E L    Version 2.8.3  -- 04/10/12";

// The version in the summary file's " Created by TESSEL ... on " line.
inline constexpr std::string_view kSummaryVersion = "v. 28";

// The -v line: "<program>, ORVEX <version> (r<revision>)".
inline constexpr std::string_view kVersionProgram = "tessel";
inline constexpr std::string_view kVersionNumber = "2.8.4";
inline constexpr std::string_view kVersionRevision = "10552";

}  // namespace tessel
