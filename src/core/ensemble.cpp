// Ensemble members, their average on a common footing and the spreads over them.
#include "core/ensemble.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <stdexcept>

namespace tessel {

namespace {

std::size_t curve_index(PartialCurve which) { return static_cast<std::size_t>(which); }

// The curves of PartialIntensities in store order.
template <class Curves>
auto& curve_of(Curves& p, std::size_t c) {
  switch (c) {
    case 0: return p.atoms;
    case 1: return p.solvent;
    case 2: return p.shell;
    case 3: return p.atoms_solvent;
    case 4: return p.atoms_shell;
    default: return p.solvent_shell;
  }
}

// The power of r_i each curve takes: C appears twice in I_C, once in I_AC and I_CB.
constexpr int kSolventPower[kPartialCurveCount] = {0, 2, 0, 1, 0, 1};

// Running mean and sum of squared deviations (Welford), stable for many members.
struct Running {
  double count = 0.0;
  double mean = 0.0;
  double m2 = 0.0;
  void add(double x) {
    count += 1.0;
    const double d = x - mean;
    mean += d / count;
    m2 += d * (x - mean);
  }
  double deviation() const { return count > 0.0 ? std::sqrt(std::max(m2, 0.0) / count) : 0.0; }
};

}  // namespace

void Ensemble::add(const PartialIntensities& curves, const MemberScalars& scalars) {
  std::vector<double> flat;
  flat.reserve(kPartialCurveCount * n_points_);
  for (std::size_t c = 0; c < kPartialCurveCount; ++c) {
    const std::vector<double>& v = curve_of(curves, c);
    if (v.size() != n_points_) throw std::invalid_argument("ensemble member on another s grid");
    flat.insert(flat.end(), v.begin(), v.end());
  }
  curves_.push_back(std::move(flat));
  scalars_.push_back(scalars);
}

std::span<const double> Ensemble::curve(std::size_t member, PartialCurve which) const {
  return std::span<const double>(curves_[member]).subspan(curve_index(which) * n_points_, n_points_);
}

PartialIntensities Ensemble::curves(std::size_t member) const {
  PartialIntensities p;
  for (std::size_t c = 0; c < kPartialCurveCount; ++c) {
    const auto v = curve(member, static_cast<PartialCurve>(c));
    curve_of(p, c).assign(v.begin(), v.end());
  }
  return p;
}

EnsembleReference ensemble_reference(const Ensemble& ensemble) {
  EnsembleReference r;
  if (ensemble.empty()) return r;
  const MemberScalars& first = ensemble.scalars(0);
  double atoms = 0.0, dummies = 0.0, volume = 0.0;
  for (std::size_t i = 0; i < ensemble.size(); ++i) {
    const MemberScalars& m = ensemble.scalars(i);
    atoms += m.n_atoms;
    dummies += m.n_dummy_residues;
    volume += m.displaced_volume;
    r.uniform = r.uniform && m.n_atoms == first.n_atoms &&
                m.n_dummy_residues == first.n_dummy_residues &&
                m.displaced_volume == first.displaced_volume;
  }
  const double k = static_cast<double>(ensemble.size());
  if (r.uniform) {
    // The members' own values, not a mean that might round differently.
    r.n_atoms = first.n_atoms;
    r.n_dummy_residues = first.n_dummy_residues;
    r.displaced_volume = first.displaced_volume;
  } else {
    r.n_atoms = static_cast<int>(std::lround(atoms / k));
    r.n_dummy_residues = static_cast<int>(std::lround(dummies / k));
    r.displaced_volume = volume / k;
  }
  return r;
}

double solvent_rescale(const MemberScalars& member, const EnsembleReference& reference) {
  if (reference.uniform) return 1.0;
  if (!(member.displaced_volume > 0.0) || member.n_atoms <= 0) return 1.0;
  if (!(reference.displaced_volume > 0.0) || reference.n_atoms <= 0) return 1.0;
  return (member.displaced_volume / member.n_atoms) /
         (reference.displaced_volume / reference.n_atoms);
}

PartialIntensities member_curves(const Ensemble& ensemble, std::size_t member,
                                 const EnsembleReference& reference) {
  PartialIntensities p = ensemble.curves(member);
  const double r = solvent_rescale(ensemble.scalars(member), reference);
  if (r == 1.0) return p;
  for (std::size_t c = 0; c < kPartialCurveCount; ++c) {
    const double factor = std::pow(r, kSolventPower[c]);
    for (double& v : curve_of(p, c)) v *= factor;
  }
  return p;
}

EnsembleAverage average_ensemble(const Ensemble& ensemble) {
  assert(!ensemble.empty());
  EnsembleAverage out;
  out.reference = ensemble_reference(ensemble);
  out.members = ensemble.size();
  const std::size_t n = ensemble.n_points();
  for (std::size_t c = 0; c < kPartialCurveCount; ++c) curve_of(out.mean, c).assign(n, 0.0);
  for (std::size_t i = 0; i < ensemble.size(); ++i) {
    const double r = solvent_rescale(ensemble.scalars(i), out.reference);
    for (std::size_t c = 0; c < kPartialCurveCount; ++c) {
      const double factor = std::pow(r, kSolventPower[c]);
      const auto v = ensemble.curve(i, static_cast<PartialCurve>(c));
      std::vector<double>& sum = curve_of(out.mean, c);
      for (std::size_t k = 0; k < n; ++k) sum[k] += factor * v[k];
    }
  }
  const double count = static_cast<double>(ensemble.size());
  for (std::size_t c = 0; c < kPartialCurveCount; ++c) {
    for (double& v : curve_of(out.mean, c)) v /= count;
  }
  return out;
}

ValueSpread value_spread(std::span<const double> values) {
  ValueSpread out;
  if (values.empty()) return out;
  Running running;
  for (const double v : values) running.add(v);
  out.mean = running.mean;
  out.deviation = running.deviation();
  const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
  out.min = *lo;
  out.max = *hi;
  return out;
}

IntensitySpread intensity_spread(const Ensemble& ensemble, const EnsembleReference& reference,
                                 std::span<const double> s, std::span<const double> scale,
                                 double delta_rho) {
  const std::size_t n = ensemble.n_points();
  assert(s.size() == n && scale.size() == n);
  std::vector<Running> points(n);
  std::vector<double> rgs;
  rgs.reserve(ensemble.size());
  for (std::size_t i = 0; i < ensemble.size(); ++i) {
    const std::vector<double> intensity =
        model_intensity(member_curves(ensemble, i, reference), scale, delta_rho);
    for (std::size_t k = 0; k < n; ++k) points[k].add(intensity[k]);
    rgs.push_back(slope_rg(s, intensity));
  }
  IntensitySpread out;
  out.mean.resize(n);
  out.deviation.resize(n);
  for (std::size_t k = 0; k < n; ++k) {
    out.mean[k] = points[k].mean;
    out.deviation[k] = points[k].deviation();
  }
  out.slope_rg = value_spread(rgs);
  return out;
}

MemberSpread member_spread(const Ensemble& ensemble) {
  const std::size_t k = ensemble.size();
  std::vector<double> electron(k), shape(k), envelope(k), displaced(k);
  for (std::size_t i = 0; i < k; ++i) {
    const MemberScalars& m = ensemble.scalars(i);
    electron[i] = m.electron_rg;
    shape[i] = m.shape_rg;
    envelope[i] = m.envelope_volume;
    displaced[i] = m.displaced_volume;
  }
  return {value_spread(electron), value_spread(shape), value_spread(envelope), value_spread(displaced)};
}

MemberScalars ensemble_scalars(const Ensemble& ensemble, const EnsembleReference& reference) {
  MemberScalars out;
  out.n_atoms = reference.n_atoms;
  out.n_dummy_residues = reference.n_dummy_residues;
  out.displaced_volume = reference.displaced_volume;
  if (ensemble.empty()) return out;
  for (std::size_t i = 0; i < ensemble.size(); ++i) {
    const MemberScalars& m = ensemble.scalars(i);
    out.molecular_weight += m.molecular_weight;
    out.electron_rg += m.electron_rg;
    out.shape_rg += m.shape_rg;
    out.shell_rg += m.shell_rg;
    out.shell_volume += m.shell_volume;
    out.envelope_volume += m.envelope_volume;
  }
  const double k = static_cast<double>(ensemble.size());
  out.molecular_weight /= k;
  out.electron_rg /= k;
  out.shape_rg /= k;
  out.shell_rg /= k;
  out.shell_volume /= k;
  out.envelope_volume /= k;
  return out;
}

}  // namespace tessel
