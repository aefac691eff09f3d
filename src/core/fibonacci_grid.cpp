// Fibonacci grid of directions on the unit sphere.
#include "core/fibonacci_grid.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <string>

#include "core/errors.hpp"
#include "core/run_settings.hpp"

namespace tessel {

int clamp_fibonacci_order(int order) {
  return std::clamp(order, kMinFibonacciOrder, kMaxFibonacciOrder);
}

int clamp_harmonic_order(int l_max) { return std::min(l_max, kMaxHarmonicOrder); }

Direction FibonacciGrid::direction(int j) const {
  const auto i = static_cast<std::size_t>(j);
  return {theta_[i], phi_[i], cos_theta_[i], sin_theta_[i], cos_phi_[i], sin_phi_[i],
          x_[i],     y_[i],   z_[i]};
}

FibonacciGrid make_fibonacci_grid(int order) {
  if (order < 1) {
    throw std::invalid_argument("Fibonacci grid order must be at least 1, got " +
                                std::to_string(order));
  }
  // F(order) and F(order + 1), stopping as soon as the grid would be too large.
  long long previous = 1;  // F(1)
  long long count = 1;     // F(2)
  for (int k = 2; k <= order && count <= kMaxDirections; ++k) {
    const long long next = previous + count;
    previous = count;
    count = next;
  }
  if (count > kMaxDirections) throw FatalStop(" FIBGRD -E-: too high order of Fibonacci number");

  const int n = static_cast<int>(count);
  const auto size = static_cast<std::size_t>(n);
  FibonacciGrid grid;
  grid.order_ = order;
  for (auto* column : {&grid.theta_, &grid.phi_, &grid.cos_theta_, &grid.sin_theta_,
                       &grid.cos_phi_, &grid.sin_phi_, &grid.x_, &grid.y_, &grid.z_}) {
    column->resize(size);
  }
  const double two_pi = 2.0 * std::numbers::pi;
  for (int j = 1; j <= n; ++j) {
    const auto i = static_cast<std::size_t>(j - 1);
    const double c = std::clamp(1.0 - 2.0 * j / n, -1.0, 1.0);
    // √((1−c)(1+c)) is exact at the poles, where sin(acos(c)) would leave a rounding residue.
    const double s = std::sqrt((1.0 - c) * (1.0 + c));
    const double phi = two_pi * static_cast<double>((j * previous) % n) / n;
    grid.theta_[i] = std::acos(c);
    grid.phi_[i] = phi;
    grid.cos_theta_[i] = c;
    grid.sin_theta_[i] = s;
    grid.cos_phi_[i] = std::cos(phi);
    grid.sin_phi_[i] = std::sin(phi);
    grid.x_[i] = s * grid.cos_phi_[i];
    grid.y_[i] = s * grid.sin_phi_[i];
    grid.z_[i] = c;
  }
  return grid;
}

}  // namespace tessel
