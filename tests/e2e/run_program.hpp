// Runs the built tessel program in a directory with given arguments and standard input,
// capturing its standard output, standard error and exit status.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tessel_test {

struct RunResult {
  int status = -1;         // exit status, or -1 when the program did not exit normally
  std::string out;         // standard output
  std::string err;         // standard error
  bool timed_out = false;  // killed after the time limit (status -1)
  int signal = 0;          // the signal that ended the program, if one did
};

// Longest time a run may take before it is killed as hung.
inline constexpr int kRunTimeLimitSeconds = 60;

// Starts the program directly (no shell) with argv[0] = the program path. A run still going
// after `time_limit_seconds` is killed and reported with status -1 and timed_out set.
RunResult run_tessel(const std::filesystem::path& dir, const std::vector<std::string>& args,
                     const std::string& stdin_text = "",
                     int time_limit_seconds = kRunTimeLimitSeconds);

// Like run_tessel, but standard input stays open after `stdin_text`, and `signal_number` is
// sent to the program once its standard output holds `output_mark`. With a mark that the
// program writes as it waits for an answer, the signal finds it at a known point.
RunResult run_tessel_and_signal(const std::filesystem::path& dir,
                                const std::vector<std::string>& args,
                                const std::string& stdin_text, const std::string& output_mark,
                                int signal_number, int time_limit_seconds = kRunTimeLimitSeconds);

// A fresh empty directory under the system temporary directory, removed on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  // Copies a file from tests/data into the directory, returning its new path.
  std::filesystem::path copy_data(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

std::string read_file(const std::filesystem::path& p);
std::vector<std::string> read_lines(const std::filesystem::path& p);
std::vector<std::string> split_lines(const std::string& text);

}  // namespace tessel_test
