// The save file in a job: writing the model, restoring it.
#include "app/save_stage.hpp"

#include <stdexcept>
#include <utility>

#include "core/intensity.hpp"
#include "io/fortran_format.hpp"
#include "io/run_log.hpp"

namespace tessel {

namespace {

// Lends the three amplitudes to a SaveData for the time of one write and puts them back.
class LentAmplitudes {
 public:
  LentAmplitudes(ScatteringModel& model, SaveData& data)
      : atoms_(model.structure.atoms, data.atomalm),
        solvent_(model.structure.solvent, data.vdwalm),
        shell_(model.shell, data.bordalm) {}

 private:
  class Lent {
   public:
    Lent(PartialAmplitudes& owner, std::vector<std::complex<double>>& borrower)
        : owner_(owner), borrower_(borrower), l_max_(owner.l_max()), n_points_(owner.n_points()) {
      borrower_ = owner_.release();
    }
    Lent(const Lent&) = delete;
    Lent& operator=(const Lent&) = delete;
    ~Lent() { owner_ = PartialAmplitudes(l_max_, n_points_, std::move(borrower_)); }

   private:
    PartialAmplitudes& owner_;
    std::vector<std::complex<double>>& borrower_;
    int l_max_;
    int n_points_;
  };
  Lent atoms_, solvent_, shell_;
};

}  // namespace

bool save_model(const std::filesystem::path& file, const SavedGrids& grids,
                ScatteringModel& model, std::ostream& error) {
  SaveData data;
  data.l_max = grids.l_max;
  data.fibonacci_order = grids.fibonacci_order;
  data.n_directions = grids.n_directions;
  data.s_max = grids.s_max;
  data.n_points = static_cast<int>(grids.s.size());
  data.structure_name = grids.structure_name;
  data.n_atoms = model.structure.sums.atoms;

  data.electron_rg = model.structure.electron_rg;
  data.molecular_weight = model.structure.sums.mass;
  data.envelope_rg = model.statistics.rg;
  data.envelope_volume = model.statistics.volume;
  data.envelope_surface = model.statistics.surface;
  data.envelope_radius = model.statistics.radius;
  data.envelope_diameter = model.statistics.diameter;

  data.shell_rg = model.statistics.shell_rg;
  data.shell_volume = model.statistics.shell_volume;
  data.shape_rg = model.structure.shape_rg;

  data.s.assign(grids.s.begin(), grids.s.end());
  try {
    const LentAmplitudes lent(model, data);
    write_save_file(file, data);
    return true;
  } catch (const SaveFileWriteError& e) {
    error << e.what() << '\n';
  } catch (const std::invalid_argument&) {
    // Values the reader would refuse: the file is not complete.
    error << SaveFileWriteError(file.string()).what() << '\n';
  }
  return false;
}

ScatteringModel restored_model(SaveData&& data) {
  ScatteringModel model;
  StructureAmplitudes& structure = model.structure;
  structure.atoms = PartialAmplitudes(data.l_max, data.n_points, std::move(data.atomalm));
  structure.solvent = PartialAmplitudes(data.l_max, data.n_points, std::move(data.vdwalm));
  model.shell = PartialAmplitudes(data.l_max, data.n_points, std::move(data.bordalm));
  structure.sums.atoms = data.n_atoms;
  structure.sums.mass = data.molecular_weight;
  // Every atom but a dummy residue displaces solvent, so a model that displaces none is made of
  // dummy residues only (a C-alpha model): its count, which the file does not hold, is then
  // known. For a model that mixes both it stays unknown (0).
  if (data.n_atoms > 0 && model_displaced_volume(structure.solvent) == 0.0)
    structure.sums.dummy_residues = data.n_atoms;
  structure.electron_rg = data.electron_rg;
  structure.shape_rg = data.shape_rg;

  EnvelopeStatistics& stats = model.statistics;
  stats.volume = data.envelope_volume;
  stats.shell_volume = data.shell_volume;
  stats.surface = data.envelope_surface;
  stats.rg = data.envelope_rg;
  stats.shell_rg = data.shell_rg;
  stats.radius = data.envelope_radius;
  stats.diameter = data.envelope_diameter;
  return model;
}

std::string restored_console_report(const SaveData& data) {
  std::string text;
  text += labelled_line(" Maximum order of harmonic", data.l_max);
  text += labelled_line(" Order of Fibonacci grid", data.fibonacci_order);
  text += labelled_line(" Total number of directions", data.n_directions);
  text += labelled_line(" Maximum scattering angle", data.s.empty() ? data.s_max : data.s.back());
  text += labelled_line(" Number of angular points", data.n_points);
  text += labelled_line(" PDB file name", data.structure_name);
  text += labelled_line(" Number of atoms", data.n_atoms);
  text += Format("(A)")(kStructuralHeading);

  StructuralParameters p;
  p.rg_electron = data.electron_rg;
  p.rg_shape = data.shape_rg;
  p.shell_volume = data.shell_volume;
  p.shell_rg = data.shell_rg;
  p.shell_width = kShellWidth;
  p.envelope_rg = data.envelope_rg;
  p.envelope_volume = data.envelope_volume;
  p.envelope_surface = data.envelope_surface;
  p.envelope_radius = data.envelope_radius;
  p.envelope_diameter = data.envelope_diameter;
  text += structural_report(p, Destination::console);
  return text;
}

}  // namespace tessel
