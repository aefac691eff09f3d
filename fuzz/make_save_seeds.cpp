// Writes a few small sound save files into a directory, the seeds of the save-file fuzz target:
//   make_save_seeds <directory>
#include <complex>
#include <cstddef>
#include <filesystem>
#include <iostream>
#include <string>

#include "core/harmonic_tables.hpp"
#include "io/save_file.hpp"

namespace {

tessel::SaveData small_save(int l_max, int fibonacci_order, int n_directions, int n_points,
                            const std::string& name) {
  tessel::SaveData d;
  d.l_max = l_max;
  d.fibonacci_order = fibonacci_order;
  d.n_directions = n_directions;
  d.s_max = 0.5;
  d.n_points = n_points;
  d.structure_name = name;
  d.n_atoms = 1001;
  d.electron_rg = 13.9;
  d.molecular_weight = 14313.0;
  d.envelope_rg = 14.2;
  d.envelope_volume = 21500.0;
  d.envelope_surface = 4100.0;
  d.envelope_radius = 17.2;
  d.envelope_diameter = 46.0;
  d.shell_rg = 16.8;
  d.shell_volume = 12000.0;
  d.shape_rg = 13.6;
  const auto ns = static_cast<std::size_t>(n_points);
  const std::size_t count = static_cast<std::size_t>(tessel::harmonic_count(l_max)) * ns;
  for (std::size_t k = 0; k < ns; ++k) d.s.push_back(d.s_max * static_cast<double>(k) / static_cast<double>(ns));
  for (std::size_t j = 0; j < count; ++j) {
    const double v = 1.0 / static_cast<double>(j + 1);
    d.atomalm.emplace_back(v, -v);
    d.vdwalm.emplace_back(0.5 * v, 0.0);
    d.bordalm.emplace_back(0.0, 0.25 * v);
  }
  return d;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_save_seeds <directory>\n";
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::filesystem::create_directories(dir);
  // Grid order 10 has F(11) = 89 directions, order 17 has F(18) = 2584.
  tessel::write_save_file(dir / "l0_ns1.sav", small_save(0, 10, 89, 1, "6lyz.pdb"));
  tessel::write_save_file(dir / "l1_ns2.sav", small_save(1, 17, 2584, 2, "lyz.pdb"));
  tessel::write_save_file(dir / "l2_ns3.sav", small_save(2, 12, 233, 3, ""));
  return 0;
}
