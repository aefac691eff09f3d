// The envelope file (.env): the envelope radius of every direction of the grid, kept beside the
// save file so that a later run on the save file can build hydration shells of other widths.
// Two framed records (io/record_file.hpp), little-endian:
//   1. (8 bytes) int32 Fibonacci grid order, int32 number of directions N;
//   2. (8·N bytes) real64 F_j, Å, in grid order.
#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "core/errors.hpp"

namespace tessel {

// An envelope file that is missing, cannot be read or does not fit the save file.
class EnvelopeFileError : public Error {
 public:
  EnvelopeFileError(const std::string& file_name, const std::string& reason)
      : Error(" Error -- " + reason + ": " + file_name, 1) {}
};

// The envelope file that belongs to a save file: the same name with the extension .env.
std::filesystem::path envelope_file_for(const std::filesystem::path& save_file);

// Creates or replaces the file; false when it cannot be written completely.
bool write_envelope_file(const std::filesystem::path& file, int fibonacci_order,
                         std::span<const double> radius);

// Reads the radii, checking the framing, the grid order (10..18), the number of directions
// against `directions`, finite radii not below 0 and nothing after the second record. Throws
// EnvelopeFileError with the file's name.
std::vector<double> read_envelope_file(const std::filesystem::path& file, int fibonacci_order,
                                       int directions);

}  // namespace tessel
