// Atom typing of coordinate records: filter, element recognition, hydrogens from the residue
// dictionary, the special cases and the composition counts.
#include "io/atom_typing.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <string>

#include "core/errors.hpp"
#include "io/fortran_format.hpp"

namespace tessel {
namespace {

constexpr std::size_t kRecordLength = 80;  // columns read from a line

constexpr int kCarbonType = 1;
constexpr int kCH2Type = 3;
constexpr int kNitrogenType = 5;
constexpr int kNHType = 6;
constexpr int kOxygenType = 9;
constexpr int kSulphurType = 11;
constexpr int kResidueStartNHType = 21;
constexpr int kHydrogenType = 108;

// Letters that can begin, and letters that can end, a two-letter element symbol, and the
// one-letter symbols (which stand right-aligned, after a blank).
constexpr std::string_view kTwoLetterFirst = "ABCDEFGHIKLMNOPRSTXYZ";
constexpr std::string_view kTwoLetterSecond = "ABCDEFGHILMNOPRSTUVY";
constexpr std::string_view kOneLetter = "BCFHIKNOPSUVWY";

constexpr std::string_view kAminoAcids =
    "ALAARGASNASPCYSGLNGLUGLYHISILELEULYSMETPHEPROSERTHRTRPTYRVAL";
constexpr std::string_view kNucleotides[] = {"  A", "  G", "  C", "  U", "  T",
                                             "GTP", " DA", " DG", " DC", " DT"};

bool contains(std::string_view set, char c) { return set.find(c) != std::string_view::npos; }
bool two_letter(char a, char b) {
  return contains(kTwoLetterFirst, a) && contains(kTwoLetterSecond, b);
}
bool one_letter(char c) { return contains(kOneLetter, c); }

// The line as the reader holds it: without its line end, at most 80 columns.
std::string_view record_text(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  return line.substr(0, std::min(line.size(), kRecordLength));
}

// Column c (1-based); a blank beyond the end of the line.
char column(std::string_view line, std::size_t c) { return c <= line.size() ? line[c - 1] : ' '; }

// Columns first..last (1-based), blank-padded beyond the end of the line.
std::string columns(std::string_view line, std::size_t first, std::size_t last) {
  std::string out;
  out.reserve(last - first + 1);
  for (std::size_t c = first; c <= last; ++c) out += column(line, c);
  return out;
}

std::string_view without_trailing_blanks(std::string_view text) {
  const auto end = text.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string_view{} : text.substr(0, end + 1);
}

// A real read as the edit descriptor F8.3 reads it: blanks are ignored, a field without a
// decimal point has three implied decimals, an exponent may follow (E, D or a bare sign).
// Unlike that descriptor, a blank field is no value: a line cut short has no coordinates.
std::optional<double> read_f8_3(std::string_view field) {
  constexpr int kImpliedDecimals = 3;
  std::string s;
  for (char c : field)
    if (c != ' ') s += c;
  std::size_t i = 0;
  const std::size_t n = s.size();
  std::string number;
  if (i < n && (s[i] == '+' || s[i] == '-')) {
    if (s[i] == '-') number += '-';
    ++i;
  }
  bool point = false;
  int digits = 0;
  for (; i < n; ++i) {
    const char c = s[i];
    if (c >= '0' && c <= '9') {
      number += c;
      ++digits;
    } else if (c == '.' && !point) {
      number += c;
      point = true;
    } else {
      break;
    }
  }
  if (digits == 0) return std::nullopt;
  long exponent = 0;
  if (i < n) {
    if (contains("EeDd", s[i])) ++i;
    else if (s[i] != '+' && s[i] != '-') return std::nullopt;
    bool negative = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    if (i == n) return std::nullopt;
    for (; i < n; ++i) {
      if (s[i] < '0' || s[i] > '9') return std::nullopt;
      exponent = std::min(exponent * 10 + (s[i] - '0'), 100000L);
    }
    if (negative) exponent = -exponent;
  }
  if (!point) exponent -= kImpliedDecimals;
  number += 'e';
  number += std::to_string(exponent);
  double value = 0;
  const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (ec != std::errc{} || end != number.data() + number.size() || !std::isfinite(value))
    return std::nullopt;
  return value;
}

}  // namespace

bool is_valid_element_code(std::string_view code) {
  if (code.size() != 2) return false;
  return two_letter(code[0], code[1]) || (code[0] == ' ' && one_letter(code[1]));
}

ElementCode element_code(std::string_view line) {
  const std::string_view record = record_text(line);
  std::string code = columns(record, 77, 78);
  if (is_valid_element_code(code)) return {code, false};
  const char c13 = column(record, 13), c14 = column(record, 14), c15 = column(record, 15);
  if (two_letter(c13, c14)) return {std::string{c13, c14}, false};
  if (one_letter(c14)) return {std::string{' ', c14}, false};
  if (two_letter(c14, c15)) return {std::string{c14, c15}, true};
  if (one_letter(c15)) return {std::string{' ', c15}, true};
  return {std::string{c14, c15}, true};
}

RecordClass classify_record(std::string_view line, bool explicit_hydrogens) {
  const std::string_view record = record_text(line);
  const std::string name = columns(record, 1, 6);
  if (name != "ATOM  " && name != "HETATM") return RecordClass::NotAtom;
  const char altloc = column(record, 17);
  if (altloc != ' ' && altloc != 'A') return RecordClass::AlternateConformer;
  const std::string residue = columns(record, 18, 20);
  if (residue == "HOH" || residue == "WAT") return RecordClass::Water;
  if (!explicit_hydrogens && type_from_element_code(element_code(record).code) == kHydrogenType)
    return RecordClass::Hydrogen;
  return RecordClass::Atom;
}

std::optional<std::array<double, 3>> read_coordinates(std::string_view line) {
  const std::string_view record = record_text(line);
  std::array<double, 3> xyz{};
  for (std::size_t k = 0; k < 3; ++k) {
    const std::size_t first = 31 + 8 * k;
    const auto value = read_f8_3(columns(record, first, first + 7));
    if (!value) return std::nullopt;
    xyz[k] = *value;
  }
  return xyz;
}

int add_hydrogens(int bare_type, int hydrogens) {
  int capacity = 0;  // hydrogens the groups of the type table can carry
  switch (bare_type) {
    case kCarbonType: capacity = 3; break;     // CH, CH2, CH3
    case kNitrogenType: capacity = 3; break;   // NH, NH2, NH3
    case kOxygenType: capacity = 1; break;     // OH
    case kSulphurType: capacity = 1; break;    // SH
    default: break;
  }
  return bare_type + std::clamp(hydrogens, 0, capacity);
}

bool is_dummy_residue(std::string_view line, std::string_view next_line, bool previous_was_dummy) {
  const std::string_view record = record_text(line);
  if (columns(record, 14, 15) != "CA") return false;
  if (previous_was_dummy) return true;
  const std::string_view next = record_text(next_line);
  const char altloc = column(next, 17);
  return columns(next, 1, 4) == "ATOM" && columns(next, 14, 15) == "CA" &&
         (altloc == ' ' || altloc == 'A');
}

bool is_amino_acid(std::string_view residue) {
  if (residue.size() != 3) return false;
  for (std::size_t i = 0; i < kAminoAcids.size(); i += 3)
    if (kAminoAcids.substr(i, 3) == residue) return true;
  return false;
}

bool is_nucleotide(std::string_view residue) {
  return std::find(std::begin(kNucleotides), std::end(kNucleotides), residue) !=
         std::end(kNucleotides);
}

AtomTyper::AtomTyper(const TypingOptions& options)
    : options_(options), dictionary_(hydrogen_dictionary(options.naming)) {}

TypingResult AtomTyper::type_record(std::string_view line, std::string_view next_line) {
  TypingResult result;
  const std::string_view record = record_text(line);
  const RecordClass cls = classify_record(record, true);
  if (cls != RecordClass::Atom) return result;

  const ElementCode element = element_code(record);
  if (element.misaligned)
    result.warnings.push_back({TypingWarningKind::MisalignedName, misaligned_name_warning(record)});
  int type = type_from_element_code(element.code);
  if (type == kHydrogenType && !options_.explicit_hydrogens) return result;

  const auto xyz = read_coordinates(record);
  if (!xyz)
    throw FatalStop("Error reading (X,Y,Z) in string :" +
                    std::string(without_trailing_blanks(record)));

  TypedAtom atom;
  atom.x = (*xyz)[0];
  atom.y = (*xyz)[1];
  atom.z = (*xyz)[2];

  const std::string key = columns(record, 18, 27);
  atom.first_of_residue = !have_residue_ || key != residue_key_;
  const std::string residue = columns(record, 18, 20);
  if (atom.first_of_residue) {
    residue_key_ = key;
    have_residue_ = true;
    residue_hydrogens_ =
        options_.explicit_hydrogens ? ResidueHydrogens{} : dictionary_.lookup(residue);
  }

  const std::string atom_name = columns(record, 13, 16);
  if (!options_.explicit_hydrogens && type > 0)
    type = add_hydrogens(type, residue_hydrogens_.hydrogens_on(atom_name));
  if (atom.first_of_residue && type == kNHType) type = kResidueStartNHType;
  // A deoxyribose C2 carries two hydrogens; the old names "  A", "  C", "  G" of DNA share their
  // dictionary rows with the ribonucleotides, which give it one.
  if (!options_.explicit_hydrogens && !options_.model_has_o2_star && atom_name == " C2*")
    type = kCH2Type;
  if (type == 0) {
    type = kOxygenType;
    atom.unknown = true;
    result.warnings.push_back({TypingWarningKind::UnknownAtom, unknown_atom_warning(record)});
  }
  atom.type = type;

  atom.dummy_residue = is_dummy_residue(record, next_line, previous_dummy_);
  previous_dummy_ = atom.dummy_residue;

  if (atom.first_of_residue && !atom.dummy_residue) {
    if (is_amino_acid(residue)) ++composition_.residues;
    if (is_nucleotide(residue)) ++composition_.nucleotides;
  }
  if (atom.dummy_residue)
    ++composition_.dummy_residues;
  else if (atom.unknown)
    ++composition_.unknown_atoms;
  else
    ++composition_.atoms_per_element[static_cast<std::size_t>(atom_type(type).element)];

  result.atom = atom;
  return result;
}

std::string misaligned_name_warning(std::string_view record) {
  return "Warning: misaligned atom name   in line " +
         std::string(without_trailing_blanks(record_text(record))) + "\n";
}

std::string unknown_atom_warning(std::string_view record) {
  return "Warning: unknown GROUP/ATOM   in line " +
         std::string(without_trailing_blanks(record_text(record))) + "\n";
}

std::string composition_report(const Composition& composition) {
  std::string out;
  for (int e = 0; e < kElementCount; ++e) {
    const int count = composition.atoms_per_element[static_cast<std::size_t>(e)];
    if (count > 0) out += labelled_line(" Number of " + std::string(element_symbol(e)), count);
  }
  if (composition.unknown_atoms > 0)
    out += labelled_line(" Number of unknown atoms read", composition.unknown_atoms);
  return out;
}

std::string unknown_atoms_summary(int unknown_atoms) {
  if (unknown_atoms <= 0) return {};
  return "   * Warning:" + format_i(unknown_atoms, 5) + " atoms of unknown type were found *\n";
}

}  // namespace tessel
