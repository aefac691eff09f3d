// The date and time texts of the log, the summary and the envelope-coefficient file.
#pragma once

#include <string>

namespace tessel {

// A reading of the local clock.
struct LocalTime {
  int year = 1970;
  int month = 1;   // 1..12
  int day = 1;     // 1..31
  int hour = 0;    // 0..23
  int minute = 0;
  int second = 0;
};

// HH:MM:SS, 8 characters.
std::string time_of_day_text(const LocalTime& t);
// DD-Mon-YYYY, 11 characters, the month as Jan, Feb, ... Dec.
std::string date_text(const LocalTime& t);
// Two blanks, the date, three blanks, the time: 24 characters.
std::string time_stamp(const LocalTime& t);

}  // namespace tessel
