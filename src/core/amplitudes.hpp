// Partial amplitudes of a structure's atoms in vacuum and of the solvent they displace, with the
// sums for the structural parameters and the envelope search, in one pass over the atoms.
// Lengths in Å, s in 1/Å, form factors in electrons, volumes in Å³, masses in Da.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "core/bessel.hpp"
#include "core/envelope.hpp"
#include "core/form_factors.hpp"
#include "core/harmonic_tables.hpp"
#include "core/kernels/multipole_block.hpp"
#include "core/kernels/multipole_tiles.hpp"
#include "core/kernels/multipole_weights.hpp"
#include "core/kernels/progress_marks.hpp"
#include "core/kernels/worker_pool.hpp"
#include "core/partial_amplitudes.hpp"

namespace tessel {

// Mass of one residue of an alpha-carbon model, Da.
inline constexpr double kAverageResidueMass = 110.0;

// One typed atom, its position taken from the geometric centre of the model.
struct CentredAtom {
  double x = 0.0, y = 0.0, z = 0.0;  // Å
  int type = 1;                      // 1..108
  bool dummy_residue = false;        // a whole residue of an alpha-carbon model
};

// The form factors of one structure on its s grid.
struct ModelFormFactors {
  FormFactorTable vacuum;        // f_k(s)
  FormFactorTable solvent;       // g_k(s), per unit solvent density
  std::vector<double> residue;   // r(s), the average residue
  int regrid_warnings = 0;       // " REGRID ---W- Out of abscissa range." lines due (0 or 2)
};
ModelFormFactors make_model_form_factors(std::span<const double> s);

// j_l for the atom loop, tabulated up to 1.0001·s_max·R_max, R_max the extent of the model from
// its centre (0 for a model of zero extent, whose table holds j_l(0)).
LineTable make_atom_bessel_table(int l_max, double s_max, double r_max,
                                 BesselRecurrence recurrence = BesselRecurrence::per_order);

// Scalar sums over the atoms, in file order.
struct AtomSums {
  int atoms = 0;
  int dummy_residues = 0;
  double electrons = 0.0;          // Σ Z
  double mass = 0.0;               // Σ masses, 110 per dummy residue
  double electron_r2 = 0.0;        // Σ Z·r²
  double r2 = 0.0;                 // Σ r²
  std::array<double, 3> electron_moment{};  // Σ Z·(x, y, z)
  double volume = 0.0;             // Σ V of the atoms that displace solvent
  std::array<double, 3> volume_moment{};    // Σ V·(x, y, z)
  double largest_radius = 0.0;     // largest type radius met

  void add(const CentredAtom& atom);
  // Adds the sums of a later run of atoms.
  void merge(const AtomSums& later);
};

// The two atomic amplitudes before their common factor √(2/π)·i^l: Σ f·j_l·conj(Y) (atoms) and
// Σ g·j_l·conj(Y) (displaced solvent).
struct AmplitudeSums {
  PartialAmplitudes atoms;
  PartialAmplitudes solvent;

  AmplitudeSums() = default;
  AmplitudeSums(int l_max, int n_points) : atoms(l_max, n_points), solvent(l_max, n_points) {}
  // Adds the sums of another run of atoms. Runs summed apart and merged in file order give the
  // same result every time, however the runs were scheduled.
  void merge(const AmplitudeSums& other);
};

// Spherical position of an atom about the centre as the amplitude and envelope code use it:
// θ = arccos(z/r), φ = atan2(y, x) in [0, 2π) with φ = π/2, 3π/2 or 0 on the plane x = 0 for
// y > 0, y < 0 and y = 0. An atom at the centre gets θ = 0, φ = 0.
struct SphericalPosition {
  double r = 0.0;
  double cos_theta = 1.0;
  double theta = 0.0;
  double phi = 0.0;
};
SphericalPosition spherical_position(double x, double y, double z);

// A block of atoms made ready for the sums: conj(Y), radius and form-factor columns of each atom,
// in order of decreasing r (ties in file order).
struct AmplitudeBlock {
  multipole::RowBlock conj_y;
  std::vector<double> radius;                  // r, Å
  std::vector<const double*> vacuum, solvent;  // form-factor columns
  int size() const { return conj_y.size(); }
};

// Scratch space of one amplitude loop (one per thread).
struct AmplitudeWorkspace {
  std::vector<double> legendre;              // r_lm of one atom's harmonics
  std::vector<SphericalPosition> positions;  // the block's atoms in file order
  std::vector<std::size_t> order;            // the block's atoms by decreasing r
  AmplitudeBlock block;                      // the block of the single-thread loop
  std::vector<int> counts;                   // orders counted, per point of a tile and atom
  std::vector<int> sources;                  // atoms counting order l, per point of a tile and l
  std::vector<double> weights;               // j_l·f and j_l·g, by atom, l, amplitude, point
};

// Scratch space of the threaded amplitude loop: one workspace per thread and two sets of blocks,
// the pass being summed and the next one being prepared.
struct ParallelAmplitudeWorkspace {
  std::vector<AmplitudeWorkspace> threads;
  std::vector<AmplitudeBlock> blocks;
};

// The amplitude loop over atoms × (l, m) × s: for every atom and every point s_k it adds
// j_l(s_k·r)·conj(Y_lm(θ, φ))·f(s_k) to the atoms' sum and the same with g(s_k) to the solvent's,
// for the orders whose terms count (s_k·r > 0.75·l − 2.7). A dummy residue adds the average
// residue factor r(s_k) to the atoms' sum and nothing to the solvent's. The atoms go in blocks
// of block_size(); within a block their terms are summed in order of decreasing r (ties in file
// order) and each block's sums are then added to the output, so the result depends only on the
// atoms given. The tables must outlive the kernel, which only reads them: several threads may
// share one, each with its own workspace and sums.
//
// The threaded loop splits the s points among the threads: every point's coefficients are
// formed by one thread, from the same blocks in the same order as the single-thread loop, so
// both give the same bits whatever the number of threads.
class AmplitudeKernel {
 public:
  // `simd` chooses the instruction set of the inner sums; all give the same results.
  AmplitudeKernel(const HarmonicTables& tables, std::span<const double> s,
                  const ModelFormFactors& form_factors, const LineTable& bessel,
                  SimdLevel simd = SimdLevel::automatic);

