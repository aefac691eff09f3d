// Fixed-column lines of a PDB coordinate file.
#include "io/pdb_line.hpp"

#include <charconv>
#include <cmath>
#include <limits>

#include "core/errors.hpp"
#include "io/fortran_format.hpp"

namespace tessel {

namespace {

// The message block of a stopped read: an empty line, the title, an empty line, the line in
// `width` columns and two empty lines. The last line end is left to whoever prints it.
[[noreturn]] void stop_with(std::string_view title, std::string_view line, int width) {
  const std::string text = pdb_columns(line, 1, static_cast<std::size_t>(width));
  const Format format("(/'" + std::string(title) + "',//,1X,A" + std::to_string(width) + ",//)");
  std::string message = format(text);
  if (!message.empty() && message.back() == '\n') message.pop_back();
  throw Error(message, 1);
}

constexpr std::string_view kFirstLetters = "ABCDEFGHIKLMNOPRSTXYZ";
constexpr std::string_view kSecondLetters = "ABCDEFGHILMNOPRSTUVY";
constexpr std::string_view kOneLetterSymbols = "BCFHIKNOPSUVWY";

bool is_two_letter_code(char a, char b) {
  return kFirstLetters.find(a) != std::string_view::npos &&
         kSecondLetters.find(b) != std::string_view::npos;
}

bool is_one_letter_symbol(char a) {
  return a != ' ' && kOneLetterSymbols.find(a) != std::string_view::npos;
}

}  // namespace

std::optional<int> read_residue_number(std::string_view field) {
  std::size_t b = field.find_first_not_of(' ');
  if (b == std::string_view::npos) return 0;
  std::size_t e = field.find_last_not_of(' ');
  std::string_view t = field.substr(b, e - b + 1);
  const bool upper = t[0] >= 'A' && t[0] <= 'Z';
  const bool lower = t[0] >= 'a' && t[0] <= 'z';
  if (!upper && !lower) {
    if (t[0] == '+') t.remove_prefix(1);
    int value = 0;
    const auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    if (ec != std::errc() || ptr != t.data() + t.size()) return std::nullopt;
    return value;
  }
  if (field.size() != 4 || b != 0) return std::nullopt;
  constexpr int kBlock = 36 * 36 * 36;  // numbers per leading digit
  int value = 0;
  for (char c : field) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (upper && c >= 'A' && c <= 'Z') {
      digit = c - 'A' + 10;
    } else if (lower && c >= 'a' && c <= 'z') {
      digit = c - 'a' + 10;
    } else {
      return std::nullopt;
    }
    value = value * 36 + digit;
  }
  value = value - 10 * kBlock + 10000;
  if (lower) value += 26 * kBlock;
  return value;
}

bool is_valid_element_code(std::string_view code) {
  if (code.size() != 2) return false;
  if (code[0] == ' ') return is_one_letter_symbol(code[1]);
  return is_two_letter_code(code[0], code[1]);
}

LineReader::LineReader(std::istream& in, std::size_t max_length)
    : in_(in), max_length_(max_length), buffer_(max_length + 1, '\0') {}

