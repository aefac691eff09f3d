// The text of a fit: the search's log lines and title, the closing sections of the log, the
// .fit file (header, model rows from s = 0, measured rows) and the job's summary line.
#pragma once

#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "io/report.hpp"

namespace tessel {

// The two log headings written before the first search of a job, each ending with '\n'.
std::string fit_search_headings();

// The log line of one fit: the limits, s_max_fit and the best values. Volumes as reported
// (with the 220 Å³ per dummy residue).
struct FitLogValues {
  double contrast_low, contrast_high;
  double radius_low, radius_high;
  double volume_low, volume_high;
  double s_max_fit;
  double contrast, radius, volume;
  double chi2;
  double hydration;  // V_sh·1.8·(ρ0 + δρ)/M
};
std::string fit_result_line(const FitLogValues& v);

// Hydra = V_sh·1.8·(ρ0 + δρ)/M, with 1.8 in single precision.
double hydration_ratio(double shell_volume, double rho0, double contrast, double molecular_weight);

// "  -- RelBCK limits:" with the bounds of the relative background, its value and the absolute
// background (relative × the background unit).
std::string background_line(double low, double high, double relative, double absolute);

// The 90-character title of a fit: the first 8 characters of the structure name, δρ, Ra, the
// reported volume and χ². Trailing blanks are kept; the console shows it without them.
std::string fit_title(std::string_view structure_name, double contrast, double radius, double volume,
                      double chi2);

// The closing sections of the log in fitting mode: the radii of gyration (the combined Rg to the
// log, the slope Rg and the average electron density to the console and the log) and the
// heading of the output files.
void finish_fit_log(const Report& report, double combined_rg, double slope_rg, double electron_density);

// What the .fit file holds.
struct FitFileContent {
  std::string_view structure_name;
  double contrast = 0.0, radius = 0.0;
  double slope_rg = 0.0;            // "RGT"
  double volume = 0.0;              // reported, with the 220 Å³ per dummy residue
  double chi2 = 0.0;
  std::span<const double> s_model;  // the computed grid
  std::span<const double> model;    // the unscaled model intensity on it
  std::span<const double> s, intensity, error, fitted;  // the measured points and the fit
  double scale = 0.0;               // c
  double background = 0.0;          // bck, absolute
  bool with_errors = true;
};

// The header line of the .fit file (67 characters for names of 8 or more).
std::string fit_file_header(const FitFileContent& c);

// Writes the whole .fit file: header, model rows from s = 0 up to the first measured point
// (c·J + bck; with errors four fields s, 0, 0, value, else three) and one row per measured point
// (s, I, σ, I_fit or s, I, I_fit). A first s of exactly 1e-8 is written as 0 with no model
// rows before it. The spline's range warning goes to the console of report.
void write_fit_file(std::ostream& out, const FitFileContent& c, const Report& report);

// The job's line in the summary file in fitting mode: " Model: ", the first 20 characters of the
// structure name, "  Rg:", the slope Rg, "  Run:", the run number, "  Chi^2:", χ² (65 characters).
std::string fit_summary_line(std::string_view structure_name, double slope_rg, std::string_view run,
                             double chi2);

}  // namespace tessel
