// Reading the atoms of an mmCIF (PDBx) coordinate file: the rows of its _atom_site table as
// compact records, and the polymer sequence of each chain. The file is parsed with gemmi's CIF
// grammar; only the columns used here are kept, so that a structure of millions of atoms fits in
// memory. Plain C++17, like its source (see CMakeLists.txt).
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/chain_sequence.hpp"

namespace tessel {

// One row of _atom_site. Names are indices into MmcifStructure::names.
struct MmcifAtom {
  double x = 0, y = 0, z = 0;     // _atom_site.Cartn_x, _y, _z, Å
  float occupancy = 0;            // shown in the record text only
  float b_factor = 0;             // shown in the record text only
  std::int32_t serial = 0;        // _atom_site.id (0 when it is no number)
  std::int32_t residue_number = 0;  // auth_seq_id (label_seq_id without it; 0 when null)
  std::uint32_t atom_name = 0;      // auth_atom_id (label_atom_id without it)
  std::uint32_t residue_name = 0;   // auth_comp_id (label_comp_id without it)
  std::uint32_t chain = 0;          // auth_asym_id (label_asym_id without it; " " without both)
  std::uint32_t model = 0;          // 0-based: the model block the row belongs to (see below)
  char alt_loc = ' ';               // label_alt_id; blank when null, '?' for ids of 2+ characters
  char insertion_code = ' ';        // pdbx_PDB_ins_code; blank when null
  std::array<char, 2> element{' ', ' '};  // type_symbol in upper case, right-aligned
  bool hetatm = false;              // group_PDB is "HETATM"
};

struct MmcifStructure {
  std::vector<std::string> names;   // atom, residue and chain names, each once
  std::vector<MmcifAtom> atoms;     // in file order
  // A model block is a run of rows with the same pdbx_PDB_model_num; a file without that column
  // is one block.
  std::uint32_t model_blocks = 0;
  // The chains' sequences (mmcif_sequences() of the block's _pdbx_poly_seq_scheme, or
  // _entity_poly_seq), in the order the chains first appear; none when the file has neither.
  std::vector<ChainSequence> sequences;

  const std::string& name(std::uint32_t index) const { return names[index]; }
};

// Parses mmCIF text. The atoms come from the first data block that has an _atom_site table (a
// loop, or single items for a one-atom structure). Throws tessel::Error (status 1) with one line
// " Error -- Cannot read mmCIF file <file_name>: <problem>" for a syntax error (with its line),
// a table cut off in the middle of a row, no _atom_site table or no row in it, a missing
// type_symbol, atom name or Cartn_x/y/z column, a coordinate that is no number or not below
// 1e5 Å in magnitude, or a residue number that is no whole number.
MmcifStructure parse_mmcif(std::string_view text, std::string_view file_name);

// Reads and parses a file, decompressing it first when `gzip` (errors of gunzip() too).
MmcifStructure read_mmcif_file(const std::filesystem::path& file, bool gzip);

}  // namespace tessel
