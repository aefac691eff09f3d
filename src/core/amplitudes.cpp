// Partial amplitudes of the atoms and the displaced solvent, structural sums and envelope search.
#include "core/amplitudes.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <numbers>

#include "core/atom_types.hpp"
#include "core/multipole_block.hpp"

namespace tessel {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kSqrt2OverPi = 0.7978845608028653;  // √(2/π)

std::size_t as_size(int n) { return static_cast<std::size_t>(n); }

// Byte budget of the harmonics of one block of atoms, which every s point reads again.
constexpr std::size_t kBlockBytes = 1024 * 1024;
constexpr int kMaxBlock = 128;

}  // namespace

ModelFormFactors make_model_form_factors(std::span<const double> s) {
  ModelFormFactors ff;
  ff.vacuum = vacuum_form_factor_table(s);
  ff.solvent = solvent_form_factor_table(s);
  ResidueFormFactor residue = residue_form_factor(s);
  ff.residue = std::move(residue.values);
  ff.regrid_warnings = residue.regrid_warnings;
  return ff;
}

LineTable make_atom_bessel_table(int l_max, double s_max, double r_max) {
  return make_bessel_table(l_max, 1.0001 * s_max * r_max);
}

SphericalPosition spherical_position(double x, double y, double z) {
  SphericalPosition p;
  p.r = std::sqrt(x * x + y * y + z * z);
  if (!(p.r > 0.0)) return p;
  p.cos_theta = std::clamp(z / p.r, -1.0, 1.0);
  p.theta = std::acos(p.cos_theta);
  if (x == 0.0) {
    p.phi = y > 0.0 ? kPi / 2.0 : (y < 0.0 ? 1.5 * kPi : 0.0);
  } else {
    p.phi = std::atan2(y, x);
    if (p.phi < 0.0) p.phi += 2.0 * kPi;
  }
  return p;
}

void AtomSums::add(const CentredAtom& atom) {
  const AtomType& t = atom_type(atom.type);
  const double z_e = t.electrons;
  const double r2_atom = atom.x * atom.x + atom.y * atom.y + atom.z * atom.z;
  ++atoms;
  electrons += z_e;
  electron_r2 += z_e * r2_atom;
  r2 += r2_atom;
  electron_moment[0] += z_e * atom.x;
  electron_moment[1] += z_e * atom.y;
  electron_moment[2] += z_e * atom.z;
  largest_radius = std::max(largest_radius, static_cast<double>(t.radius));
  if (atom.dummy_residue) {
    ++dummy_residues;
    mass += kAverageResidueMass;
    return;  // a residue of an alpha-carbon model displaces no solvent of its own
  }
  mass += t.mass;
  const double v = displaced_volume(atom.type);
  volume += v;
  volume_moment[0] += v * atom.x;
  volume_moment[1] += v * atom.y;
  volume_moment[2] += v * atom.z;
}

void AtomSums::merge(const AtomSums& later) {
  atoms += later.atoms;
  dummy_residues += later.dummy_residues;
  electrons += later.electrons;
  mass += later.mass;
  electron_r2 += later.electron_r2;
  r2 += later.r2;
  volume += later.volume;
  for (std::size_t i = 0; i < 3; ++i) {
    electron_moment[i] += later.electron_moment[i];
    volume_moment[i] += later.volume_moment[i];
  }
  largest_radius = std::max(largest_radius, later.largest_radius);
}

void AmplitudeSums::merge(const AmplitudeSums& other) {
  atoms.add(other.atoms);
  solvent.add(other.solvent);
}

AmplitudeKernel::AmplitudeKernel(const HarmonicTables& tables, std::span<const double> s,
                                 const ModelFormFactors& form_factors, const LineTable& bessel)
    : tables_(&tables), s_(s), form_factors_(&form_factors), bessel_(&bessel) {
  assert(bessel.orders() == tables.l_max() + 1);
  assert(form_factors.vacuum.n_points() == n_points());
  assert(form_factors.solvent.n_points() == n_points());
  assert(form_factors.residue.size() == s.size());
  const std::size_t row_bytes = 2 * as_size(tables.pair_count()) * sizeof(double);
  block_ = std::clamp(static_cast<int>(kBlockBytes / row_bytes), 1, kMaxBlock);
}

