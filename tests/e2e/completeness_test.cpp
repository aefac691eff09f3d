// The warning of missing residues: on the console and in the log of an incomplete crystal
// structure, after the pre-pass lines, and nowhere for complete structures or for chains left
// out by a chain selection.
#include <gtest/gtest.h>

#include <algorithm>

#include "output_checks.hpp"
#include "run_program.hpp"

namespace tessel_test {
namespace {

TEST(Completeness, WarningOnlyForTheIncompleteStructure) {
  TempDir dir;
  for (const char* name : {"3kfo.pdb", "3kfo-fill_model.pdb", "6lyz.pdb", "3hfm.pdb"})
    dir.copy_data(name);
  const RunResult r = run_tessel(dir.path(), {"3kfo.pdb", "3kfo-fill_model.pdb", "6lyz.pdb"});
  ASSERT_EQ(r.status, 0) << r.err;
  // REMARK 465 of 3kfo.pdb lists 878-945 (68) and 1159-1165 (7) of chain A as not located;
  // SEQRES has 288 residues. With the chain's own mean atoms per residue for the missing ones,
  // the share is 75 / 288 = 26.04 %.
  const std::string warning =
      " Warning: chain A lacks 75 of its 288 residues (SEQRES), about 26.0% of its atoms\n"
      "          missing: 878-945, 1159-1165\n";
  EXPECT_EQ(count_of(r.out, warning), 1) << r.out;
  EXPECT_EQ(count_of(r.out, "Warning: chain"), 1);
  const std::string log = read_file(dir.path() / "3kfo00.log");
  const auto at = log.find(warning);
  ASSERT_NE(at, std::string::npos) << log;
  EXPECT_LT(log.find(" Geometric Center:"), at);
  EXPECT_GT(log.find(" Center of the excess electron density:"), at);
  for (const char* complete : {"3kfo-fill_model00.log", "6lyz00.log"})
    EXPECT_EQ(count_of(read_file(dir.path() / complete), "Warning: chain"), 0) << complete;

  // Lysozyme alone out of the antibody complex is complete; the chains left out are not
  // reported as missing.
  const RunResult chain = run_tessel(dir.path(), {"3hfm.pdb", "-cid", "Y"});
  ASSERT_EQ(chain.status, 0) << chain.err;
  EXPECT_EQ(count_of(chain.out, "Warning: chain"), 0) << chain.out;
}

}  // namespace
}  // namespace tessel_test
