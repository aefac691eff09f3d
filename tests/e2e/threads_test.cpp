// The number of threads never shows in a result: whole runs with TESSEL_THREADS=1 and =2 write
// the same console text, the same intensity, fit and amplitude files to the last byte, and the
// same log and coefficient file apart from the clock time; an unusable TESSEL_THREADS is refused
// before anything runs.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "run_program.hpp"

namespace tessel_test {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable for the programs this test starts; restores it on destruction.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old, had_ = true;
    setenv(name, value, 1);
  }
  ~ScopedEnvironment() {
    if (had_)
      setenv(name_, old_.c_str(), 1);
    else
      unsetenv(name_);
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

// Every hh:mm:ss in the text becomes "hh:mm:ss".
void blank_clock_times(std::string& text) {
  const auto digit = [&](std::size_t i) { return std::isdigit(static_cast<unsigned char>(text[i])) != 0; };
  for (std::size_t i = 0; i + 8 <= text.size(); ++i) {
    if (digit(i) && digit(i + 1) && text[i + 2] == ':' && digit(i + 3) && digit(i + 4) &&
        text[i + 5] == ':' && digit(i + 6) && digit(i + 7))
      text.replace(i, 8, "hh:mm:ss");
  }
}

struct Outcome {
  RunResult run;
  std::vector<std::pair<std::string, std::string>> files;  // name, contents
};

// Runs tessel with `threads` threads in a fresh directory holding `data`, and reads back every
// file it wrote there; the log's clock times are blanked.
Outcome run_with_threads(const char* threads, const std::vector<std::string>& data,
                         const std::vector<std::string>& args) {
  TempDir dir;
  for (const std::string& name : data) dir.copy_data(name);
  Outcome o;
  {
    ScopedEnvironment env("TESSEL_THREADS", threads);
    o.run = run_tessel(dir.path(), args);
  }
  std::vector<fs::path> written;
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    const std::string name = entry.path().filename().string();
    if (std::find(data.begin(), data.end(), name) == data.end()) written.push_back(entry.path());
  }
  std::sort(written.begin(), written.end());
  for (const fs::path& p : written) {
    std::string text = read_file(p);
    // The log, the coefficient file's title and the summary carry the time of the run.
    if (p.extension() == ".log" || p.extension() == ".flm" || p.filename() == "tessel_summary.txt")
      blank_clock_times(text);
    o.files.emplace_back(p.filename().string(), text);
  }
  return o;
}

void expect_same_results(const std::vector<std::string>& data, const std::vector<std::string>& args,
                         std::size_t files_expected) {
  const Outcome one = run_with_threads("1", data, args);
  const Outcome two = run_with_threads("2", data, args);
  ASSERT_EQ(one.run.status, 0) << one.run.err;
  ASSERT_EQ(two.run.status, 0) << two.run.err;
  EXPECT_EQ(one.run.out, two.run.out);
  EXPECT_EQ(one.run.err, two.run.err);
  ASSERT_EQ(one.files.size(), files_expected);
  ASSERT_EQ(one.files.size(), two.files.size());
  for (std::size_t i = 0; i < one.files.size(); ++i) {
    SCOPED_TRACE(one.files[i].first);
    EXPECT_EQ(one.files[i].first, two.files[i].first);
    // Whole-file equality, binary amplitude files included.
    EXPECT_TRUE(one.files[i].second == two.files[i].second);
  }
}

TEST(Threads, FitOfAModelIsTheSameOnOneAndTwoThreads) {
  // Amplitudes of 2,400 atoms, the shell, the envelope diameter and the 31 × 21 × 31 search all
  // pass the size at which the loops share their work. With keep: log, .int, .alm, .flm, .fit,
  // .sav and the summary.
  expect_same_results({"3kfo-fill_model.pdb", "nup133_23922_merge.dat"},
                      {"3kfo-fill_model.pdb", "nup133_23922_merge.dat", "-kp"}, 7);
}

TEST(Threads, LargeOrderPredictionIsTheSameOnOneAndTwoThreads) {
  // Higher orders and more points: longer register sums and more blocks per thread.
  expect_same_results({"1dqk.pdb"}, {"1dqk.pdb", "-lm", "30", "-ns", "101", "-sm", "0.8"}, 4);
}

TEST(Threads, UnusableThreadCountIsRefusedBeforeTheRun) {
  for (const char* bad : {"0", "9", "-1", "two", "2x", " 2"}) {
    SCOPED_TRACE(bad);
    TempDir dir;
    dir.copy_data("6lyz.pdb");
    RunResult r;
    {
      ScopedEnvironment env("TESSEL_THREADS", bad);
      r = run_tessel(dir.path(), {"6lyz.pdb"});
    }
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("TESSEL_THREADS must be a whole number from 1 to 8"), std::string::npos)
        << r.err;
    EXPECT_TRUE(r.out.empty());
    // Nothing was written: no log, no result, no summary line.
    std::size_t entries = 0;
    for (const auto& e : fs::directory_iterator(dir.path())) entries += e.path().filename() != "6lyz.pdb";
    EXPECT_EQ(entries, 0u);
  }
}

}  // namespace
}  // namespace tessel_test