void AmplitudeKernel::add_atoms(std::span<const CentredAtom> atoms, AmplitudeWorkspace& ws,
                                AmplitudeSums& out) const {
  const HarmonicTables& tables = *tables_;
  const LineTable& bessel = *bessel_;
  const int l_max = tables.l_max();
  const int pairs = tables.pair_count();
  const auto row = 2 * as_size(pairs);
  const int n_points = this->n_points();
  assert(out.atoms.l_max() == l_max && out.atoms.n_points() == n_points);
  assert(out.solvent.l_max() == l_max && out.solvent.n_points() == n_points);

  const auto block = as_size(block_);
  const auto orders = as_size(l_max + 1);
  ws.harmonics.resize(as_size(pairs));
  ws.order.resize(block);
  ws.radius.resize(block);
  ws.vacuum.resize(block);
  ws.solvent.resize(block);
  ws.zeros.assign(as_size(n_points), 0.0);
  ws.counted.resize(block);
  ws.active.resize(orders);
  ws.w_atoms.resize(orders * block);
  ws.w_solvent.resize(orders * block);
  auto* a_out = reinterpret_cast<double*>(out.atoms.values().data());
  auto* c_out = reinterpret_cast<double*>(out.solvent.values().data());

  ws.positions.resize(block);
  std::vector<SphericalPosition>& pos = ws.positions;
  for (std::size_t first = 0; first < atoms.size(); first += block) {
    const std::size_t size = std::min(block, atoms.size() - first);
    const std::span<const CentredAtom> part = atoms.subspan(first, size);
    for (std::size_t b = 0; b < size; ++b) {
      pos[b] = spherical_position(part[b].x, part[b].y, part[b].z);
      ws.order[b] = b;
    }
    // Outer atoms first (ties in file order): at every s point the atoms that count order l
    // then form a prefix.
    std::sort(ws.order.begin(), ws.order.begin() + static_cast<std::ptrdiff_t>(size),
              [&](std::size_t a, std::size_t b) {
                return pos[a].r > pos[b].r || (pos[a].r == pos[b].r && a < b);
              });
    ws.conj_y.reset(pairs, static_cast<int>(size));
    for (std::size_t b = 0; b < size; ++b) {
      const CentredAtom& atom = part[ws.order[b]];
      const SphericalPosition& p = pos[ws.order[b]];
      harmonics_for_direction(tables, p.cos_theta, p.phi, ws.harmonics);
      ws.conj_y.store(static_cast<int>(b), ws.harmonics);
      ws.radius[b] = p.r;
      ws.counted[b] = 0;
      if (atom.dummy_residue) {
        ws.vacuum[b] = form_factors_->residue.data();
        ws.solvent[b] = ws.zeros.data();
      } else {
        ws.vacuum[b] = form_factors_->vacuum.column(atom.type).data();
        ws.solvent[b] = form_factors_->solvent.column(atom.type).data();
      }
    }
    for (int k = 0; k < n_points; ++k) {
      const double sk = s_[as_size(k)];
      for (std::size_t b = 0; b < size; ++b) {
        const double x = sk * ws.radius[b];
        // x grows with k and the cut-off with l, so the counted orders only ever increase.
        int& count = ws.counted[b];
        while (count <= l_max && bessel_term_counts(count, x)) ++count;
        const double* line = bessel.lines(bessel.interval(x)).data();
        const double f = ws.vacuum[b][k];
        const double g = ws.solvent[b][k];
        double* wa = &ws.w_atoms[b * orders];
        double* wc = &ws.w_solvent[b * orders];
        for (int l = 0; l < count; ++l) {
          const double j = line[2 * l] * x + line[2 * l + 1];
          wa[l] = j * f;
          wc[l] = j * g;
        }
      }
      // The atoms are ordered by decreasing r, so the counts decrease along the block.
      const int used = ws.counted[0];
      int n = static_cast<int>(size);
      for (int l = 0; l < used; ++l) {
        while (n > 0 && ws.counted[as_size(n - 1)] <= l) --n;
        ws.active[as_size(l)] = n;
      }
      multipole::accumulate2(a_out + as_size(k) * row, c_out + as_size(k) * row, ws.conj_y,
                             ws.w_atoms.data(), ws.w_solvent.data(), orders, ws.active.data(),
                             used);
    }
  }
}

StructureAccumulator::StructureAccumulator(const HarmonicTables& tables,
                                           std::span<const double> s,
                                           const ModelFormFactors& form_factors,
                                           const LineTable& bessel)
    : kernel_(std::in_place, tables, s, form_factors, bessel),
      amplitudes_(kernel_->make_sums()),
      envelope_(tables.grid()) {}

StructureAccumulator::StructureAccumulator(const HarmonicTables& tables)
    : envelope_(tables.grid()) {}

void StructureAccumulator::add_batch(std::span<const CentredAtom> atoms) {
  // Runs of one kernel block, so that the progress marks follow the atoms closely.
  const std::size_t run = kernel_ ? as_size(kernel_->block_size()) : as_size(kMaxBlock);
  for (std::size_t first = 0; first < atoms.size(); first += run) {
    const std::span<const CentredAtom> part = atoms.subspan(first, std::min(run, atoms.size() - first));
    for (const CentredAtom& atom : part) {
      sums_.add(atom);
      const SphericalPosition p = spherical_position(atom.x, atom.y, atom.z);
      if (p.r > 0.0) {
        envelope_.add_atom(atom.x, atom.y, atom.z, p.r, p.theta, atom_type(atom.type).radius,
                           sums_.atoms);
      }
    }
    if (kernel_) kernel_->add_atoms(part, workspace_, amplitudes_);
    progress_.advance(static_cast<long long>(part.size()));
  }
}

StructureAmplitudes StructureAccumulator::finish() {
  StructureAmplitudes result;
  if (kernel_) {
    amplitudes_.atoms.scale_with_phase(kSqrt2OverPi);
    amplitudes_.solvent.scale_with_phase(kSqrt2OverPi);
    result.atoms = std::move(amplitudes_.atoms);
    result.solvent = std::move(amplitudes_.solvent);
  }
  const AtomSums& s = sums_;
  result.sums = s;
  result.electron_rg = s.electrons > 0.0 ? std::sqrt(s.electron_r2 / s.electrons) : 0.0;
  result.shape_rg = s.atoms > 0 ? std::sqrt(s.r2 / s.atoms) : 0.0;
  const double excess = s.electrons - kWaterElectronDensity * s.volume;
  if (excess != 0.0) {
    for (std::size_t i = 0; i < 3; ++i) {
      result.excess_centre[i] =
          (s.electron_moment[i] - kWaterElectronDensity * s.volume_moment[i]) / excess;
    }
  }
  result.envelope = envelope_.complete(zero_direction_radius(result.electron_rg, s.largest_radius));
  return result;
}

}  // namespace tessel
