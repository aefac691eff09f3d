// Powers of ten of many values at once: the fast branch-free kernel, once per instruction set.
#include "core/kernels/powers_of_ten.hpp"

#include <bit>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <numbers>

#include "core/kernels/simd_target.hpp"

namespace tessel {
namespace {

constexpr double kLn10 = std::numbers::ln10;

// 10^v = 2^n·e^r with n = nint(v·log2 10) and r = v·ln 10 − n·ln 2 (ln 2 split so that n·ln2_high
// is exact), e^r by its Taylor polynomial of degree 13 in Estrin's scheme, 2^n built in the
// exponent bits. As accurate as exp(v·ln 10) (the rounding of v·ln 10 dominates), without a
// branch or call, so that a loop over it runs two values at a time. Valid for |v| ≤ 300.
constexpr double kLog2Of10 = 3.321928094887362347870319429489390175864831393;
constexpr double kLn2High = 0x1.62e42fee00000p-1;
constexpr double kLn2Low = 0x1.a39ef35793c76p-33;
constexpr double kRoundShift = 0x1.8p52;  // adding it rounds a double of magnitude < 2^51
constexpr double kFastPowerLimit = 300.0;

[[gnu::always_inline]] inline double fast_power_of_ten(double v) {
  const double shifted = v * kLog2Of10 + kRoundShift;
  const double n = shifted - kRoundShift;
  const double r = (v * kLn10 - n * kLn2High) - n * kLn2Low;
  const double r2 = r * r;
  const double r4 = r2 * r2;
  const double r8 = r4 * r4;
  // Coefficients 1/k! of r^k, paired as c_2j + c_2j+1·r.
  const double p01 = 1.0 + r;
  const double p23 = 1.0 / 2 + r * (1.0 / 6);
  const double p45 = 1.0 / 24 + r * (1.0 / 120);
  const double p67 = 1.0 / 720 + r * (1.0 / 5040);
  const double p89 = 1.0 / 40320 + r * (1.0 / 362880);
  const double p1011 = 1.0 / 3628800 + r * (1.0 / 39916800);
  const double p1213 = 1.0 / 479001600 + r * (1.0 / 6227020800.0);
  const double q = (p01 + r2 * p23 + r4 * (p45 + r2 * p67)) +
                   r8 * (p89 + r2 * p1011 + r4 * p1213);
  const std::int64_t n_bits = std::bit_cast<std::int64_t>(shifted) - std::bit_cast<std::int64_t>(kRoundShift);
  return q * std::bit_cast<double>((n_bits + 1023) << 52);
}

}  // namespace

double power_of_ten(double v) { return std::exp(v * kLn10); }

namespace {

// The fast kernel over a run of values, once per instruction set: the same operations in every
// lane (multiplies and adds never fused), so the same bits eight values at a time on AVX-512.
void fast_powers_baseline(const double* in, double* o, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) o[i] = fast_power_of_ten(in[i]);
}
TESSEL_TARGET_AVX512 void fast_powers_avx512(const double* in, double* o, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) o[i] = fast_power_of_ten(in[i]);
}

}  // namespace

void powers_of_ten(std::span<const double> v, std::span<double> out) {
  assert(out.size() >= v.size());
  const std::size_t n = v.size();
  const double* in = v.data();
  double* o = out.data();
  std::size_t outside = 0;  // values (or NaN) beyond the fast kernel's range
  for (std::size_t i = 0; i < n; ++i) outside += !(std::fabs(in[i]) <= kFastPowerLimit);
  if (outside != 0) {
    for (std::size_t i = 0; i < n; ++i) o[i] = power_of_ten(in[i]);
    return;
  }
  if (avx512_available()) return fast_powers_avx512(in, o, n);
  fast_powers_baseline(in, o, n);
}

}  // namespace tessel
