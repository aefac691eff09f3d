// The intensity file (.int).
#include "io/intensity_file.hpp"

#include "io/fortran_format.hpp"

namespace tessel {

namespace {

constexpr std::size_t kHeaderLength = 90;

// A name as a fixed-length text field holds it: cut or blank-padded to `width`.
std::string fixed_field(std::string_view text, std::size_t width) {
  std::string field(text.substr(0, std::min(text.size(), width)));
  field.resize(width, ' ');
  return field;
}

}  // namespace

std::string intensity_header(const IntensityHeader& h) {
  static const Format format(
      "( ' Dif/Atom/Shape/Bord ',A12, ' Dro:', F7.3,                     "
      "' Ra:', F7.4,' Rg:',F6.2, ' Vtot:',F8.0)");
  const std::string name = fixed_field(h.structure_name, 12);
  const FormatValue values[] = {std::string_view(name), h.delta_rho, h.atomic_radius, h.rg,
                                h.envelope_volume};
  return format.write_internal(kHeaderLength, values);
}

bool write_intensity_file(std::ostream& out, const IntensityHeader& header,
                          const IntensityColumns& c) {
  static const Format row("(5E14.6)");
  out << intensity_header(header) << '\n';
  const std::size_t n = c.s.size();
  for (std::size_t i = 0; i < n && out; ++i)
    out << row(c.s[i], c.net[i], c.atoms[i], c.excluded[i], c.shell[i]);
  out.flush();
  return static_cast<bool>(out);
}

}  // namespace tessel
