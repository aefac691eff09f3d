// The net-amplitude file (.alm) read back record by record, and the envelope-coefficient
// file (.flm) compared with texts built by hand from its line formats.
#include "io/amplitude_files.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "pdb_test_files.hpp"

namespace tessel {
namespace {

// Reads the records of a framed binary file, checking that both markers agree.
std::vector<std::string> read_records(const std::string& bytes) {
  std::vector<std::string> records;
  std::size_t pos = 0;
  auto le32 = [&](std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
      v |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes.at(at + i))) << (8 * i);
    return v;
  };
  while (pos < bytes.size()) {
    const std::uint32_t n = le32(pos);
    records.push_back(bytes.substr(pos + 4, n));
    EXPECT_EQ(le32(pos + 4 + n), n) << "closing marker of record " << records.size();
    pos += 8 + n;
  }
  EXPECT_EQ(pos, bytes.size());
  return records;
}

std::int32_t int_at(const std::string& payload, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i)
    v |= static_cast<std::uint32_t>(static_cast<unsigned char>(payload.at(at + i))) << (8 * i);
  return static_cast<std::int32_t>(v);
}

float float_at(const std::string& payload, std::size_t at) {
  return std::bit_cast<float>(static_cast<std::uint32_t>(int_at(payload, at)));
}

TEST(AlmFile, RecordsHoldTitleOrderGridAndOneRecordPerHarmonic) {
  // L = 1: three coefficients (0,0), (1,0), (1,1); two curve points.
  const std::vector<double> s = {0.0, 0.25};
  std::vector<std::complex<double>> alm(3 * 2);
  for (std::size_t i = 0; i < 2; ++i)
    for (std::size_t j = 0; j < 3; ++j)
      alm[j + 3 * i] = {static_cast<double>(10 * j + i), -static_cast<double>(j + 1) / 4.0};

  std::ostringstream out;
  ASSERT_EQ(write_alm(out, "  lyz.pdb   ", 1, s, alm), kAlmOk);
  const auto records = read_records(out.str());
  ASSERT_EQ(records.size(), 3u + 3u);

  ASSERT_EQ(records[0].size(), 4u);
  EXPECT_EQ(int_at(records[0], 0), 7);  // "lyz.pdb" without its blanks
  ASSERT_EQ(records[1].size(), 7u + 8u);
  EXPECT_EQ(records[1].substr(0, 7), "lyz.pdb");
  EXPECT_EQ(int_at(records[1], 7), 1);
  EXPECT_EQ(int_at(records[1], 11), 2);
  ASSERT_EQ(records[2].size(), 8u);
  EXPECT_EQ(float_at(records[2], 0), 0.0f);
  EXPECT_EQ(float_at(records[2], 4), 0.25f);
  for (std::size_t j = 0; j < 3; ++j) {
    SCOPED_TRACE("harmonic " + std::to_string(j));
    const std::string& r = records[3 + j];
    ASSERT_EQ(r.size(), 16u);  // two points of (re, im) in single precision
    for (std::size_t i = 0; i < 2; ++i) {
      EXPECT_EQ(float_at(r, 8 * i), static_cast<float>(10 * j + i));
      EXPECT_EQ(float_at(r, 8 * i + 4), -static_cast<float>(j + 1) / 4.0f);
    }
  }
}

TEST(AlmFile, BlankTitleHasLengthZero) {
  const std::vector<double> s = {0.0};
  const std::vector<std::complex<double>> alm(1);
  std::ostringstream out;
  ASSERT_EQ(write_alm(out, "     ", 0, s, alm), kAlmOk);
  const auto records = read_records(out.str());
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(int_at(records[0], 0), 0);
  EXPECT_EQ(records[1].size(), 8u);
}

TEST(AlmFile, NamesLongerThanEightyCharactersAreWrittenInFull) {
  testing::ScratchDir dir;
  const std::string stem(120, 'a');
  const auto file = dir.path() / (stem + ".alm");
  const std::vector<double> s = {0.0};
  const std::vector<std::complex<double>> alm(1, {1.0, 0.0});
  std::ostringstream console;
  EXPECT_EQ(LOALMS(file, "x.pdb", 0, s, alm, console), kAlmOk);
  EXPECT_TRUE(std::filesystem::exists(file));
  EXPECT_EQ(console.str(), "");
}

