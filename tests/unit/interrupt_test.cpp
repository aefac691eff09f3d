// The SIGTERM handler in a child process: it completes the job's record (the log's interrupted
// line, the summary's failed line, the temporary copy removed) and exits with 128 + 15.
#include "app/interrupt.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tessel {
namespace {

namespace fs = std::filesystem;

std::string read_all(const fs::path& p) {
  std::ostringstream text;
  text << std::ifstream(p).rdbuf();
  return text.str();
}

TEST(Interrupt, HandlerCompletesTheRecordAndExitsWith143) {
  const fs::path dir = fs::temp_directory_path() / ("tessel-interrupt-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path log = dir / "job00.log", summary = dir / "summary.txt", copy = dir / "copy.pdb";
  std::ofstream(log) << " the job so far\n";
  std::ofstream(copy) << "ATOM\n";
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::dup2(::open("/dev/null", O_WRONLY), STDERR_FILENO);  // the handler's line is not wanted
    install_interrupt_handlers();
    InterruptRecord record;
    record.set_log(log.string());
    record.set_summary(summary.string(), " Failed: x.pdb  Reason: interrupted\n");
    record.set_temporary(copy.string());
    ::raise(SIGTERM);
    ::_exit(0);  // not reached
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 143);
  EXPECT_EQ(read_all(log), " the job so far\n\n -- TESSEL interrupted by SIGTERM --\n");
  EXPECT_EQ(read_all(summary), " Failed: x.pdb  Reason: interrupted\n");
  EXPECT_FALSE(fs::exists(copy));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace tessel
