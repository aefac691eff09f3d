// Exceptions that carry the program's exact messages to the one place that prints them.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace tessel {

// The message of an allocation that failed, and the lead of the message of any other exception
// that ends a run (followed by its what()).
inline constexpr std::string_view kAllocationFailure = "Allocation would exceed memory limit";
inline constexpr std::string_view kGeneralErrorLead = " Error -- ";

// A failure with the exact text the user sees and the exit status the run ends with.
class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message, int status = 1)
      : std::runtime_error(message), status_(status) {}
  int status() const noexcept { return status_; }

 private:
  int status_;
};

// The fatal stop: the message goes to standard error as one line and the run ends with status 1.
class FatalStop : public Error {
 public:
  explicit FatalStop(const std::string& message) : Error(message, 1) {}
};

// A normal early end of the program (help, version, end of input at a question): status 0,
// and the text (possibly empty) goes to standard output.
class NormalExit : public std::exception {
 public:
  NormalExit() = default;
  const char* what() const noexcept override { return "normal exit"; }
};

}  // namespace tessel
