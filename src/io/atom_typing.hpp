// Atom typing of the accepted atom records of a structure: the element of each atom, its
// scattering type (1..108) with the hydrogens the residue dictionary adds, the C-alpha-only
// residues, and the composition of the model.
// Column numbers in comments are those of the coordinate-record format, counted from 1.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "core/atom_types.hpp"
#include "io/hydrogen_dictionary.hpp"
#include "io/pdb_line.hpp"

namespace tessel {

inline constexpr double kDummyResidueMass = 110.0;  // Da, one residue of a C-alpha-only model

// The two-character element code of a record, right-aligned (" C", "FE"), as record_element_code()
// reads it, and whether the atom name was not where the format puts it (the code then came from
// columns 14-15: the misaligned-name warning is due).
struct ElementCode {
  std::string code;
  bool misaligned = false;
};

// A valid code: two letters that can begin and end a two-letter symbol, or a blank and a
// one-letter symbol. Validity says nothing about the code naming a real element.
ElementCode element_code(std::string_view record);

// A bare type (1..107) with the dictionary's hydrogens added: C takes up to 3, N up to 3, O and S
// one each; every other element and a count beyond the group's capacity add nothing more.
int add_hydrogens(int bare_type, int hydrogens);

// Whether an atom is one residue of a C-alpha-only model: it has "CA" in columns 14-15 and either
// the next line of the file is an "ATOM" record with "CA" in columns 14-15 and alternate location
// blank or 'A', or the previous accepted atom was such a residue.
bool is_dummy_residue(std::string_view record, std::string_view next_line, bool previous_was_dummy);

// Residue lists used for counting.
bool is_amino_acid(std::string_view residue);  // the 20 standard residues
bool is_nucleotide(std::string_view residue);  // "  A", " DA", "GTP", ...

struct TypingOptions {
  bool explicit_hydrogens = false;  // hydrogens come from the file (type 108), none are added
  AtomNaming naming = AtomNaming::New;
  bool model_has_o2_star = false;   // an accepted atom has "O2*" in columns 14-16 (old-named RNA)
};

enum class TypingWarningKind { MisalignedName, UnknownAtom };

struct TypingWarning {
  TypingWarningKind kind;
  std::string text;  // one line, ending with '\n'
};

struct TypedAtom {
  int type = 0;                   // 1..108
  bool dummy_residue = false;     // stands for a whole residue (mass kDummyResidueMass)
  bool unknown = false;           // element not recognised, typed as O
  bool first_of_residue = false;
};

struct TypingResult {
  TypedAtom atom;
  std::vector<TypingWarning> warnings;
};

// What the typing counted over one structure.
struct Composition {
  std::array<int, kElementCount> atoms_per_element{};  // by 0-based index of element_symbol()
  int unknown_atoms = 0;   // not among the elements
  int residues = 0;        // amino-acid residues
  int nucleotides = 0;
  int dummy_residues = 0;  // not among the carbons, residues or nucleotides
};

// Types the accepted atom records of one structure (AtomStream) in file order. Keeps the state
// that spans records: the current residue and its dictionary entries, the previous atom's dummy
// flag and the counts.
class AtomTyper {
 public:
  explicit AtomTyper(const TypingOptions& options);

  // Types one accepted record; its next_line is read for the C-alpha-only look-ahead. A new
  // residue starts where columns 18-27 (name, chain, number, insertion code) differ from those
  // of the previous record (or its residue_key, when the record has one).
  TypingResult type_atom(const AtomRecord& atom);

  const Composition& composition() const { return composition_; }

 private:
  TypingOptions options_;
  HydrogenDictionary dictionary_;
  ResidueHydrogens residue_hydrogens_;
  std::string residue_key_;  // columns 18-27 of the previous record
  bool have_residue_ = false;
  bool previous_dummy_ = false;
  Composition composition_;
};

// The warning texts, each one line ending with '\n'; the record is shown without trailing blanks.
std::string misaligned_name_warning(std::string_view record);
std::string unknown_atom_warning(std::string_view record);

// The composition report: " Number of " + element symbol for every element met, then the
// unknown atoms when there are any, as labelled-value lines.
std::string composition_report(const Composition& composition);

// The closing warning on unknown atoms; empty when there are none.
std::string unknown_atoms_summary(int unknown_atoms);

}  // namespace tessel
