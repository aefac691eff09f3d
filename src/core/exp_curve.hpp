// The experimental scattering curve: scattering vector, intensity and error per point.
#pragma once

#include <cstddef>
#include <vector>

namespace tessel {

// One experimental curve, points in file order (ascending s once filtered). The three
// columns always have the same length; at most kMaxCurvePoints points are kept.
struct ExpCurve {
  std::vector<double> s;          // scattering vector; 1/Å (4π·sin(θ)/λ) after unit conversion
  std::vector<double> intensity;  // I(s), arbitrary units
  std::vector<double> error;      // σ of I, same units

  std::size_t size() const { return s.size(); }
  bool empty() const { return s.empty(); }
  void resize(std::size_t n) {
    s.resize(n);
    intensity.resize(n);
    error.resize(n);
  }
  void push_back(double s_value, double i_value, double error_value) {
    s.push_back(s_value);
    intensity.push_back(i_value);
    error.push_back(error_value);
  }
};

}  // namespace tessel