  AmplitudeSums make_sums() const { return AmplitudeSums(tables_->l_max(), n_points()); }
  int n_points() const { return static_cast<int>(s_.size()); }
  // Atoms per block of the loop (at most 128, fewer at high orders so that a block's harmonics
  // stay within a few megabytes). Runs of this many atoms are the natural unit for progress.
  int block_size() const { return block_; }
  // Atoms whose blocks one pass of the threaded loop prepares and sums together, a multiple of
  // block_size().
  int pass_size() const { return block_ * pass_blocks_; }
  SimdLevel simd_level() const { return simd_; }

  // Adds the atoms, in their order, to `out`.
  void add_atoms(std::span<const CentredAtom> atoms, AmplitudeWorkspace& ws,
                 AmplitudeSums& out) const;

  // Adds Σ j_l(s_k·r)·conj(Y_lm(θ, φ)) over the atoms, block by block in their order, to `out`:
  // the sum over atoms that share one form factor, which multiplies it afterwards (the counted
  // orders as in add_atoms).
  void add_bessel_sums(std::span<const CentredAtom> atoms, AmplitudeWorkspace& ws,
                       PartialAmplitudes& out) const;

  // The same with the threads of `pool`, the same result to the bit. `alongside`, when given,
  // runs once, in one of the threads, while the others sum: room for work on the same atoms
  // that has to stay in file order in one thread.
  void add_atoms(std::span<const CentredAtom> atoms, WorkerPool& pool,
                 ParallelAmplitudeWorkspace& ws, AmplitudeSums& out,
                 const std::function<void()>& alongside = {}) const;

 private:
  // Sorts the atoms of one block by decreasing r and stores their harmonics and columns.
  void prepare_block(std::span<const CentredAtom> atoms, AmplitudeWorkspace& ws,
                     AmplitudeBlock& block) const;
  // The orders the block's atoms count at points first..first+count−1, into ws.counts (see
  // multipole::count_block_orders); `active` is set to the atoms that count any.
  int block_orders(const AmplitudeBlock& block, int first, int count, AmplitudeWorkspace& ws,
                   std::size_t& active) const;
  // Adds the block's terms at points first..first+count−1 (count ≤ multipole::kTilePoints).
  void add_block_points(const AmplitudeBlock& block, int first, int count, AmplitudeWorkspace& ws,
                        AmplitudeSums& out) const;
  // The same for the sums of j_l·conj(Y) alone.
  void add_block_bessel_points(const AmplitudeBlock& block, int first, int count,
                               AmplitudeWorkspace& ws, PartialAmplitudes& out) const;
  // Prepares the atoms block by block, in order, and adds each block's terms by `add_points`
  // on runs of `step` points.
  template <class Out>
  using AddPoints = void (AmplitudeKernel::*)(const AmplitudeBlock&, int, int,
                                              AmplitudeWorkspace&, Out&) const;
  template <class Out>
  void add_blockwise(std::span<const CentredAtom> atoms, AmplitudeWorkspace& ws, Out& out,
                     int step, AddPoints<Out> add_points) const;

