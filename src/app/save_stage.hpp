// The save file in a job: the scattering model handed to it after the structural report, and the
// model a job on a save file restores from it to go straight on to the intensity and the fit.
#pragma once

#include <filesystem>
#include <ostream>
#include <span>
#include <string>

#include "app/model_stage.hpp"
#include "io/save_file.hpp"

namespace tessel {

// What a save file holds besides the model: the grids and the structure's name.
struct SavedGrids {
  std::string structure_name;  // as typed by the user, before any filtering
  int l_max = 0;
  int fibonacci_order = 0;
  int n_directions = 0;
  double s_max = 0.0;          // 1/Å
  std::span<const double> s;   // the computed s grid, 1/Å
};

// Writes the model's amplitudes (C not yet normalised), its structural parameters and the grids
// to `file`. The amplitudes are lent to the writer without a copy and are back in `model`
// afterwards, whatever happens. A file that cannot be written costs the warning
// " Warning: Error writing file " + name on `error`; returns whether the file was written.
bool save_model(const std::filesystem::path& file, const SavedGrids& grids,
                ScatteringModel& model, std::ostream& error);

// The model a save file describes, its amplitudes taken over from `data` (which is left without
// them). The save file does not hold the counts of dummy residues, residues and bases: they are
// 0, except that a model whose atoms displace no solvent at all is one of dummy residues only.
ScatteringModel restored_model(SaveData&& data);

// The console lines of a job on a save file: the grid and structure values read ("Maximum order
// of harmonic", "Order of Fibonacci grid", "Total number of directions", "Maximum scattering
// angle", "Number of angular points", "PDB file name", "Number of atoms"), then the structural
// heading and the structural parameters.
std::string restored_console_report(const SaveData& data);

}  // namespace tessel
