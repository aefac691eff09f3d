// What SIGINT (Ctrl-C) and SIGTERM leave behind: the running job's log ends with a line saying
// it was interrupted, the summary gets the job's failed line, the job's temporary structure copy
// is removed, standard error gets one line, and the program ends with status 130 or 143.
//
// The handler does all of this itself with async-signal-safe calls (open, write, unlink, _exit)
// and never returns: the long loops run on worker threads that cannot be stopped between two
// steps, and the work done so far is already on disk because the job writes its log line by
// line. What the handler needs is prepared by the job in an InterruptRecord beforehand. This is
// the program's one piece of process-wide mutable state: a signal handler can reach nothing
// else. Each text sits in a fixed buffer behind an atomic flag that is cleared while the buffer
// changes, so a signal in the middle of a change finds the flag off and skips that text.
#pragma once

#include <string_view>

namespace tessel {

// Installs the handlers of SIGINT and SIGTERM. Called once, at program start, before any thread.
void install_interrupt_handlers();

// The text an interrupt adds to the log (with its line ends): an empty line and
// " -- TESSEL interrupted by SIGINT --" (or SIGTERM).
std::string_view interrupted_log_text(int signal_number);

// The running job's traces for the handler. Only one record is active at a time (one job runs
// at a time); it is cleared when it goes. Paths and texts longer than the buffers (4096 bytes)
// are not recorded.
class InterruptRecord {
 public:
  InterruptRecord() = default;
  ~InterruptRecord();
  InterruptRecord(const InterruptRecord&) = delete;
  InterruptRecord& operator=(const InterruptRecord&) = delete;

  // The log the interrupted line is appended to.
  void set_log(std::string_view path);
  // The summary file and the whole line (with its end) appended to it; none when the job
  // writes no summary line.
  void set_summary(std::string_view path, std::string_view line);
  // A file the job made and removes at its end.
  void set_temporary(std::string_view path);
  // Clears everything (the job has ended; its files are complete).
  void clear();
};

}  // namespace tessel
