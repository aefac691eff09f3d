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
// Coordinates are smaller in magnitude than this, Å: 99999.999 is the largest value an 8-column
// field holds without an exponent. Larger ones (written with an exponent, such as "9.99e+99")
// come from no real structure, and their squares and sums would overflow the extent and centre.
inline constexpr double kCoordinateLimit = 1.0e5;

// The columns of one accepted atom line that the later stages use (columns counted from 1).
struct AtomRecord {
  std::string record_name;    // columns 1-6 as written ("ATOM  ", "HETATM")
  std::string atom_name;      // columns 13-16, 4 characters, leading blank kept
  char alt_loc = ' ';         // column 17
  std::string residue_name;   // columns 18-20
  char chain_id = ' ';        // column 22
  int residue_number = 0;     // columns 23-26 (hybrid-36 beyond 9999)
  double x = 0, y = 0, z = 0; // columns 31-54, Å
  std::string element;        // columns 77-78 as written (may be blank or hold digits)
  std::string record;         // columns 1-80, blank-padded, line end removed
  // The file line right after this one (any record, at most 80 columns, line end removed;
  // empty at the end of the file): the look-ahead that marks alpha-carbon-only models.
  std::string next_line;
  // What tells the residue apart when columns 18-27 cannot (records made from mmCIF rows, whose
  // chain ids and numbers may be longer): changes exactly where the residue changes. Empty for
  // a line of a PDB file, whose columns 18-27 tell the residue.
  std::string residue_key;
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

// The line begins with `name` (a record name such as "MODEL", "TER", "END").
bool record_is(std::string_view line, std::string_view name);
// "ATOM" in columns 1-4 or "HETATM" in columns 1-6.
bool is_atom_line(std::string_view line);
// Residue name "HOH" or "WAT".
bool is_water_line(std::string_view line);
// Alternate location neither blank nor 'A'.
bool is_rotamer_line(std::string_view line);

// The class of a line in the passes that count and read atoms, tested in this order.
enum class AtomLineClass { kNotAtom, kRotamer, kWater, kHydrogen, kAccepted };

// The two-character element code of a record, right-aligned (" C", "HG", "FE"): columns 77-78
// when they hold a symbol-shaped code (two letters of the symbol alphabets, or a blank and a
// one-letter symbol), else read from the atom name: columns 13-14, column 14 alone, then (a
// name one column late) columns 14-15 or column 15, else columns 14-15 as they stand.
std::string record_element_code(std::string_view record);

// Whether a two-character code can name an element: a two-letter symbol in upper case, or a
// one-letter symbol after a blank (" C", "FE").
bool is_valid_element_code(std::string_view code);

// A record whose element code is " H". Mercury written "HG  ", hafnium "HF" and holmium "HO"
// are no hydrogens, nor is an atom whose element columns name another element.
bool is_hydrogen_record(std::string_view record);

// Hydrogens (element code " H") are accepted when explicit hydrogens are on.
AtomLineClass classify_atom_line(std::string_view line, bool explicit_hydrogens);

// A coordinate field read as Fortran reads F8.3: blanks are ignored, a field without a decimal
// point has three implied decimals, an exponent may follow. Empty when the field holds no
// number (an all-blank field included: an atom line without coordinates is unreadable) or a
// number of magnitude kCoordinateLimit or more.
std::optional<double> read_coordinate_field(std::string_view field);

// The three coordinates of columns 31-54; empty when one of them cannot be read.
std::optional<std::array<double, 3>> read_atom_coordinates(std::string_view line);

// Residue sequence number of columns 23-26: a decimal integer, or hybrid-36 beyond 9999
// ("A000" is 10000). Blank reads as 0; empty when the field holds no number.
std::optional<int> read_residue_number(std::string_view field);

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
