// The scattering model of one structure as the job uses it.
#include "app/model_stage.hpp"

#include <cmath>
#include <numbers>

#include "core/errors.hpp"

namespace tessel {

namespace {

[[noreturn]] void not_available() {
  throw Error(" Error -- The scattering amplitudes cannot be computed by this version");
}

std::size_t pair_count(int l_max) { return static_cast<std::size_t>(harmonic_count(l_max)); }

}  // namespace

ScatteringModel compute_scattering_model(const ModelRequest&, const Report&) { not_available(); }

double displaced_volume(const ScatteringModel& model) {
  if (model.solvent.empty()) return 0.0;
  return model.solvent.front().real() * std::numbers::pi * std::numbers::sqrt2;
}

void normalise_solvent(ScatteringModel& model, double v_d) {
  if (!(v_d > 0.0) || model.atom_count <= 0) return;
  const double per_atom = v_d / static_cast<double>(model.atom_count);
  for (auto& c : model.solvent) c /= per_atom;
}

PartialIntensities partial_intensities(const ScatteringModel&) { not_available(); }

PredictedCurve predict_intensity(const PartialIntensities&, std::span<const double>,
                                 const SolventParameters&, long long) {
  not_available();
}

DerivedParameters derived_parameters(const ScatteringModel&, const PartialIntensities&,
                                     const PredictedCurve&, const SolventParameters&) {
  not_available();
}

std::vector<std::complex<double>> net_amplitudes(const ScatteringModel& model,
                                                 std::span<const double> scale, double delta_rho) {
  const std::size_t nh = pair_count(model.l_max);
  const std::size_t ns = model.s.size();
  std::vector<std::complex<double>> alm(nh * ns);
  for (std::size_t i = 0; i < ns; ++i) {
    for (std::size_t j = 0; j < nh; ++j) {
      const std::size_t k = j + nh * i;
      std::complex<double> a = model.atoms[k] - scale[i] * model.solvent[k];
      if (!model.shell.empty()) a += delta_rho * model.shell[k];
      alm[k] = a;
    }
  }
  return alm;
}

}  // namespace tessel
