// Atomic and solvent form factors of the 108 scattering types, the average residue form factor
// of alpha-carbon models, and the average atomic radius and volume. s = 4π·sin(θ)/λ in 1/Å,
// lengths in Å, volumes in Å³, form factors in electrons.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace tessel {

// Four-Gaussian fit of the form factor of a neutral atom in vacuum:
// f(q) = c + Σ a_j·exp(−b_j·q²), q = sin(θ)/λ = s/(4π), b_j in Å².
struct GaussianCoefficients {
  double a[4];
  double b[4];
  double c;
};

// Coefficients of an element by its 0-based index in the mixed-case element list (H, C, N, ...).
const GaussianCoefficients& element_coefficients(int element);

// sin(x)/x, by its Taylor series for |x| ≤ 0.01.
double sinc(double x);

// Vacuum form factor of an element (0-based index in the element list) at s.
double element_form_factor(int element, double s);

// Orientational average of a heavy atom X with n hydrogens at d_xh from X and d_hh from each
// other (Debye formula): f² = f_X² + n·f_H² + 2n·f_X·f_H·sinc(s·d_xh) + n(n−1)·f_H²·sinc(s·d_hh).
// n may be fractional (a half-weight hydrogen). Returns √f², or 0 where f² rounds below zero.
double group_form_factor(double f_x, double f_h, double n, double d_xh, double d_hh, double s);

// Vacuum form factor of a type (1..108) at s: groups by the Debye formula with fixed bond
// geometry, type 20 as N with a half-weight hydrogen, type 21 as NH, type 108 as H.
double vacuum_form_factor(int type, double s);

// Volume (4π/3)·R³ of the solvent displaced by one atom of the type (1..108), R its radius.
double displaced_volume(int type);

// Form factor of the displaced solvent, a Gaussian sphere of volume v: v·exp(−s²·v^(2/3)/(4π)).
// Not yet multiplied by the solvent density or the excluded-volume scale.
double solvent_form_factor(double volume, double s);

// A form factor per type, tabulated on an s grid: the column of each type is contiguous, so the
// atom loop reads the whole s column of an atom's type in one run.
class FormFactorTable {
 public:
  FormFactorTable() = default;
  FormFactorTable(int n_points, std::vector<double> values);

  int n_points() const { return n_points_; }
  // f_type(s_i) for i = 0..n_points−1; type 1..108.
  std::span<const double> column(int type) const;
  double at(int type, int i) const { return column(type)[static_cast<std::size_t>(i)]; }

 private:
  int n_points_ = 0;
  std::vector<double> values_;  // (type−1)·n_points + i
};

// f_k(s_i) for the 108 types.
FormFactorTable vacuum_form_factor_table(std::span<const double> s);

// g_k(s_i) for the 108 types; g_k(0) is the type's displaced volume.
FormFactorTable solvent_form_factor_table(std::span<const double> s);

// The average amplitude of one residue of an alpha-carbon model, r(s) = F(s)·√y(s), F and y
// interpolated from a table on s = 0, 0.015, ..., 1.5 1/Å.
inline constexpr int kResidueTablePoints = 101;
inline constexpr double kResidueTableStep = 0.015;       // 1/Å
inline constexpr double kResidueForwardAmplitude = 12.7847;  // F(0), electrons per residue
std::span<const double> residue_table_amplitude();       // F(s), electrons
std::span<const double> residue_table_correction();      // y(s), dimensionless

struct ResidueFormFactor {
  std::vector<double> values;  // r(s_i); 0 beyond 1.515 1/Å
  // How many times " REGRID ---W- Out of abscissa range." is due: once for each of the two
  // interpolations (F and y) that met an s outside the table; 0 or 2.
  int regrid_warnings = 0;
};
ResidueFormFactor residue_form_factor(std::span<const double> s);

// Radius of an alpha-carbon model's atoms when there is nothing else to average over (Å).
inline constexpr double kDummyAtomRadius = 1.618;

// Electron density of bulk water (e/Å³), used for the centre of the excess electron density.
inline constexpr double kWaterElectronDensity = 0.334;

struct AverageAtom {
  double radius;  // r0, Å
  double volume;  // V̄ = (4π/3)·r0³, Å³
};

// r0 = (3·V_d / (4π·(N − N_d)))^(1/3) from the displaced volume V_d (Å³) of the model, its
// number of atoms N and of dummy residues N_d; r0 = 1.618 Å when N_d ≥ N.
AverageAtom average_atom(double model_volume, int n_atoms, int n_dummy_residues);

// V̄ = (4π/3)·r0³ for a given r0 (Å), as used while r0 is being fitted.
double average_atomic_volume(double r0);

}  // namespace tessel
