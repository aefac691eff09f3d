// Fixed-column lines of a PDB coordinate file: the line reader shared by all passes over a
// structure, the classes of atom lines and the parser of one accepted atom line.
#pragma once

#include <array>
#include <cstddef>
#include <istream>
#include <optional>
#include <string>
#include <string_view>

namespace tessel {

// Longest line kept by the reader; the rest of a longer line is passed over.
inline constexpr std::size_t kMaxPdbLineLength = 1024;
// Columns the amplitude stage reads from each record (the record text handed to atom typing).
inline constexpr std::size_t kPdbRecordLength = 80;

// The columns of one accepted atom line that the later stages use (columns counted from 1).
struct AtomRecord {
  std::string record_name;    // columns 1-6: "ATOM  " or "HETATM"
  std::string atom_name;      // columns 13-16, 4 characters, leading blank kept
  char alt_loc = ' ';         // column 17
  std::string residue_name;   // columns 18-20
  char chain_id = ' ';        // column 22
  int residue_number = 0;     // columns 23-26 (hybrid-36 beyond 9999)
  double x = 0, y = 0, z = 0; // columns 31-54, Å
  std::string element;        // columns 77-78 as written (may be blank or hold digits)
  std::string record;         // columns 1-80, blank-padded, line end removed
  // The file line right after this one is an "ATOM" record named "CA" in columns 14-15 with a
  // blank or 'A' alternate location (the look-ahead that marks alpha-carbon-only models).
  bool next_is_alpha_carbon = false;
};

// Reads a text stream line by line: "\n" and "\r\n" line ends, at most kMaxPdbLineLength
// characters kept per line. A stream that fails (not its end) stops the run with
// " ERROR: Error reading string :" and the text read so far (tessel::Error, status 1).
class LineReader {
 public:
  explicit LineReader(std::istream& in, std::size_t max_length = kMaxPdbLineLength);

  // The next line without its line end; false at the end of the input.
  bool next(std::string& line);

 private:
  std::istream& in_;
  std::size_t max_length_;
  std::string buffer_;
};

// Column `c` (1-based) of a line, blank beyond its end.
inline char pdb_column(std::string_view line, std::size_t c) {
  return c <= line.size() ? line[c - 1] : ' ';
}

// Columns first..last (1-based, inclusive), blank-padded beyond the end of the line.
std::string pdb_columns(std::string_view line, std::size_t first, std::size_t last);

// Record-name tests on the leading columns.
bool starts_with(std::string_view line, std::string_view head);
// "ATOM" in columns 1-4 or "HETATM" in columns 1-6.
bool is_atom_line(std::string_view line);
// Residue name "HOH" or "WAT".
bool is_water_line(std::string_view line);
// Alternate location neither blank nor 'A'.
bool is_rotamer_line(std::string_view line);

// The class of a line in the passes that count and read atoms, tested in this order.
enum class AtomLineClass { kNotAtom, kRotamer, kWater, kHydrogen, kAccepted };

// Hydrogens (element code " H") are accepted when explicit hydrogens are on.
AtomLineClass classify_atom_line(std::string_view line, bool explicit_hydrogens);

// A coordinate field read as Fortran reads F8.3: blanks are ignored, a field without a decimal
// point has three implied decimals, an exponent may follow. Empty when the field holds no
// number (an all-blank field included: an atom line without coordinates is unreadable).
std::optional<double> read_coordinate(std::string_view field);

// The three coordinates of columns 31-54; empty when one of them cannot be read.
std::optional<std::array<double, 3>> read_coordinates(std::string_view line);

// The atom line parsed into its columns; empty for lines that are not atom lines. A short
// line reads as blank-padded to 80 columns. Unreadable coordinates stop the run with
// " ERROR: Error reading (X,Y,Z) in string :", an unreadable residue number with
// " ERROR: Error reading string :" (tessel::Error, status 1).
std::optional<AtomRecord> parse_atom_line(std::string_view line);

// The messages that stop a run on an unreadable line or unreadable coordinates, the line shown
// in `width` columns (54 for the pre-pass, 80 for the record reader).
[[noreturn]] void stop_unreadable_line(std::string_view line, int width);
[[noreturn]] void stop_unreadable_coordinates(std::string_view line, int width);

}  // namespace tessel
