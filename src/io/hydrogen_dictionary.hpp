// The hydrogen dictionaries: how many hydrogens are bonded to each heavy atom of a residue, by
// exact three-character residue name and exact four-character atom name. Two variants are built
// into the program, one per atom-naming convention; both are generated from the CCP4 monomer
// library by tools/make_hydrogen_dictionaries.py (data/hydrogens_new.txt, data/hydrogens_old.txt).
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace tessel {

// Atom-naming convention of a structure file: current names (primes written ', as " C5'",
// OP1, thymine C7) or the older ones (primes written *, as " C5*", O1P, thymine C5M).
enum class AtomNaming { New, Old };

// One dictionary entry: an atom name as in columns 13-16 of a coordinate record (leading blank
// kept) and the number of hydrogens bonded to it (1..9).
struct HydrogenEntry {
  std::string_view atom_name;
  int hydrogens;
};

// The entries of one residue: five characters each, name then one digit. A view into the
// dictionary's text; empty for a residue the dictionary does not know.
class ResidueHydrogens {
 public:
  static constexpr std::size_t kEntryWidth = 5;

  ResidueHydrogens() = default;
  explicit ResidueHydrogens(std::string_view entries) : entries_(entries) {}

  std::size_t size() const { return entries_.size() / kEntryWidth; }
  bool empty() const { return size() == 0; }
  HydrogenEntry operator[](std::size_t i) const;

  // The sum of the hydrogen counts of the entries named exactly `atom_name` (0 when none).
  int hydrogens_on(std::string_view atom_name) const;

 private:
  std::string_view entries_;
};

// A dictionary: one row per residue, the residue name (three characters, right-aligned as in
// columns 18-20) followed by its entries, rows sorted by residue name.
class HydrogenDictionary {
 public:
  explicit HydrogenDictionary(std::span<const std::string_view> rows) : rows_(rows) {}

  std::size_t residue_count() const { return rows_.size(); }
  std::span<const std::string_view> rows() const { return rows_; }

  // Whether the residue is listed (possibly with no entries: a residue without hydrogens).
  bool contains(std::string_view residue) const;
  // The entries of a residue; empty when the residue is not listed.
  ResidueHydrogens lookup(std::string_view residue) const;

 private:
  const std::string_view* find(std::string_view residue) const;
  std::span<const std::string_view> rows_;
};

// The built-in dictionary of a naming convention: the large one for the new naming, the one
// spelled in the old convention for old names.
HydrogenDictionary hydrogen_dictionary(AtomNaming naming);

}  // namespace tessel
