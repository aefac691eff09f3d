// The date and time texts of the log, the summary and the envelope-coefficient file.
#include "io/time_stamp.hpp"

#include <array>
#include <string_view>

#include "io/fortran_format.hpp"

namespace tessel {

namespace {

constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::string without_line_end(std::string text) {
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

}  // namespace

std::string time_of_day_text(const LocalTime& t) {
  static const Format format("(I2.2,':',I2.2,':',I2.2)");
  return without_line_end(format(t.hour, t.minute, t.second));
}

std::string date_text(const LocalTime& t) {
  static const Format format("(I2.2,'-',A3,'-',I4)");
  const int month = (t.month >= 1 && t.month <= 12) ? t.month : 1;
  return without_line_end(format(t.day, kMonths[static_cast<std::size_t>(month - 1)], t.year));
}

std::string time_stamp(const LocalTime& t) {
  return "  " + date_text(t) + "   " + time_of_day_text(t);
}

}  // namespace tessel
