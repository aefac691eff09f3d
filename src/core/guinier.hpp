// Guinier-range estimation: how many of the first points of a curve follow the Guinier law,
// and the Guinier fit over them.
#pragma once

#include <cstddef>
#include <span>

namespace tessel {

// s·R at the end of the Guinier range chosen by the estimate.
inline constexpr double kGuinierRangeLimit = 1.3;
inline constexpr std::size_t kMinGuinierPoints = 5;

struct EstrgResult {
  int status = 0;                 // 0; -1 unsupported type; -2 no Guinier fit possible in the range
  int type = 0;                   // the type asked for
  std::size_t nrg = 0;            // points in the Guinier range as taken: carry it to the next call
  std::size_t nrg_estimated = 0;  // the count before it was clamped to 5..n
  bool clamped = false;           // nrg differs from nrg_estimated: the caller warns
  // The Guinier fit over the first nrg points. Type 0 (globular): ln I = ln I0 − R² s²/3,
  // R the radius of gyration; type 1 (rod): ln(s I) = ln I0 − R² s²/2, R the cross-section
  // radius of gyration; type 2 (flat): ln(s² I) = ln I0 − R² s², R the thickness radius.
  double radius = 0.0;            // Å, 0 when the slope is not negative
  double radius_error = 0.0;
  double forward = 0.0;           // I0 of the chosen law
  double forward_error = 0.0;
  double s_radius_max = 0.0;      // s·R at the last point of the range
};

// Guinier-range estimation on the curve (s in 1/Å ascending, I, σ; σ may be all 0, which
// gives an unweighted fit). With nrg = 0 the radius is first estimated by Guinier fits over
// a range that is refined until it ends at s·R = 1.3, and nrg = the number of s below 1.3/R;
// a non-zero nrg is taken as given. nrg is then clamped to at least 5 and at most n. Types
// other than 0, 1 and 2 give status -1 and change nothing.
EstrgResult ESTRG(std::span<const double> s, std::span<const double> intensity,
                  std::span<const double> error, std::size_t nrg, int type);

}  // namespace tessel
