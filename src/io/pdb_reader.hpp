// Reading the atoms of a structure file: the pre-pass that counts the atoms and finds their
// geometric centre and extent, and the record stream that hands the accepted atoms over in
// batches of 1000 without holding the structure in memory.
#pragma once

#include <array>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "io/pdb_line.hpp"
#include "io/report.hpp"

namespace tessel {

// Atoms held in memory at a time by the pre-pass and by the record stream.
inline constexpr std::size_t kAtomBatchSize = 1000;

struct PrepassResult {
  long long atoms = 0;                // accepted atoms
  long long skipped_rotamers = 0;     // alternate location neither blank nor 'A'
  long long discarded_waters = 0;     // residues HOH and WAT
  long long discarded_hydrogens = 0;  // element code " H" with explicit hydrogens off
  std::array<double, 3> centre{};     // plain mean of the accepted coordinates, Å
  // Distance from the centre to the farthest corner of the accepted atoms' bounding box, Å.
  double extent = 0;
  // An accepted atom reads "O2*" in columns 14-16 (the old nucleic-acid naming).
  bool old_nucleic_naming = false;
};

// The counts and sums of the pre-pass, taken one line at a time in file order. The coordinates
// are folded into the sums, minima and maxima in blocks of kAtomBatchSize atoms.
class PrepassCounter {
 public:
  // A line of the given class; its coordinates `xyz` count for an accepted atom only.
  void add(AtomLineClass line_class, std::string_view line, const std::array<double, 3>& xyz);

  // The results; stops the run with " Wrong PDB file " (tessel::Error, status 1) when no atom
  // was accepted.
  PrepassResult finish();

 private:
  void fold();

  PrepassResult result_;
  std::vector<std::array<double, 3>> block_;
  std::array<double, 3> total_{}, min_{}, max_{};
  bool any_ = false;
};

// Opens a structure file for the passes below; throws StructureOpenError.
std::ifstream open_structure(const std::filesystem::path& file);

// Counts and sums over the whole stream. Stops the run (tessel::Error, status 1) on an
// unreadable line or coordinates and with " Wrong PDB file " when no atom is accepted.
PrepassResult compute_prepass(std::istream& in, bool explicit_hydrogens);

// The console and log lines of the pre-pass.
void write_prepass_start(const Report& report);
void write_prepass_report(const PrepassResult& result, const Report& report);

// The whole pre-pass: its first console line, the counts and sums, the report lines, and the
// stream rewound to its beginning for the record stream.
PrepassResult run_prepass(std::istream& in, bool explicit_hydrogens, const Report& report);

// Rewinds a stream that was read to its end.
void rewind_structure(std::istream& in);

// The accepted atom records of a structure in file order: atom lines ("ATOM" or "HETATM")
// that are no alternate conformer (column 17 blank or 'A'), no water, and no hydrogen unless
// explicit hydrogens are on: the same atoms the pre-pass counts.
class AtomStream {
 public:
  AtomStream(std::istream& in, bool explicit_hydrogens);

  // Replaces the contents of `batch` with the next kAtomBatchSize accepted records (fewer at
  // the end of the file); false when none is left. Read errors stop the run as in the pre-pass.
  bool next_batch(std::vector<AtomRecord>& batch);

 private:
  bool next_line(std::string& line);

  LineReader reader_;
  bool explicit_hydrogens_;
  std::string line_;
  std::string pending_;        // a line read ahead and not yet classified
  bool has_pending_ = false;
};

}  // namespace tessel
