// The program starts and ends.
#include <gtest/gtest.h>

#include "run_program.hpp"

namespace tessel_test {

TEST(Smoke, ProgramRunsInAnEmptyDirectory) {
  TempDir dir;
  const RunResult r = run_tessel(dir.path(), {"-v"});
  EXPECT_EQ(r.status, 0);
}

}  // namespace tessel_test
