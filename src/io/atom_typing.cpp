// Atom typing of accepted coordinate records: element recognition, hydrogens from the residue
// dictionary, the special cases and the composition counts.
#include "io/atom_typing.hpp"

#include <algorithm>
#include <iterator>
#include <string>

#include "core/trim.hpp"
#include "io/fortran_format.hpp"

namespace tessel {
namespace {

constexpr int kCarbonType = 1;
constexpr int kCH2Type = 3;
constexpr int kNitrogenType = 5;
constexpr int kNHType = 6;
constexpr int kOxygenType = 9;
constexpr int kSulphurType = 11;
constexpr int kResidueStartNHType = 21;

constexpr std::string_view kAminoAcids =
    "ALAARGASNASPCYSGLNGLUGLYHISILELEULYSMETPHEPROSERTHRTRPTYRVAL";
constexpr std::string_view kNucleotides[] = {"  A", "  G", "  C", "  U", "  T",
                                             "GTP", " DA", " DG", " DC", " DT"};

}  // namespace

ElementCode element_code(std::string_view record) {
  // The name is aligned when columns 13-14 or column 14 alone give a code; otherwise the code
  // comes from one column further right.
  const bool misaligned = !is_valid_element_code(pdb_columns(record, 77, 78)) &&
                          !is_valid_element_code(pdb_columns(record, 13, 14)) &&
                          !is_valid_element_code(std::string{' ', pdb_column(record, 14)});
  return {record_element_code(record), misaligned};
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

bool is_dummy_residue(std::string_view record, std::string_view next_line,
                      bool previous_was_dummy) {
  if (pdb_columns(record, 14, 15) != "CA") return false;
  if (previous_was_dummy) return true;
  const char alt_loc = pdb_column(next_line, 17);
  return record_is(next_line, "ATOM") && pdb_columns(next_line, 14, 15) == "CA" &&
         (alt_loc == ' ' || alt_loc == 'A');
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

TypingResult AtomTyper::type_atom(const AtomRecord& record) {
  TypingResult result;
  TypedAtom& atom = result.atom;
  const std::string_view line = record.record;

  const ElementCode element = element_code(line);
  if (element.misaligned)
    result.warnings.push_back({TypingWarningKind::MisalignedName, misaligned_name_warning(line)});
  int type = type_from_element_code(element.code);

  const std::string key = record.residue_key.empty() ? pdb_columns(line, 18, 27) : record.residue_key;
  atom.first_of_residue = !have_residue_ || key != residue_key_;
  const std::string residue = pdb_columns(line, 18, 20);
  if (atom.first_of_residue) {
    residue_key_ = key;
    have_residue_ = true;
    residue_hydrogens_ =
        options_.explicit_hydrogens ? ResidueHydrogens{} : dictionary_.lookup(residue);
  }

  const std::string atom_name = pdb_columns(line, 13, 16);
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
    result.warnings.push_back({TypingWarningKind::UnknownAtom, unknown_atom_warning(line)});
  }
  atom.type = type;

  atom.dummy_residue = is_dummy_residue(line, record.next_line, previous_dummy_);
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
  return result;
}

std::string misaligned_name_warning(std::string_view record) {
  return "Warning: misaligned atom name   in line " + std::string(trim_right(record, " \r\n")) +
         "\n";
}

std::string unknown_atom_warning(std::string_view record) {
  return "Warning: unknown GROUP/ATOM   in line " + std::string(trim_right(record, " \r\n")) +
         "\n";
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
