// The SIGINT/SIGTERM handler in a child process: it completes the job's record (the log's
// interrupted line, the summary's failed line, the temporary copy removed) and ends the
// process with 128 + the signal number.
#include "app/interrupt.hpp"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace tessel {
namespace {

namespace fs = std::filesystem;

std::string read_all(const fs::path& p) {
  std::ifstream in(p);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The handler's line on standard error is not wanted in the test's output.
void quiet_error_stream() {
  const int fd = ::open("/dev/null", O_WRONLY);
  if (fd >= 0) ::dup2(fd, STDERR_FILENO);
}

TEST(Interrupt, HandlerCompletesTheRecordAndExitsWith128PlusSignal) {
  const fs::path dir = fs::temp_directory_path() / ("tessel-interrupt-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path log = dir / "job00.log", summary = dir / "summary.txt", copy = dir / "copy.pdb";
  for (const int signal_number : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal_number);
    std::ofstream(log) << " the job so far\n";
    std::ofstream(copy) << "ATOM\n";
    fs::remove(summary);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      quiet_error_stream();
      install_interrupt_handlers();
      InterruptRecord record;
      record.set_log(log.string());
      record.set_summary(summary.string(), " Failed: x.pdb  Reason: interrupted\n");
      record.set_temporary(copy.string());
      ::raise(signal_number);
      ::_exit(0);  // not reached: the handler ends the process
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 128 + signal_number);  // 130 for SIGINT, 143 for SIGTERM
    const std::string name = signal_number == SIGINT ? "SIGINT" : "SIGTERM";
    EXPECT_EQ(read_all(log), " the job so far\n\n -- TESSEL interrupted by " + name + " --\n");
    EXPECT_EQ(read_all(summary), " Failed: x.pdb  Reason: interrupted\n");
    EXPECT_FALSE(fs::exists(copy));
  }
  // A cleared record leaves every file alone.
  std::ofstream(log) << " the job so far\n";
  std::ofstream(copy) << "ATOM\n";
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    quiet_error_stream();
    install_interrupt_handlers();
    InterruptRecord record;
    record.set_log(log.string());
    record.set_temporary(copy.string());
    record.clear();
    ::raise(SIGTERM);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_EQ(WEXITSTATUS(status), 143);
  EXPECT_TRUE(fs::exists(copy));
  EXPECT_EQ(read_all(log), " the job so far\n");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace tessel