bool LineReader::next(std::string& line) {
  line.clear();
  in_.getline(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
  const auto count = static_cast<std::size_t>(in_.gcount());
  if (in_.bad()) stop_unreadable_line(std::string_view(buffer_.data(), count), 54);
  if (count == 0 && in_.fail()) return false;  // nothing left

  std::size_t length = count;
  if (in_.fail() && !in_.eof()) {
    // The line is longer than the buffer: keep its head, pass over the rest.
    in_.clear();
    in_.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    if (in_.bad()) stop_unreadable_line(std::string_view(buffer_.data(), count), 54);
  } else if (!in_.eof()) {
    length = count - 1;  // the '\n' was extracted and counted
  }
  line.assign(buffer_.data(), length);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

std::string pdb_columns(std::string_view line, std::size_t first, std::size_t last) {
  std::string out(last - first + 1, ' ');
  for (std::size_t c = first; c <= last && c <= line.size(); ++c) out[c - first] = line[c - 1];
  return out;
}

bool record_is(std::string_view line, std::string_view name) {
  return line.substr(0, name.size()) == name;
}

bool is_atom_line(std::string_view line) {
  return record_is(line, "ATOM") || record_is(line, "HETATM");
}

bool is_water_line(std::string_view line) {
  const std::string residue = pdb_columns(line, 18, 20);
  return residue == "HOH" || residue == "WAT";
}

bool is_rotamer_line(std::string_view line) {
  const char alt = pdb_column(line, 17);
  return alt != ' ' && alt != 'A';
}

std::string record_element_code(std::string_view record) {
  const char e1 = pdb_column(record, 77);
  const char e2 = pdb_column(record, 78);
  if (e1 == ' ' ? is_one_letter_symbol(e2) : is_two_letter_code(e1, e2)) return {e1, e2};
  const char n13 = pdb_column(record, 13);
  const char n14 = pdb_column(record, 14);
  const char n15 = pdb_column(record, 15);
  if (is_two_letter_code(n13, n14)) return {n13, n14};
  if (is_one_letter_symbol(n14)) return {' ', n14};
  if (is_two_letter_code(n14, n15)) return {n14, n15};
  if (is_one_letter_symbol(n15)) return {' ', n15};
  return {n14, n15};
}

bool is_hydrogen_record(std::string_view record) {
  return record_element_code(record) == " H";
}

AtomLineClass classify_atom_line(std::string_view line, bool explicit_hydrogens) {
  if (!is_atom_line(line)) return AtomLineClass::kNotAtom;
  if (is_rotamer_line(line)) return AtomLineClass::kRotamer;
  if (is_water_line(line)) return AtomLineClass::kWater;
  if (!explicit_hydrogens && is_hydrogen_record(line)) return AtomLineClass::kHydrogen;
  return AtomLineClass::kAccepted;
}

std::optional<double> read_coordinate_field(std::string_view field) {
  // Fortran formatted input ignores blanks inside a numeric field.
  std::string t;
  for (char c : field) {
    if (c != ' ') t.push_back(c);
  }
  if (t.empty()) return std::nullopt;

  std::size_t i = 0;
  std::string mantissa;
  if (t[i] == '+' || t[i] == '-') {
    if (t[i] == '-') mantissa.push_back('-');
    ++i;
  }
  bool digits = false;
  bool point = false;
  for (; i < t.size(); ++i) {
    const char c = t[i];
    if (c >= '0' && c <= '9') {
      digits = true;
      mantissa.push_back(c);
    } else if (c == '.' && !point) {
      point = true;
      mantissa.push_back(c);
    } else {
      break;
    }
  }
  if (!digits) return std::nullopt;

  int exponent = 0;
  if (i < t.size()) {
    // An exponent: a letter E, D or Q with an optional sign, or a sign alone.
    const char c = t[i];
    if (c == 'E' || c == 'e' || c == 'D' || c == 'd' || c == 'Q' || c == 'q') ++i;
    else if (c != '+' && c != '-') return std::nullopt;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
      negative = t[i] == '-';
      ++i;
    }
    if (i == t.size()) return std::nullopt;
    const auto [ptr, ec] = std::from_chars(t.data() + i, t.data() + t.size(), exponent);
    if (ec != std::errc() || ptr != t.data() + t.size()) return std::nullopt;
    if (negative) exponent = -exponent;
  }
  if (!point) exponent -= 3;  // F8.3: three implied decimals

  const std::string text = mantissa + "e" + std::to_string(exponent);
  double value = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || ptr != text.data() + text.size()) return std::nullopt;
  if (!(std::abs(value) < kCoordinateLimit)) return std::nullopt;
  return value;
}

std::optional<std::array<double, 3>> read_atom_coordinates(std::string_view line) {
  std::array<double, 3> xyz{};
  for (std::size_t k = 0; k < 3; ++k) {
    const std::size_t first = 31 + 8 * k;
    const auto v = read_coordinate_field(pdb_columns(line, first, first + 7));
    if (!v) return std::nullopt;
    xyz[k] = *v;
  }
  return xyz;
}

std::optional<AtomRecord> parse_atom_line(std::string_view line) {
  if (!is_atom_line(line)) return std::nullopt;
  AtomRecord a;
  a.record = pdb_columns(line, 1, kPdbRecordLength);
  const std::string_view r = a.record;
  a.record_name = r.substr(0, 6);
  a.atom_name = r.substr(12, 4);
  a.alt_loc = r[16];
  a.residue_name = r.substr(17, 3);
  a.chain_id = r[21];
  const auto residue_number = read_residue_number(r.substr(22, 4));
  if (!residue_number) stop_unreadable_line(r, static_cast<int>(kPdbRecordLength));
  a.residue_number = *residue_number;
  const auto xyz = read_atom_coordinates(r);
  if (!xyz) stop_unreadable_coordinates(r, static_cast<int>(kPdbRecordLength));
  a.x = (*xyz)[0];
  a.y = (*xyz)[1];
  a.z = (*xyz)[2];
  a.element = r.substr(76, 2);
  return a;
}

void stop_unreadable_line(std::string_view line, int width) {
  stop_with(" ERROR: Error reading string :", line, width);
}

void stop_unreadable_coordinates(std::string_view line, int width) {
  stop_with(" ERROR: Error reading (X,Y,Z) in string :", line, width);
}

}  // namespace tessel
