// The intensity file (.int): the computed curve and its partial terms, one row per s point.
#pragma once

#include <ostream>
#include <span>
#include <string>
#include <string_view>

namespace tessel {

// The values of the header line.
struct IntensityHeader {
  std::string_view structure_name;  // as typed; its first 12 characters are shown
  double delta_rho = 0;             // shell contrast, e/Å³
  double atomic_radius = 0;         // Å
  double rg = 0;                    // Rg from the slope of the net intensity, Å
  double envelope_volume = 0;       // Å³
};

// The header line, exactly 90 characters: " Dif/Atom/Shape/Bord ", the name in 12 columns,
// " Dro:" F7.3, " Ra:" F7.4, " Rg:" F6.2, " Vtot:" F8.0 and ten blanks.
std::string intensity_header(const IntensityHeader& header);

// The columns of the rows, all over the same s points: s (1/Å), the net intensity, the atoms in
// vacuum, the excluded volume already scaled by G(s)² and the shell already scaled by δρ².
struct IntensityColumns {
  std::span<const double> s;
  std::span<const double> net;
  std::span<const double> atoms;
  std::span<const double> excluded;
  std::span<const double> shell;
};

// The header line (with its trailing blanks) and one (5E14.6) row per point. False when the
// stream fails.
bool write_intensity_file(std::ostream& out, const IntensityHeader& header,
                          const IntensityColumns& columns);

}  // namespace tessel
