// Ensembles of structures (the models of an NMR entry, the frames of a trajectory, a set of
// alternative models): the per-member partial intensities and scalars, the ensemble-average
// curves, the per-point spread of the members' intensity and the spread of member quantities.
//
// The intensity is linear in the six partial curves, I = I_A + Ĉ²·I_C + δρ²·I_B − Ĉ·I_AC +
// δρ·I_AB − Ĉ·δρ·I_CB, so the mean of the members' intensities at any solvent parameters is the
// intensity of the mean curves: the ensemble is fitted like one structure. What has to be shared
// for this is Ĉ. Each member's C is normalised by its own mean displaced volume per atom
// V_d,i/N_i, and Ĉ = ρ0·(V_ex/N)·G(s), so the excluded-volume amplitude of a member is
// ρ0·(V_ex/V_d,i)·N_i/N·G(s)·C_raw,i. Members of one molecule have the same atoms, hence the
// same N and V_d (V_d = Σ V_k does not depend on the coordinates), and share Ĉ as they are.
// Members that differ (missing atoms, other protonation) are put on one footing: every member
// displaces the same fraction V_ex/V_ref of its own displaced volume. Their solvent curves are
// rescaled by r_i = (V_d,i/N_i)/(V_ref/N_ref) (I_C by r_i², I_AC and I_CB by r_i) with the
// reference N_ref = the rounded mean atom count and V_ref = the mean displaced volume, so that
// Ĉ = ρ0·(V_ex/N_ref)·G(s) serves every member. Beyond s = 1 Å⁻¹ the excluded-volume scale
// follows √I_C past its peak; there the ensemble uses the mean I_C, the only approximation.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "core/intensity.hpp"

namespace tessel {

// What a member is besides its curves: the quantities the fit and the reports need.
struct MemberScalars {
  int n_atoms = 0;                // N, dummy residues counted as atoms
  int n_dummy_residues = 0;       // N_d
  double displaced_volume = 0.0;  // V_d of the atoms, Å³ (without the 220 Å³ per dummy residue)
  double molecular_weight = 0.0;  // Da
  double electron_rg = 0.0;       // Rg of the electron density, Å
  double shape_rg = 0.0;          // Rg of the atom centres, Å
  double shell_rg = 0.0;          // Å
  double shell_volume = 0.0;      // Å³
  double envelope_volume = 0.0;   // Å³
};

// The six partial curves of a member, in this order in the store.
enum class PartialCurve { atoms, solvent, shell, atoms_solvent, atoms_shell, solvent_shell };
inline constexpr std::size_t kPartialCurveCount = 6;

// The members of an ensemble, kept as their six partial intensity curves (C normalised by the
// member's own V_d/N) on one s grid and their scalars: 48·n bytes and the scalars per member,
// nothing of the amplitudes.
class Ensemble {
 public:
  explicit Ensemble(std::size_t n_points) : n_points_(n_points) {}

  // Adds a member; its curves must have n_points() values each (else std::invalid_argument).
  void add(const PartialIntensities& curves, const MemberScalars& scalars);

  std::size_t size() const { return scalars_.size(); }
  bool empty() const { return scalars_.empty(); }
  std::size_t n_points() const { return n_points_; }
  const MemberScalars& scalars(std::size_t member) const { return scalars_[member]; }
  std::span<const double> curve(std::size_t member, PartialCurve which) const;
  PartialIntensities curves(std::size_t member) const;

 private:
  std::size_t n_points_;
  std::vector<std::vector<double>> curves_;  // per member the six curves one after the other
  std::vector<MemberScalars> scalars_;
};

// The footing the members are put on (see the head of this file).
struct EnsembleReference {
  int n_atoms = 0;                // N_ref: the rounded mean atom count
  int n_dummy_residues = 0;       // the rounded mean dummy-residue count
  double displaced_volume = 0.0;  // V_ref: the mean displaced volume, Å³
  bool uniform = true;            // every member has the same N, N_d and V_d (no rescaling)
};
EnsembleReference ensemble_reference(const Ensemble& ensemble);

// r_i = (V_d,i/N_i)/(V_ref/N_ref): the factor of member i's normalised C; 1 for a uniform
// ensemble and for members without displaced volume (whose C is 0).
double solvent_rescale(const MemberScalars& member, const EnsembleReference& reference);

// Member i's six curves on the reference footing.
PartialIntensities member_curves(const Ensemble& ensemble, std::size_t member,
                                 const EnsembleReference& reference);

// The mean of the members' curves on the reference footing. The ensemble must not be empty.
struct EnsembleAverage {
  PartialIntensities mean;
  EnsembleReference reference;
  std::size_t members = 0;
};
EnsembleAverage average_ensemble(const Ensemble& ensemble);

// Mean, population standard deviation (the members are the whole ensemble, divided by K),
// least and largest of a list of values; all 0 for an empty list.
struct ValueSpread {
  double mean = 0.0;
  double deviation = 0.0;
  double min = 0.0;
  double max = 0.0;
};
ValueSpread value_spread(std::span<const double> values);

// The members' intensities at one set of solvent parameters: per point their mean (which is
// the intensity of the mean curves) and population standard deviation, and the spread of the
// members' "Rg from the slope of net intensity". scale is Ĉ(s) for the reference footing
// (excluded_volume_scale with N_ref and the mean I_C, or the fit's scale curve).
struct IntensitySpread {
  std::vector<double> mean;
  std::vector<double> deviation;
  ValueSpread slope_rg;
};
IntensitySpread intensity_spread(const Ensemble& ensemble, const EnsembleReference& reference,
                                 std::span<const double> s, std::span<const double> scale,
                                 double delta_rho);

// The spread of the structural quantities over the members.
struct MemberSpread {
  ValueSpread electron_rg;
  ValueSpread shape_rg;
  ValueSpread envelope_volume;
  ValueSpread displaced_volume;
};
MemberSpread member_spread(const Ensemble& ensemble);

// The means of the scalars the fit uses (molecular weight, shell volume, shell Rg), with the
// reference counts and volume: what a single structure would supply.
MemberScalars ensemble_scalars(const Ensemble& ensemble, const EnsembleReference& reference);

}  // namespace tessel
