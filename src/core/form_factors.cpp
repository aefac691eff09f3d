// Atomic and solvent form factors, the average residue form factor and the average atom.
#include "core/form_factors.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <numbers>
#include <utility>

#include "core/atom_types.hpp"
#include "core/regrid.hpp"

namespace tessel {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr int kHydrogenElement = 0;  // index of H in the element list

// Below this |x| sin(x)/x loses digits to cancellation and its series is exact to rounding.
constexpr double kSincSeriesLimit = 0.01;

// Bond geometry of the groups X·Hn: hydrogen count, X–H and H–H distances (Å).
struct GroupGeometry {
  double hydrogens;
  double d_xh;
  double d_hh;  // unused for a single hydrogen
};

// Geometry of the group types; hydrogens == 0 marks a type that is not such a group.
constexpr GroupGeometry group_geometry(int type) {
  switch (type) {
    case 2: return {1, 1.07, 0};      // CH
    case 3: return {2, 1.085, 1.78};  // CH2
    case 4: return {3, 1.07, 1.79};   // CH3
    case 6:                           // NH
    case 21: return {1, 1.00, 0};     // NH at the first atom of a residue
    case 7: return {2, 1.009, 1.758}; // NH2
    case 8: return {3, 1.02, 1.65};   // NH3
    case 10: return {1, 0.96, 0};     // OH
    case 12: return {1, 1.00, 0};     // SH
    case 20: return {0.5, 1.00, 0};   // N with a half-weight hydrogen
    default: return {0, 0, 0};
  }
}

}  // namespace

double sinc(double x) {
  if (std::abs(x) > kSincSeriesLimit) return std::sin(x) / x;
  const double x2 = x * x;
  return 1.0 - x2 * (0.16666666666666666 - x2 * (0.008333333333333333 - x2 * 0.0001984126984126984));
}

double element_form_factor(int element, double s) {
  const GaussianCoefficients& g = element_coefficients(element);
  const double q = s / (4.0 * kPi);
  const double q2 = q * q;
  double f = g.c;
  for (int j = 0; j < 4; ++j) f += g.a[j] * std::exp(-g.b[j] * q2);
  return f;
}

double group_form_factor(double f_x, double f_h, double n, double d_xh, double d_hh, double s) {
  const double f2 = f_x * f_x + n * f_h * f_h + 2.0 * n * f_x * f_h * sinc(s * d_xh) +
                    n * (n - 1.0) * f_h * f_h * sinc(s * d_hh);
  return std::sqrt(std::max(f2, 0.0));
}

double vacuum_form_factor(int type, double s) {
  const AtomType& t = atom_type(type);
  const double f_x = element_form_factor(t.element, s);
  const GroupGeometry g = group_geometry(type);
  if (g.hydrogens == 0) return f_x;
  const double f_h = element_form_factor(kHydrogenElement, s);
  return group_form_factor(f_x, f_h, g.hydrogens, g.d_xh, g.d_hh, s);
}

double displaced_volume(int type) {
  const double r = atom_type(type).radius;
  return 4.0 * kPi / 3.0 * r * r * r;
}

double solvent_form_factor(double volume, double s) {
  return volume * std::exp(-s * s * std::pow(volume, 2.0 / 3.0) / (4.0 * kPi));
}

FormFactorTable::FormFactorTable(int n_points, std::vector<double> values)
    : n_points_(n_points), values_(std::move(values)) {
  assert(n_points >= 0 &&
         values_.size() == static_cast<std::size_t>(n_points) * kAtomTypeCount);
}

std::span<const double> FormFactorTable::column(int type) const {
  assert(type >= 1 && type <= kAtomTypeCount);
  const auto n = static_cast<std::size_t>(n_points_);
  return std::span<const double>(values_).subspan(static_cast<std::size_t>(type - 1) * n, n);
}

FormFactorTable vacuum_form_factor_table(std::span<const double> s) {
  const std::size_t n = s.size();
  std::vector<double> values(n * kAtomTypeCount);
  // The element factors are evaluated once per s and shared by the groups built on them.
  std::vector<double> f_h(n);
  for (std::size_t i = 0; i < n; ++i) f_h[i] = element_form_factor(kHydrogenElement, s[i]);
  for (int type = 1; type <= kAtomTypeCount; ++type) {
    double* out = values.data() + static_cast<std::size_t>(type - 1) * n;
    const int element = atom_type(type).element;
    const GroupGeometry g = group_geometry(type);
    for (std::size_t i = 0; i < n; ++i) {
      const double f_x = element == kHydrogenElement ? f_h[i] : element_form_factor(element, s[i]);
      out[i] = g.hydrogens == 0 ? f_x
                                : group_form_factor(f_x, f_h[i], g.hydrogens, g.d_xh, g.d_hh, s[i]);
    }
  }
  return FormFactorTable(static_cast<int>(n), std::move(values));
}

FormFactorTable solvent_form_factor_table(std::span<const double> s) {
  const std::size_t n = s.size();
  std::vector<double> values(n * kAtomTypeCount);
  for (int type = 1; type <= kAtomTypeCount; ++type) {
    double* out = values.data() + static_cast<std::size_t>(type - 1) * n;
    const double v = displaced_volume(type);
    const double width = std::pow(v, 2.0 / 3.0) / (4.0 * kPi);  // V^(2/3) once per type
    for (std::size_t i = 0; i < n; ++i) out[i] = v * std::exp(-s[i] * s[i] * width);
  }
  return FormFactorTable(static_cast<int>(n), std::move(values));
}

ResidueFormFactor residue_form_factor(std::span<const double> s) {
  std::vector<double> x(kResidueTablePoints);
  for (int i = 0; i < kResidueTablePoints; ++i) x[static_cast<std::size_t>(i)] = i * kResidueTableStep;
  const RegridResult f = regrid(x, residue_table_amplitude(), s);
  const RegridResult y = regrid(x, residue_table_correction(), s);
  ResidueFormFactor result;
  result.values.resize(s.size());
  for (std::size_t i = 0; i < s.size(); ++i)
    result.values[i] = f.values[i] * std::sqrt(std::max(y.values[i], 0.0));
  result.regrid_warnings = (f.out_of_range ? 1 : 0) + (y.out_of_range ? 1 : 0);
  return result;
}

AverageAtom average_atom(double model_volume, int n_atoms, int n_dummy_residues) {
  if (n_dummy_residues >= n_atoms) return {kDummyAtomRadius, average_atomic_volume(kDummyAtomRadius)};
  const double r0 = std::cbrt(3.0 * model_volume / (4.0 * kPi * (n_atoms - n_dummy_residues)));
  return {r0, average_atomic_volume(r0)};
}

double average_atomic_volume(double r0) { return 4.0 * kPi / 3.0 * r0 * r0 * r0; }

}  // namespace tessel
