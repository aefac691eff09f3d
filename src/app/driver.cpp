// The program's main flow.
#include "app/driver.hpp"

#include <new>
#include <vector>

#include "app/banner.hpp"
#include "app/ensemble_stage.hpp"
#include "app/input_files.hpp"
#include "app/job.hpp"
#include "app/options.hpp"
#include "core/errors.hpp"
#include "dialogue/dialogue.hpp"
#include "io/plot/figure_renderer.hpp"
#include "io/run_log.hpp"
#include "io/summary_file.hpp"
#include "io/time_stamp.hpp"

namespace tessel {

namespace {

// Settings, summary header and input files of a batch run. Returns the arguments of the re-runs
// for several data files, taken before any job can change the settings.
std::vector<std::string> set_up_batch(std::span<const std::string> args, RunSettings& settings,
                                      const std::string& stamp, Platform& platform,
                                      std::ostream& err) {
  if (!settings.no_summary)
    append_summary(platform, err, summary_header(stamp, command_line_text(args)));
  const ClassifiedInputs inputs = classify_input_files(
      settings.input_files, [&platform](const std::string& name) { return platform.exists(name); });
  apply_inputs(inputs, settings);
  check_ensemble_inputs(settings);
  if (inputs.data.size() == 1 && !settings.no_summary)
    append_summary(platform, err, summary_data_file_line(settings.data_file));
  return rerun_arguments(platform.own_executable(args.front()), settings);
}

void set_up_interactive(RunSettings& settings) {
  settings.keep = true;
  settings.keep_as_set = true;
  settings.fit_wanted = true;
  settings.prefix.clear();
  settings.mode = RunMode::amplitudes_and_envelope;
}

int run_jobs(std::span<const std::string> args, ProgramStreams streams, Platform& platform,
             const LoopSettings& loops) {
  const std::string stamp = time_stamp(platform.now());
  RunSettings settings;
  std::vector<std::string> rerun;
  bool batch = args.size() > 1;
  if (batch) {
    const ParseOutcome outcome = parse_command_line(args);
    if (outcome.action == ParseOutcome::Action::print_and_exit) {
      streams.out << outcome.text << std::flush;
      return 0;
    }
    settings = outcome.settings;
    // The picture and record options alone ask for the interactive mode with those outputs.
    batch = !outcome.output_options_only;
  }
  if (batch) {
    rerun = set_up_batch(args, settings, stamp, platform, streams.err);
  } else {
    set_up_interactive(settings);
  }

  streams.out << banner_text();
  Dialogue dialogue(streams.in, streams.out);
  if (batch) {
    streams.out << menu_text();
  } else {
    int option = 0;
    do {
      streams.out << menu_text();
      option = dialogue.ask_integer("Enter your option", 0);
    } while (option < 0 || option > 2);
    settings.mode = static_cast<RunMode>(option);
  }

  JobEnvironment env{settings, platform, streams.out, streams.err, batch ? nullptr : &dialogue,
                     stamp, rerun, false, loops, nullptr,
                     std::vector<std::string>(args.begin(), args.end())};
  const int jobs = batch ? batch_job_count(settings) : 1;
  for (int j = 0; j < jobs; ++j) run_job(env, j);
  streams.out.flush();
  // Every job ran, but a result file that could not be written is no success.
  return env.output_failed ? 1 : 0;
}

}  // namespace

int run_program(std::span<const std::string> args, ProgramStreams streams, Platform& platform,
                const LoopSettings& loops) {
  // One set of worker threads for every loop of the run, started when a loop first needs it.
  WorkerPool pool(loops.threads);
  // The font caches of the pictures are freed when the run ends.
  const PictureCaches picture_caches;
  LoopSettings shared = loops;
  if (shared.pool == nullptr) shared.pool = &pool;
  try {
    return run_jobs(args, streams, platform, shared);
  } catch (const std::bad_alloc&) {
    throw Error(std::string(kAllocationFailure));
  }
}

}  // namespace tessel
