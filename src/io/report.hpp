// Where a job's text goes: the console (standard output), standard error and the job's log.
#pragma once

#include <ostream>
#include <string_view>

namespace tessel {

struct Report {
  std::ostream* console = nullptr;  // banner, questions, progress marks, warnings
  std::ostream* error = nullptr;    // the driver's errors and the data warnings
  std::ostream* log = nullptr;      // the job's log file, once it is open

  void to_console(std::string_view text) const { if (console) *console << text; }
  void to_error(std::string_view text) const { if (error) *error << text; }
  void to_log(std::string_view text) const { if (log) *log << text; }
  void to_both(std::string_view text) const { to_console(text); to_log(text); }
};

}  // namespace tessel
