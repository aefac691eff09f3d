// The rows of an mmCIF atom table as the atom records of a PDB file: the 80-column record text
// that the atom typing and its warnings read, with every name in the column where the PDB format
// puts it, and the AtomRecord the amplitude stage takes.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "io/mmcif_reader.hpp"
#include "io/pdb_line.hpp"

namespace tessel {

// A whole number in a fixed-width column as PDB writers put it: decimal when it fits; beyond,
// hybrid-36 ("A000" is 10000 in four columns, "A0000" 100000 in five; then lower case); '*'s
// when even that cannot hold it.
std::string fixed_width_number(long long value, int width);

// The four columns 13-16 of an atom name: a name of four characters from column 13; a shorter
// one from column 14 (" CA "), or from column 13 when the element symbol has two letters
// ("FE  ", "CA  " for calcium). Longer names are cut to four characters.
std::string pdb_atom_name_field(std::string_view name, std::array<char, 2> element);

// The record text (80 columns): record name, serial, atom name, alternate location, residue name
// (right-aligned, first three characters), the chain's first character, residue number,
// insertion code, coordinates (F8.3), occupancy and B (F6.2) and the element in columns 77-78.
std::string pdb_record_text(const MmcifAtom& atom, const MmcifStructure& structure);

// A key that changes exactly where the residue name, chain, residue number or insertion code
// changes (the whole names, which the record's columns may cut).
std::string residue_key(const MmcifAtom& atom);

// The record of one row made of its record text (pdb_record_text()), next_line left empty.
AtomRecord atom_record(const MmcifAtom& atom, std::string record_text);

}  // namespace tessel
