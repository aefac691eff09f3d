// Partial scattering amplitudes: storage and element-wise operations.
#include "core/partial_amplitudes.hpp"

#include <cassert>
#include <new>
#include <utility>

#include "core/errors.hpp"

namespace tessel {

PartialAmplitudes::PartialAmplitudes(int l_max, int n_points) : l_max_(l_max), n_points_(n_points) {
  assert(l_max >= 0 && n_points >= 0);
  try {
    values_.assign(static_cast<std::size_t>(harmonic_count(l_max)) * static_cast<std::size_t>(n_points),
                   std::complex<double>{});
  } catch (const std::bad_alloc&) {
    throw FatalStop("Allocation would exceed memory limit");
  }
}

PartialAmplitudes::PartialAmplitudes(int l_max, int n_points,
                                     std::vector<std::complex<double>> values)
    : l_max_(l_max), n_points_(n_points), values_(std::move(values)) {
  assert(l_max >= 0 && n_points >= 0);
  assert(values_.size() ==
         static_cast<std::size_t>(harmonic_count(l_max)) * static_cast<std::size_t>(n_points));
}

std::vector<std::complex<double>> PartialAmplitudes::release() {
  std::vector<std::complex<double>> out = std::move(values_);
  values_.clear();
  l_max_ = 0;
  n_points_ = 0;
  return out;
}

std::span<std::complex<double>> PartialAmplitudes::point(int k) {
  assert(k >= 0 && k < n_points_);
  return std::span<std::complex<double>>(values_).subspan(offset(0, k),
                                                          static_cast<std::size_t>(pair_count()));
}

std::span<const std::complex<double>> PartialAmplitudes::point(int k) const {
  assert(k >= 0 && k < n_points_);
  return std::span<const std::complex<double>>(values_).subspan(
      offset(0, k), static_cast<std::size_t>(pair_count()));
}

void PartialAmplitudes::add(const PartialAmplitudes& other) {
  assert(other.l_max_ == l_max_ && other.n_points_ == n_points_);
  for (std::size_t i = 0; i < values_.size(); ++i) values_[i] += other.values_[i];
}

void PartialAmplitudes::scale(double factor) {
  for (auto& v : values_) v *= factor;
}

void PartialAmplitudes::scale_with_phase(double factor) {
  for (int k = 0; k < n_points_; ++k) {
    std::complex<double>* p = values_.data() + offset(0, k);
    for (int l = 0; l <= l_max_; ++l) {
      for (int m = 0; m <= l; ++m, ++p) {
        const double re = p->real() * factor;
        const double im = p->imag() * factor;
        switch (l % 4) {  // i^l: 1, i, −1, −i
          case 0: *p = {re, im}; break;
          case 1: *p = {-im, re}; break;
          case 2: *p = {-re, -im}; break;
          default: *p = {im, -re}; break;
        }
      }
    }
  }
}

}  // namespace tessel