TEST(AlmFile, OpenFailuresAreReportedOnTheConsole) {
  testing::ScratchDir dir;
  const std::vector<double> s = {0.0};
  const std::vector<std::complex<double>> alm(1);
  struct Case {
    std::string name;
    std::string message;
  };
  const std::string missing = (dir.path() / "no-such-dir" / "x.alm").string();
  const Case cases[] = {
      {"", " LOALMS ---E- Error opening data file \" \".\n"},
      {"   ", " LOALMS ---E- Error opening data file \" \".\n"},
      {missing, " LOALMS ---E- Error opening data file \"" + missing + "\".\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("name '" + c.name + "'");
    std::ostringstream console;
    EXPECT_EQ(LOALMS(c.name, "x", 0, s, alm, console), kAlmCannotOpen);
    EXPECT_EQ(console.str(), c.message);
  }
}

TEST(FlmFile, TitleHasFixedPartsAndEightyCharacters) {
  const std::string stamp = "  05-Mar-2024   09:05:07";
  const std::string title = flm_title("  6lyz.pdb  ", stamp);
  ASSERT_EQ(title.size(), 80u);
  EXPECT_EQ(title, " Envelope function from  6lyz.pdb       05-Mar-2024   09:05:07" +
                       std::string(80 - 62, ' '));
  const std::string long_title = flm_title(std::string(100, 'n'), stamp);
  EXPECT_EQ(long_title, " Envelope function from  " + std::string(55, 'n'));
}

TEST(FlmFile, LinesFollowTheirFormats) {
  // l_env = 1: (0,0), (1,0), (1,1) all present.
  const std::vector<std::complex<double>> values = {{3.5449, 0.0}, {-0.125, 0.0}, {0.5, -0.25}};
  const std::vector<int> present = {1, 1, 1};
  const EnvelopeCoefficients c{1, values, present};
  std::ostringstream out;
  const std::string title(80, 'T');
  ASSERT_TRUE(write_flm(out, title, c, 17.25));
  // (a77); (3i5,f15.6); (2i5,2f15.6,2i5)
  const std::string expected = std::string(77, 'T') + "\n" +
                               "   41    1    3      17.250000\n"
                               "    0    0       3.544900       0.000000    1    0\n"
                               "    1    0      -0.125000       0.000000    1    0\n"
                               "    1    1       0.500000      -0.250000    1    1\n";
  EXPECT_EQ(out.str(), expected);
}

TEST(FlmFile, OnlyPresentCoefficientsAreWritten) {
  const std::vector<std::complex<double>> values = {{1, 0}, {2, 0}, {3, 0}};
  const std::vector<int> present = {1, 0, 1};
  std::ostringstream out;
  ASSERT_TRUE(write_flm(out, "t", {1, values, present}, 1.0));
  const std::string text = out.str();
  EXPECT_NE(text.find("   41    1    2       1.000000\n"), std::string::npos);
  EXPECT_EQ(text.find("    1    0 "), std::string::npos);
  EXPECT_NE(text.find("    1    1       3.000000"), std::string::npos);
}

TEST(FlmFile, UnwritableFileIsSkippedWithoutConsoleAndRenamedWithIt) {
  testing::ScratchDir dir;
  const std::vector<std::complex<double>> values = {{1, 0}};
  const std::vector<int> present = {1};
  const EnvelopeCoefficients c{0, values, present};
  const std::string bad = (dir.path() / "missing" / "x.flm").string();

  std::ostringstream batch_console;
  EXPECT_FALSE(LOFLMS(bad, "t", c, 1.0, batch_console).has_value());
  EXPECT_EQ(batch_console.str(), " LOASAV: Error  --  cannot open file  " + bad + "\n" +
                                     " Warning: error saving data to the file " + bad + "\n");

  std::ostringstream console;
  const std::string good = (dir.path() / "y.flm").string();
  int asked = 0;
  const auto written = LOFLMS(bad, "t", c, 1.0, console, [&] {
    ++asked;
    return asked == 1 ? bad : good;
  });
  ASSERT_TRUE(written.has_value());
  EXPECT_EQ(*written, good);
  EXPECT_EQ(asked, 2);
  EXPECT_TRUE(std::filesystem::exists(good));
}

TEST(AmplitudeFiles, WritesCutShortLeaveNoFileBehind) {
  // A link to /dev/full opens like a file, but every write fails as on a full disk. What the
  // routines remove is the link (never the device it points to).
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  testing::ScratchDir dir;
  const auto alm_file = dir.path() / "full.alm";
  const auto flm_file = dir.path() / "full.flm";
  std::filesystem::create_symlink("/dev/full", alm_file);
  std::filesystem::create_symlink("/dev/full", flm_file);

  const std::vector<double> s(51, 0.1);
  const std::vector<std::complex<double>> alm(136 * 51, {1.0, 2.0});
  std::ostringstream console;
  EXPECT_EQ(LOALMS(alm_file, "x.pdb", 15, s, alm, console), kAlmWriteFailed);
  EXPECT_EQ(console.str(), " LOALMS ---E-: Fatal error in Alms file.\n");
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(alm_file)));

  const std::vector<std::complex<double>> values(231, {1.0, 0.5});
  const std::vector<int> present(231, 1);
  std::ostringstream flm_console;
  EXPECT_FALSE(LOFLMS(flm_file.string(), "t", {20, values, present}, 1.0, flm_console));
  EXPECT_EQ(flm_console.str(),
            " Warning: error saving data to the file " + flm_file.string() + "\n");
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(flm_file)));
  EXPECT_TRUE(std::filesystem::exists("/dev/full"));
}

}  // namespace
}  // namespace tessel
