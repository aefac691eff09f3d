// The fit shown in the curve viewer: the measured curve and the scaled model curve go into two
// temporary two-column files that the viewer program is started on.
#pragma once

#include <span>
#include <string>

#include "dialogue/dialogue.hpp"
#include "io/report.hpp"

namespace tessel {

// The viewer program's name.
inline constexpr const char* kViewerName = "grafon";

// What the plot shows: the measured points (s, I) and the model curve (s, I), the latter
// multiplied by the fit's scale factor (the background is not added).
struct FitPlot {
  std::span<const double> s_measured, i_measured;
  std::span<const double> s_model, i_model;
  double scale = 1.0;
};

struct ViewerSetup {
  std::string viewer;     // the viewer's path; empty: find_viewer()
  std::string directory;  // where the temporary files go; empty: the working directory
};

// The viewer beside the program's own executable, else the first executable of that name on
// the PATH; empty when there is none.
std::string find_viewer();

// Asks "Plot the fit " (default Y). On yes writes tmpfit1.dat (measured points) and tmpfit2.dat
// (scaled model), starts the viewer on them (directly, without a shell), waits for it and deletes
// the two files. Files of those names that already exist are left alone: the plot then uses
// fresh unique names instead. Only files this call created are deleted.
void show_fit(Dialogue& dialogue, const Report& report, const FitPlot& plot, const ViewerSetup& setup = {});

}  // namespace tessel
