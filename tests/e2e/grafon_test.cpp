// The console curve viewer built beside tessel: it draws the curves of its files and returns.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "run_program.hpp"

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  std::string out, err;
};

// Runs the viewer beside the tessel executable with its standard output and error in files.
Outcome run_grafon(const fs::path& dir, std::vector<std::string> args) {
  const std::string exe = (fs::path(TESSEL_EXE).parent_path() / "grafon").string();
  const fs::path out = dir / "out.txt";
  const fs::path err = dir / "err.txt";
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (o < 0 || e < 0 || ::dup2(o, 1) < 0 || ::dup2(e, 2) < 0) ::_exit(126);
    std::vector<char*> argv{const_cast<char*>(exe.c_str())};
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(exe.c_str(), argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  Outcome r;
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = tessel_test::read_file(out);
  r.err = tessel_test::read_file(err);
  return r;
}

TEST(Grafon, DrawsBothCurvesOnASeventyTwoByTwentyFourPlot) {
  const tessel_test::TempDir dir;
  std::ofstream(dir.path() / "tmpfit1.dat") << " 0.01 100\n 0.1 50\n 0.2 10\n 0.3 2\n";
  std::ofstream(dir.path() / "tmpfit2.dat") << " 0.0 120\n 0.25 5\n 0.5 0.1\n";
  const Outcome r = run_grafon(dir.path(), {(dir.path() / "tmpfit1.dat").string(),
                                            (dir.path() / "tmpfit2.dat").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> lines = tessel_test::split_lines(r.out);
  std::size_t rows = 0;
  std::size_t marks = 0;
  for (const std::string& line : lines) {
    if (line.size() > 8 && line[8] == '|') {
      ++rows;
      EXPECT_LE(line.size(), 9u + 72u);
      for (const char c : line.substr(9)) marks += c != ' ';
    }
  }
  EXPECT_EQ(rows, 24u);
  EXPECT_EQ(marks, 7u);  // every point in its own cell
  EXPECT_NE(r.out.find("  x  " + (dir.path() / "tmpfit1.dat").string() + "  (4 points)"), std::string::npos);
  EXPECT_NE(r.out.find("  *  " + (dir.path() / "tmpfit2.dat").string() + "  (3 points)"), std::string::npos);
  EXPECT_NE(r.out.find("        +" + std::string(72, '-')), std::string::npos);
}

TEST(Grafon, MissingFileFails) {
  const tessel_test::TempDir dir;
  const Outcome r = run_grafon(dir.path(), {(dir.path() / "none.dat").string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "grafon: cannot read " + (dir.path() / "none.dat").string() + "\n");
}

}  // namespace
