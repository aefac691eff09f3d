// The mixture fit of K synthetic states (K = 100 and 1,000; up to three states) against a
// 200-point curve planted from three of them with 1 % noise, and the ensemble average of
// 10,000 members' curves.
#include "core/ensemble.hpp"
#include "core/mixture_fit.hpp"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

// Partial curves of a particle `stretch` times larger than the reference (two multipole
// components per amplitude, as in the fit benchmark).
tessel::PartialIntensities stretched_curves(const std::vector<double>& s, double stretch) {
  tessel::PartialIntensities p;
  for (const double s0 : s) {
    const double q = s0 * stretch;
    const double a[2] = {7500 * std::exp(-q * q * 36), 900 * q * 6 * std::exp(-q * q * 25)};
    const double c[2] = {1000 * std::exp(-q * q * 42), 100 * q * 6 * std::exp(-q * q * 30)};
    const double b[2] = {12000 * std::exp(-q * q * 64), 2000 * q * 8 * std::exp(-q * q * 49)};
    p.atoms.push_back(a[0] * a[0] + a[1] * a[1]);
    p.solvent.push_back(c[0] * c[0] + c[1] * c[1]);
    p.shell.push_back(b[0] * b[0] + b[1] * b[1]);
    p.atoms_solvent.push_back(2 * (a[0] * c[0] + a[1] * c[1]));
    p.atoms_shell.push_back(2 * (a[0] * b[0] + a[1] * b[1]));
    p.solvent_shell.push_back(2 * (c[0] * b[0] + c[1] * b[1]));
  }
  return p;
}

std::vector<double> model_grid() {
  std::vector<double> s(51);
  for (std::size_t k = 0; k < s.size(); ++k) s[k] = 0.01 * static_cast<double>(k);
  return s;
}

tessel::Ensemble make_states(const std::vector<double>& s, std::size_t k, unsigned seed) {
  tessel::Ensemble e(s.size());
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> stretch(0.6, 1.6);
  tessel::MemberScalars m;
  m.n_atoms = 1000;
  m.displaced_volume = 16000.0;
  m.molecular_weight = 14000.0;
  for (std::size_t j = 0; j < k; ++j) e.add(stretched_curves(s, stretch(random)), m);
  return e;
}

// States 1, 2 and 3 in proportions 0.2/0.3/0.5 at the default solvent parameters.
tessel::FitData planted_data(const tessel::Ensemble& states, const std::vector<double>& s) {
  const double weights[3] = {0.2e-4, 0.3e-4, 0.5e-4};
  std::vector<double> model(s.size(), 0.0);
  for (std::size_t j = 1; j <= 3; ++j) {
    const tessel::FitModel m = tessel::state_fit_model(states, j, s, 0.334);
    const std::vector<double> scale =
        tessel::excluded_volume_scale(s, m.solvent, 0.334, m.displaced_volume, m.n_atoms, 1.6);
    tessel::PartialIntensities p = states.curves(j);
    const std::vector<double> intensity = tessel::model_intensity(p, scale, 0.03);
    for (std::size_t k = 0; k < s.size(); ++k) model[k] += weights[j - 1] * intensity[k];
  }
  tessel::FitData d;
  std::mt19937 random(3);
  std::normal_distribution<double> normal(0.0, 1.0);
  for (int i = 0; i < 200; ++i) {
    const double q = 0.01 + 0.48 * i / 199.0;
    const std::size_t k = std::min<std::size_t>(static_cast<std::size_t>(q / 0.01), s.size() - 2);
    const double t = (q - s[k]) / (s[k + 1] - s[k]);
    const double clean = std::exp((1 - t) * std::log(model[k]) + t * std::log(model[k + 1]));
    d.s_r.push_back(q);
    d.i_r.push_back(clean * (1 + 0.01 * normal(random)));
    d.w_r.push_back(1.0 / (0.01 * clean * 0.01 * clean));
  }
  d.s_e = d.s_r;
  d.i_e = d.i_r;
  d.w_e = d.w_r;
  return d;
}

void BM_MixtureFit(benchmark::State& state) {
  const std::vector<double> s = model_grid();
  const tessel::Ensemble states = make_states(s, static_cast<std::size_t>(state.range(0)), 17);
  const tessel::FitData data = planted_data(states, s);
  tessel::MixtureSettings settings;
  settings.max_states = static_cast<int>(state.range(1));
  tessel::LoopSettings loops;
  loops.threads = static_cast<int>(state.range(2));
  const tessel::MixtureGrid grid = tessel::default_mixture_grid(data, 1.6, false);
  for (auto _ : state) {
    const tessel::MixtureResult r = tessel::fit_mixture(states, s, data, grid, settings, 0.334, 0.0, loops);
    benchmark::DoNotOptimize(r.preferred_size);
    state.counters["chi2_best"] = r.sizes.back().evaluation.chi2;
  }
}
BENCHMARK(BM_MixtureFit)
    ->Args({100, 3, 1})
    ->Args({1000, 3, 1})
    ->Args({1000, 3, 2})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

void BM_EnsembleAverage(benchmark::State& state) {
  const std::vector<double> s = model_grid();
  const tessel::Ensemble members = make_states(s, static_cast<std::size_t>(state.range(0)), 5);
  for (auto _ : state) {
    const tessel::EnsembleAverage avg = tessel::average_ensemble(members);
    const std::vector<double> scale = tessel::excluded_volume_scale(
        s, avg.mean.solvent, 0.334, avg.reference.displaced_volume, avg.reference.n_atoms, 1.6);
    const tessel::IntensitySpread spread = tessel::intensity_spread(members, avg.reference, s, scale, 0.03);
    benchmark::DoNotOptimize(spread.deviation.data());
  }
}
BENCHMARK(BM_EnsembleAverage)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
