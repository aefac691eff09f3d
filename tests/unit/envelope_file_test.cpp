// The envelope file: radii written and read back bit for bit; a missing, foreign or damaged file
// refused with its name.
#include "io/envelope_file.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace tessel {

TEST(EnvelopeFile, RoundTripAndRefusals) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "tessel_envelope_file_test";
  std::filesystem::create_directories(dir);
  const std::filesystem::path file = envelope_file_for(dir / "lyz00.sav");
  EXPECT_EQ(file.filename(), "lyz00.env");
  std::vector<double> radius(144);  // F(12) directions of the grid of order 11
  for (std::size_t j = 0; j < radius.size(); ++j) radius[j] = 10.0 + 0.1 * static_cast<double>(j) + 1e-13;
  ASSERT_TRUE(write_envelope_file(file, 11, radius));
  EXPECT_EQ(std::filesystem::file_size(file), (4u + 8u + 4u) + (4u + 8u * 144u + 4u));  // two framed records
  EXPECT_EQ(read_envelope_file(file, 11, 144), radius);

  const auto refused = [&](int order, int directions, const std::string& why) {
    try {
      read_envelope_file(file, order, directions);
      ADD_FAILURE() << "accepted: " << why;
    } catch (const EnvelopeFileError& e) {
      EXPECT_NE(std::string(e.what()).find(file.string()), std::string::npos) << e.what();
    }
  };
  refused(12, 144, "another grid order");
  refused(11, 233, "another number of directions");
  std::ofstream(file, std::ios::app) << 'x';
  refused(11, 144, "a byte after the records");
  std::filesystem::resize_file(file, 100);
  refused(11, 144, "cut short");
  radius[5] = -1.0;
  ASSERT_TRUE(write_envelope_file(file, 11, radius));
  refused(11, 144, "a negative radius");
  std::filesystem::remove(file);
  refused(11, 144, "missing");
  std::filesystem::remove_all(dir);
}

}  // namespace tessel
