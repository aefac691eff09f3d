// The pictures of a job: a fit (measured curve with error bars and the fitted curve on a
// logarithmic intensity axis, the error-weighted residuals below) and a prediction (the intensity
// and its partial curves), with their titles, axis labels, colours and sizes.
#pragma once

#include <span>
#include <string>

#include "io/plot/figure.hpp"

namespace tessel {

// The unit the s axis is shown in. The curves come in 1/Å; in 1/nm they are shown ten times
// larger.
enum class SUnit { per_angstrom, per_nanometre };

// The unit matching a run's angular-unit factor (the multiplier that took the data's s to 1/Å):
// 1/nm for the factors of 0.1 and 2π/10 (data in 1/nm), 1/Å otherwise.
SUnit s_unit_of_factor(double unit_factor);

// The fitted solvent parameters shown in a fit's title.
struct FitTitleValues {
  double rho0 = 0.0;            // solvent density, e/Å³
  double contrast = 0.0;        // shell contrast, e/Å³
  double radius = 0.0;          // atomic radius, Å
  double volume = 0.0;          // excluded volume as reported, Å³
  double scale = 0.0;
  double constant = 0.0;        // absolute background
  bool constant_fitted = false;
  double chi2 = 0.0;
};

struct FitPictureData {
  std::string structure_file;
  std::string data_file;
  FitTitleValues values;
  std::span<const double> s;       // measured points, 1/Å
  std::span<const double> i_exp, sigma, i_fit;
  SUnit unit = SUnit::per_angstrom;
};

struct PredictionPictureData {
  std::string structure_file;
  double rho0 = 0.0, contrast = 0.0, radius = 0.0, volume = 0.0;  // e/Å³, e/Å³, Å, Å³
  std::span<const double> s;       // the computed grid, 1/Å
  std::span<const double> total, atoms, excluded, shell;  // as in the intensity file
  SUnit unit = SUnit::per_angstrom;
};

// Colours of the fitted and the total curve (tests look for them in the pixels).
inline constexpr Colour kFitCurveColour{0.835, 0.369, 0.0};   // vermillion
inline constexpr Colour kPointColour{0.13, 0.13, 0.13};

Figure fit_figure(const FitPictureData& data);
Figure prediction_figure(const PredictionPictureData& data);

}  // namespace tessel
