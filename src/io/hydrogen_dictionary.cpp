// Lookup in the built-in hydrogen dictionaries (rows embedded at build time from data/).
#include "io/hydrogen_dictionary.hpp"

#include <algorithm>

namespace tessel {

namespace embedded {
// Defined by the sources generated from data/hydrogens_new.txt and data/hydrogens_old.txt.
std::span<const std::string_view> hydrogen_rows_new();
std::span<const std::string_view> hydrogen_rows_old();
}  // namespace embedded

namespace {

constexpr std::size_t kResidueWidth = 3;
constexpr std::size_t kAtomNameWidth = 4;

std::string_view residue_key(std::string_view row) { return row.substr(0, kResidueWidth); }

}  // namespace

HydrogenEntry ResidueHydrogens::operator[](std::size_t i) const {
  const std::string_view entry = entries_.substr(i * kEntryWidth, kEntryWidth);
  return {entry.substr(0, kAtomNameWidth), entry[kAtomNameWidth] - '0'};
}

int ResidueHydrogens::hydrogens_on(std::string_view atom_name) const {
  int sum = 0;
  for (std::size_t i = 0; i < size(); ++i) {
    const HydrogenEntry e = (*this)[i];
    if (e.atom_name == atom_name) sum += e.hydrogens;
  }
  return sum;
}

const std::string_view* HydrogenDictionary::find(std::string_view residue) const {
  if (residue.size() != kResidueWidth) return nullptr;
  const auto it = std::lower_bound(rows_.begin(), rows_.end(), residue,
                                   [](std::string_view row, std::string_view key) {
                                     return residue_key(row) < key;
                                   });
  if (it == rows_.end() || residue_key(*it) != residue) return nullptr;
  return &*it;
}

bool HydrogenDictionary::contains(std::string_view residue) const {
  return find(residue) != nullptr;
}

ResidueHydrogens HydrogenDictionary::lookup(std::string_view residue) const {
  const std::string_view* row = find(residue);
  if (row == nullptr) return {};
  return ResidueHydrogens(row->substr(kResidueWidth));
}

HydrogenDictionary hydrogen_dictionary(AtomNaming naming) {
  return HydrogenDictionary(naming == AtomNaming::New ? embedded::hydrogen_rows_new()
                                                      : embedded::hydrogen_rows_old());
}

}  // namespace tessel