  const HarmonicTables* tables_;
  std::span<const double> s_;
  const ModelFormFactors* form_factors_;
  const LineTable* bessel_;
  SimdLevel simd_;
  PlanarLines planar_bessel_;  // the Bessel table's lines apart, for the widest level
  int block_;        // atoms per block of the loop
  int pass_blocks_;  // blocks per pass of the threaded loop
};

// What the pass over a structure's atoms produces.
struct StructureAmplitudes {
  PartialAmplitudes atoms;    // A, `atomalm`; empty when only the envelope was wanted
  PartialAmplitudes solvent;  // C, `vdwalm`, unit density, not yet normalised; empty likewise
  AtomSums sums;
  double electron_rg = 0.0;   // √(Σ Z·r²/Σ Z) over all atoms, those at the centre included
  double shape_rg = 0.0;      // √(Σ r²/N), the radius of gyration of the atom centres
  // Centre of the excess electron density, (Σ Z·x − 0.334·Σ V·x)/(Σ Z − 0.334·Σ V) per axis;
  // (0, 0, 0) when the excess charge is exactly 0.
  std::array<double, 3> excess_centre{};
  Envelope envelope;          // completed
};

// Whether a structure's atoms are grouped by form factor for amplitudes of this shape (see
// StructureAccumulator); if so the loops form 2 multiply-adds per term instead of 4.
bool atoms_grouped_by_form_factor(int l_max, int n_points);

// One structure's pass: feed the atoms batch by batch in file order, then finish once. The atom
// numbering for the envelope runs over all atoms added, from 1. The tables must outlive it.
//
// When the amplitude arrays are small enough to keep one per form factor, the atoms are grouped
// by form factor (their type, or the dummy residues): each group sums Σ j_l(s·r)·conj(Y) over its
// own blocks of atoms, taken in file order, and the group sums, multiplied by their form factors,
// are added to the amplitudes in group order when the room kept for them is full and at the end.
// That halves the multiply-adds per atom, and the groups' blocks can be summed by several threads
// at once. Larger arrays (high orders on fine grids) are formed directly, in one sum whose points
// the threads share (see AmplitudeKernel). Either way the AtomSums and the EnvelopeSearch, whose
// ties go to the later atom, stay in file order in one thread, and the results do not depend on
// the number of threads.
class StructureAccumulator {
 public:
  // Amplitudes, sums and envelope; `loops` sets the threads and the instruction set.
  StructureAccumulator(const HarmonicTables& tables, std::span<const double> s,
                       const ModelFormFactors& form_factors, const LineTable& bessel,
                       const LoopSettings& loops = {});
  // Envelope and sums only (no form factors, no amplitudes).
  explicit StructureAccumulator(const HarmonicTables& tables);

  // Progress: `marks` advances once per atom (the driver's ">" every N/40 atoms).
  void set_progress(ProgressMarks marks) { progress_ = std::move(marks); }

  void add_batch(std::span<const CentredAtom> atoms);

  // Multiplies the amplitudes by √(2/π)·i^l, finishes the radii of gyration and the centre of
  // the excess density, and completes the envelope (zero directions: zero_direction_radius).
  StructureAmplitudes finish();

 private:
  // The sums and the envelope search for the atoms, in file order.
  void add_to_sums_and_envelope(std::span<const CentredAtom> atoms);
  // One form factor's atoms: those waiting for a full block, and the sum of its blocks so far
  // (empty when none is kept).
  struct FormFactorGroup {
    std::vector<CentredAtom> pending;
    PartialAmplitudes sum;
  };
  // A full block of one group, ready to be summed.
  struct GroupBlock {
    int group = 0;
    std::vector<CentredAtom> atoms;
  };
  // add_batch when the atoms are grouped by form factor.
  void group_batch(std::span<const CentredAtom> atoms);
  // Sums the full blocks waiting and the sums and envelope of the atoms waiting.
  void sum_waiting();
  // Sums the blocks, each group's in their order, with `alongside` (the sums and envelope of a
  // batch) run beside them.
  void sum_group_blocks(const std::vector<GroupBlock>& blocks, std::span<const CentredAtom> alongside);
  // Adds every kept group sum times its form factors to the amplitudes, in group order, and
  // drops the sums.
  void fold_group_sums();

  std::optional<AmplitudeKernel> kernel_;
  AmplitudeWorkspace workspace_;
  AmplitudeSums amplitudes_;
  AtomSums sums_;
  EnvelopeSearch envelope_;
  ProgressMarks progress_;
  int threads_ = 1;  // threads the settings allow
  std::unique_ptr<WorkerPool> pool_;  // made with the first batch that is worth it
  WorkerPool* shared_pool_ = nullptr;  // the run's pool, used instead when given
  // The pool of the threaded loops: the run's, else one of its own.
  WorkerPool& pool();
  ParallelAmplitudeWorkspace parallel_;
  // By group: 0 the dummy residues, 1..108 the types; empty when the atoms are not grouped.
  std::vector<FormFactorGroup> groups_;
  // Full blocks not yet summed, and the atoms whose sums and envelope are still to be done: they
  // are taken together once enough blocks wait, so that the threads share many blocks at once.
  std::vector<GroupBlock> full_blocks_;
  std::vector<CentredAtom> unsummed_;
  int max_group_sums_ = 0;  // group sums kept at once at most
  const ModelFormFactors* form_factors_ = nullptr;
};

}  // namespace tessel
