// Starting another program: the arguments reach it exactly as given, with no command interpreter
// in between, and the call waits for the program to end.
#include "app/platform.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace tessel {
namespace {

namespace fs = std::filesystem;

TEST(SystemPlatform, ArgumentsReachTheProgramUnchanged) {
  const fs::path dir = fs::temp_directory_path() / ("tessel_platform_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  // Names a command interpreter would split, expand, quote or run: each must become one file.
  const std::vector<std::string> names = {
      "two words.dat", "dollar $HOME.dat", "semi;colon.dat", "quote'single.dat",
      "quote\"double.dat", "back`tick`.dat", "-leading-dash.dat", "star*.dat", "a\\b.dat"};
  std::vector<std::string> argv = {"touch", "--"};
  for (const std::string& n : names) argv.push_back((dir / n).string());
  SystemPlatform platform;
  ASSERT_TRUE(platform.run_and_wait(argv));  // found on the PATH, as a bare name
  // run_and_wait returned after the program ended: every file is there already.
  for (const std::string& n : names) {
    SCOPED_TRACE(n);
    EXPECT_TRUE(fs::exists(dir / n));
  }
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir)) ++count;
  EXPECT_EQ(count, names.size());  // and nothing else (no word split off, no pattern expanded)
  fs::remove_all(dir);
}

TEST(SystemPlatform, ProgramThatCannotBeStartedIsReported) {
  SystemPlatform platform;
  const std::vector<std::string> cases[] = {
      {"/nonexistent/dir/program"},
      {"tessel-no-such-program-on-the-path"},
  };
  for (const auto& argv : cases) {
    SCOPED_TRACE(argv.front());
    EXPECT_FALSE(platform.run_and_wait(argv));
  }
  EXPECT_FALSE(platform.run_and_wait(std::vector<std::string>{}));
}

TEST(SystemPlatform, OwnExecutableIsARunnableFile) {
  SystemPlatform platform;
  const std::string self = platform.own_executable("given-name");
  EXPECT_TRUE(fs::path(self).is_absolute()) << self;
  EXPECT_EQ(::access(self.c_str(), X_OK), 0) << self;
}

}  // namespace
}  // namespace tessel
