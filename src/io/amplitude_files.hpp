// The two files that carry multipole expansions out of the program: the net partial amplitudes
// (.alm, binary records) and the envelope-function coefficients (.flm, text).
#pragma once

#include <complex>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

namespace tessel {

// Status of the amplitude-file writer.
inline constexpr int kAlmOk = 0;
inline constexpr int kAlmCannotOpen = -1;
inline constexpr int kAlmWriteFailed = -2;

// Writes the records of a .alm file: the title length (title without leading and trailing
// blanks), the title characters with l_max and the point count, s(1..ns) in single precision,
// then one record per harmonic index (0-based l(l+1)/2 + m) holding the real and imaginary
// parts of every curve point in single precision. `alm` holds (l_max+1)(l_max+2)/2 × ns complex
// values, the harmonic index fastest: element (j, i) at j + nh·i. Returns kAlmOk or
// kAlmWriteFailed.
int write_alm(std::ostream& out, std::string_view title, int l_max, std::span<const double> s,
              std::span<const std::complex<double>> alm);

// LOALMS: the net-amplitude file under its full name (of any length), replacing an existing
// file. Messages go to the console: a blank name or a file that cannot be created gives
// kAlmCannotOpen and ' LOALMS ---E- Error opening data file "name".', a failed write
// kAlmWriteFailed and " LOALMS ---E-: Fatal error in Alms file." (the part written is removed).
int LOALMS(const std::filesystem::path& file, std::string_view title, int l_max,
           std::span<const double> s, std::span<const std::complex<double>> alm,
           std::ostream& console);

// The number on the second line of a .flm file.
inline constexpr int kFlmHeaderNumber = (85 - 3) / 2;

// The 80-character title of a .flm file: " Envelope function from", two blanks, the structure file
// name without surrounding blanks, five blanks and the 24-character time stamp, cut or padded.
std::string flm_title(std::string_view structure_name, std::string_view time_stamp);

// Envelope-function coefficients up to order l_env in harmonic-index order, with a presence
// flag per coefficient; only present ones are written.
struct EnvelopeCoefficients {
  int l_env = 0;
  std::span<const std::complex<double>> values;  // (l_env+1)(l_env+2)/2
  std::span<const int> present;                  // 1 = present, same length
};

// Writes the .flm text: the first 77 characters of the title; the header number, l_env, the
// number of coefficient lines and the equal-volume radius (Å); then "l m re im 1 flag" per
// present coefficient, flag 1 when m > 0. False when the stream fails.
bool write_flm(std::ostream& out, std::string_view title, const EnvelopeCoefficients& coeffs,
               double radius);

// LOFLMS: writes the .flm file, replacing an existing one. When the file cannot be created the console
// gets " LOASAV: Error  --  cannot open file  " and the name; then `ask_new_name` (when given)
// supplies another name and the writing starts over, and without it (no console to answer) the
// file is skipped with " Warning: error saving data to the file " and the name. A write that
// fails part-way gives the same warning and removes what was written. Returns the name
// written, or nothing.
std::optional<std::string> LOFLMS(
    const std::string& file, std::string_view title, const EnvelopeCoefficients& coeffs,
    double radius, std::ostream& console,
    const std::function<std::string()>& ask_new_name = nullptr);

}  // namespace tessel
