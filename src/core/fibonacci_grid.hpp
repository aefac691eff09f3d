// Fibonacci grid of directions on the unit sphere, ordered from the north pole to the south pole.
#pragma once

#include <span>
#include <vector>

namespace tessel {

// Largest number of directions a grid may hold (order 18).
inline constexpr int kMaxDirections = 4181;

// The grid order is kept within 10..18 and the harmonic order below 100; the run driver reports
// any change it makes.
int clamp_fibonacci_order(int order);
int clamp_harmonic_order(int l_max);

// One direction of the grid: polar angle θ in [0, π], azimuth φ in [0, 2π), their sines and
// cosines and the unit vector u = (sin θ cos φ, sin θ sin φ, cos θ).
struct Direction {
  double theta = 0.0;
  double phi = 0.0;
  double cos_theta = 1.0;
  double sin_theta = 0.0;
  double cos_phi = 1.0;
  double sin_phi = 0.0;
  double x = 0.0;
  double y = 0.0;
  double z = 1.0;
};

// N = F(order + 1) directions (F(1) = F(2) = 1), stored column by column so that loops over a band
// of directions read contiguous memory. Index j is 0-based: direction j has
// cos θ = 1 − 2(j+1)/N and φ = 2π·((j+1)·F(order) mod N)/N, so cos θ decreases strictly with j
// and the last direction is the south pole (θ = π, φ = 0).
class FibonacciGrid {
 public:
  int order() const { return order_; }
  int size() const { return static_cast<int>(cos_theta_.size()); }
  Direction direction(int j) const;

  std::span<const double> theta() const { return theta_; }
  std::span<const double> phi() const { return phi_; }
  std::span<const double> cos_theta() const { return cos_theta_; }
  std::span<const double> sin_theta() const { return sin_theta_; }
  std::span<const double> cos_phi() const { return cos_phi_; }
  std::span<const double> sin_phi() const { return sin_phi_; }
  // Components of the unit vectors u_j.
  std::span<const double> x() const { return x_; }
  std::span<const double> y() const { return y_; }
  std::span<const double> z() const { return z_; }

 private:
  friend FibonacciGrid make_fibonacci_grid(int order);
  int order_ = 0;
  std::vector<double> theta_, phi_, cos_theta_, sin_theta_, cos_phi_, sin_phi_, x_, y_, z_;
};

// Builds the grid of the given order (at least 1). An order whose grid would exceed
// kMaxDirections throws FatalStop(" FIBGRD -E-: too high order of Fibonacci number").
FibonacciGrid make_fibonacci_grid(int order);

}  // namespace tessel
