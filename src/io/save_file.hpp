// The save file (.sav): grid settings, structure name, structural parameters and the three
// partial amplitudes of one structure, so that a later run can go straight to the intensity and
// the fit. Four framed records (io/record_file.hpp), little-endian 32-bit integers and IEEE 754
// doubles:
//   1. (1052 bytes) int32 L, int32 Fibonacci grid order, int32 number of directions,
//      real64 s_max, int32 number of s points ns, 1024 bytes structure file name (blank padded),
//      int32 number of atoms;
//   2. (56 bytes) real64 electron Rg, molecular weight, envelope Rg, envelope volume,
//      envelope surface, envelope radius, envelope diameter;
//   3. (24 bytes) real64 shell Rg, shell volume, shape Rg;
//   4. (8·ns + 48·nh·ns bytes, nh = (L+1)(L+2)/2) real64 s(1..ns), then the complex amplitudes
//      of the atoms in vacuum, of the displaced solvent and of the hydration shell, nh·ns each,
//      every complex value as real part then imaginary part, the harmonic index varying fastest.
#pragma once

#include <complex>
#include <cstddef>
#include <filesystem>
#include <ostream>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/errors.hpp"
#include "core/run_settings.hpp"

namespace tessel {

// Length of the structure-name field of record 1, bytes.
inline constexpr std::size_t kSavedNameLength = 1024;

// Everything a save file holds.
//
// Amplitude layout: each of atomalm, vdwalm and bordalm holds nh × ns values with
// nh = harmonic_count(l_max) = (L+1)(L+2)/2 and ns = n_points; the value of harmonic (l, m),
// 0 ≤ m ≤ l ≤ L, at s point k (0-based, s[k]) is at index j + nh·k, where j = l(l+1)/2 + m is the
// 0-based harmonic index (harmonic_index(l, m) of core/harmonic_tables.hpp). So all nh
// coefficients of s[0] come first, then those of s[1], and so on, exactly the order of the file.
struct SaveData {
  // Record 1.
  int l_max = 15;              // maximum harmonic order L, 0..99
  int fibonacci_order = 17;    // order of the direction grid, 10..18
  int n_directions = 2584;     // directions of that grid: Fibonacci number F(order + 1)
  double s_max = 0.5;          // maximum scattering vector, 1/Å
  int n_points = 51;           // points of the computed curve ns, 1..5000
  std::string structure_name;  // structure file name as typed, trailing blanks removed
  int n_atoms = 0;             // atoms of the model

  // Record 2.
  double electron_rg = 0.0;        // Å
  double molecular_weight = 0.0;   // Da
  double envelope_rg = 0.0;        // Å
  double envelope_volume = 0.0;    // Å³
  double envelope_surface = 0.0;   // Å²
  double envelope_radius = 0.0;    // Å
  double envelope_diameter = 0.0;  // Å

  // Record 3.
  double shell_rg = 0.0;      // Å
  double shell_volume = 0.0;  // Å³
  double shape_rg = 0.0;      // Å, radius of gyration of the atom centres

  // Record 4.
  std::vector<double> s;                         // the computed s grid, ns values, 1/Å
  std::vector<std::complex<double>> atomalm;     // atoms in vacuum, nh × ns
  std::vector<std::complex<double>> vdwalm;      // displaced solvent (excluded volume), nh × ns
  std::vector<std::complex<double>> bordalm;     // hydration shell (border layer), nh × ns
};

// A save file that cannot be opened or is not a sound save file. what() is the message the user
// sees; reason() tells which check failed.
class SaveFileReadError : public Error {
 public:
  SaveFileReadError(const std::string& file_name, std::string reason)
      : Error(" Error opening or reading file " + file_name, 1), reason_(std::move(reason)) {}
  const std::string& reason() const noexcept { return reason_; }

 private:
  std::string reason_;
};

// A save file that could not be written completely. The run goes on without it: the caller
// writes what() to standard error.
class SaveFileWriteError : public Error {
 public:
  explicit SaveFileWriteError(const std::string& file_name)
      : Error(" Warning: Error writing file " + file_name, 1) {}
};

// Bytes that do not form a sound save file; what() tells which check failed.
class SaveFormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Writes the four records to a binary stream. Throws std::invalid_argument when the data
// would not read back (values outside the limits checked by the reader, a structure name
// longer than 1024 bytes or holding a NUL byte, array sizes that differ from ns and nh × ns) and
// RecordError when the stream fails.
void write_save_data(std::ostream& out, const SaveData& data);

// Creates or replaces the file and writes the records to it. A failure to open, write or close
// the file throws SaveFileWriteError with the file's name; the partial file is left in place,
// and the reader refuses it because a record is missing or cut short.
void write_save_file(const std::filesystem::path& file, const SaveData& data);

// Reads a save file held in memory. Before anything is allocated the framing and record 1 are
// checked: each record's two markers agree and state the length its contents need (1052, 56,
// 24 and 8·ns + 48·nh·ns bytes), L is 0..99, the grid order 10..18 with F(order + 1)
// directions, s_max finite and positive, ns 1..5000, the number of atoms not negative, and the
// name field holds no NUL byte. The four records must be all there is: trailing bytes after
// record 4 are refused too. Any failure throws SaveFormatError. Safe on arbitrary input.
SaveData read_save_data(std::span<const std::byte> bytes);

// Reads a save file with the checks of read_save_data, streaming the amplitudes from the file.
// Throws SaveFileReadError(file name) when the file cannot be opened or read or fails a check.
SaveData read_save_file(const std::filesystem::path& file);

// The values of a save file replace the grid settings: L, grid order, s_max and ns.
void apply_save_settings(const SaveData& data, RunSettings& settings);

// The log lines written after a save file is read, each group between lines holding one blank
// (written empty, trailing blanks being removed): the file name, the grid, the s range (the
// last s point and ns), the structure name and atom count, and the structural parameters two
// per line with the fixed 3 Å shell width.
std::string save_file_report(const SaveData& data, std::string_view save_file_name);

}  // namespace tessel
