// The program's main flow: batch or interactive set-up, banner and menu, and the jobs.
#pragma once

#include <istream>
#include <ostream>
#include <span>
#include <string>

#include "app/platform.hpp"
#include "core/kernels/worker_pool.hpp"

namespace tessel {

struct ProgramStreams {
  std::istream& in;    // answers to the interactive questions
  std::ostream& out;   // the console
  std::ostream& err;   // errors
};

// Runs the program on its command line (args[0] the program path; no further argument means
// interactive mode) and returns the exit status. Errors that end the run are thrown as
// tessel::Error (status and message); the end of the answers in interactive mode as NormalExit.
int run_program(std::span<const std::string> args, ProgramStreams streams, Platform& platform,
                const LoopSettings& loops = {});

}  // namespace tessel
