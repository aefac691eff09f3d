// One job of a run: one structure (or save) file taken from input to its result files.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/platform.hpp"
#include "core/harmonic_tables.hpp"
#include "core/kernels/worker_pool.hpp"
#include "core/run_settings.hpp"
#include "dialogue/dialogue.hpp"

namespace tessel {

// What a job works with. Each job starts from the run's settings as the user chose them and
// works on a copy of its own, which the questions of an interactive job change.
struct JobEnvironment {
  const RunSettings& settings;
  Platform& platform;
  std::ostream& console;
  std::ostream& error;
  Dialogue* dialogue = nullptr;  // interactive mode only
  std::string start_stamp;       // time stamp taken at program start
  // Batch mode: the program and options that start it again on one more data file.
  std::vector<std::string> rerun_arguments;
  // Set when a result file (the log, a result or intermediate file, the summary) could not be
  // written completely, or a re-run for a further data file failed. Its warning has been given
  // and the run goes on, but ends with status 1.
  bool output_failed = false;
  // Threads and instruction set of the long loops (the results do not depend on them).
  LoopSettings loops;
  // The harmonic tables of the last job, taken again by the next job with the same orders (a
  // batch of many structures builds them once).
  std::shared_ptr<const HarmonicTables> tables;
  // The command line as the program got it (for the job record).
  std::vector<std::string> command_line;
};

// Runs job `index` (0-based) of the run and returns the warnings it gave, one line each
// (also written to the console and the log). Errors that end the run throw tessel::Error (or
// the exception that ended the job); a job that failed has its reason at the end of its log and
// a " Failed: " line in the summary. The end of the answers in the middle of an interactive job,
// once it has made its first file, removes the files it made and throws Error (status 1);
// before that it throws NormalExit.
std::vector<std::string> run_job(JobEnvironment& env, int index);

// Appends text to the summary file in one write. A summary file that cannot be written costs a
// warning on the error stream and returns false; the run goes on.
bool append_summary(Platform& platform, std::ostream& error, std::string_view text);

// The default number of curve points offered for a maximum s: round(s_max/0.01) + 1, or the
// largest number of points when the rounded quotient is 4999 or more.
int default_point_count(double s_max);

}  // namespace tessel
