// Preparation of a measured curve for the fit.
#include "core/data_preparation.hpp"

#include <algorithm>
#include <cmath>

#include "core/locate.hpp"
#include "core/rebin.hpp"

namespace tessel {
namespace {

std::vector<double> weights(const std::vector<double>& error) {
  std::vector<double> w(error.size());
  std::transform(error.begin(), error.end(), w.begin(), fit_weight);
  return w;
}

}  // namespace

std::size_t regridded_count(std::size_t n) {
  if (n < kRegridThreshold) return n;
  return std::max(kMinRegriddedPoints, n / kRegridReduction);
}

double fit_weight(double sigma) {
  const double variance = sigma * sigma;
  return variance >= kMinVariance ? 1.0 / variance : kMaxWeight;
}

void floor_errors(std::vector<double>& error) {
  for (double& e : error) e = std::fabs(e + kErrorFloor);
}

RegridStage regrid_curve(const ExpCurve& measured) {
  const std::size_t n = measured.size();
  RegridStage out;
  out.measured = measured;
  if (n == 0) return out;
  const std::size_t n_r = regridded_count(n);
  if (n_r == n) {
    out.regridded = measured;
  } else {
    out.regridded_flag = true;
    const double first = measured.s.front();
    const double step = (measured.s.back() - first) / static_cast<double>(n_r - 1);
    std::vector<double> grid(n_r);
    for (std::size_t k = 0; k < n_r; ++k) grid[k] = first + static_cast<double>(k) * step;
    RebinnedCurve rebinned = rebin_curve(measured.s, measured.intensity, measured.error, grid);
    out.regridded.s = std::move(grid);
    out.regridded.intensity = std::move(rebinned.intensity);
    out.regridded.error = std::move(rebinned.error);
  }
  floor_errors(out.regridded.error);
  floor_errors(out.measured.error);
  if (out.regridded.s.front() == 0.0) out.regridded.s.front() = kFirstPointShift;
  return out;
}

FitData finish_preparation(const RegridStage& stage, double model_s_max, double rg_atoms,
                           bool subtract_constant) {
  const ExpCurve& r = stage.regridded;
  FitData out;
  out.regridded_before_cut = r.size();

  out.guinier_min = locate(r.s, kGuinierModelLimit / rg_atoms);
  out.guinier = ESTRG(r.s, r.intensity, r.error, 0, 0);
  out.nrg = out.guinier.nrg;
  if (out.nrg < out.guinier_min) {
    out.guinier_repeated = true;
    out.guinier_again = ESTRG(r.s, r.intensity, r.error, out.guinier_min, 0);
    out.nrg = out.guinier_again.nrg;
  }

  out.s_r = r.s;
  out.i_r = r.intensity;
  out.w_r = weights(r.error);
  out.s_e = stage.measured.s;
  out.i_e = stage.measured.intensity;
  out.w_e = weights(stage.measured.error);

  const std::size_t j = locate(out.s_r, model_s_max);
  if (j < out.s_r.size()) {
    out.cut = true;
    out.s_r.resize(j);
    out.i_r.resize(j);
    out.w_r.resize(j);
  }

  // The tail: max(5, nint(0.1 n_r)) points, but never more than there are.
  const std::size_t n_r = out.s_r.size();
  const auto tenth = static_cast<std::size_t>(std::lround(kTailFraction * static_cast<double>(n_r)));
  out.tail_points = std::min(std::max(kMinTailPoints, tenth), n_r);
  double sum = 0.0;
  for (std::size_t k = n_r - out.tail_points; k < n_r; ++k) sum += out.i_r[k];
  out.outer_average = out.tail_points > 0 ? sum / static_cast<double>(out.tail_points) : 0.0;
  out.subtract_constant = subtract_constant;
  out.a_out = subtract_constant ? out.outer_average : 0.0;
  return out;
}

}  // namespace tessel
