// Partial amplitudes of the atoms and the displaced solvent, structural sums and envelope search.
#include "core/amplitudes.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <numbers>

#include "core/atom_types.hpp"
#include "core/kernels/multipole_block.hpp"
#include "core/kernels/multipole_weights.hpp"

namespace tessel {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kSqrt2OverPi = 0.7978845608028653;  // √(2/π)

std::size_t as_size(int n) { return static_cast<std::size_t>(n); }

// Byte budget of the harmonics of one block of atoms. Each tile of s points reads the whole block
// once, its sums running over every source of the block in registers; a block of many sources
// keeps the sums long, and a tile's reads stream from the outer caches fast enough.
constexpr std::size_t kBlockBytes = 4 * 1024 * 1024;
constexpr int kMaxBlock = 128;
// Byte budget of the harmonics of the blocks that one pass of the threaded loop holds.
constexpr std::size_t kPassBytes = 1024 * 1024;
// Terms (atoms × pairs × points) that make a thread worth its start and hand-overs.
constexpr double kTermsPerThread = 2.0e6;
// Bytes the group sums (one amplitude per form factor) may take together, and the fewest group
// sums that make grouping worth it.
constexpr std::size_t kGroupSumBytes = 32 * 1024 * 1024;
constexpr int kMinGroupSums = 16;
// Full blocks that make a round of sums: enough for the threads to share them evenly.
constexpr std::size_t kBlocksPerRound = 16;
// Groups: the dummy residues and the atom types.
constexpr int kGroupCount = kAtomTypeCount + 1;

int group_of(const CentredAtom& atom) { return atom.dummy_residue ? 0 : atom.type; }

// The group sums that fit the byte budget for amplitudes of this shape, at most one per group.
int group_sums_kept(int pairs, int n_points) {
  const std::size_t bytes = as_size(pairs) * as_size(n_points) * sizeof(std::complex<double>);
  const std::size_t sums = bytes == 0 ? as_size(kGroupCount) : kGroupSumBytes / bytes;
  return static_cast<int>(std::min(sums, as_size(kGroupCount)));
}

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

LineTable make_atom_bessel_table(int l_max, double s_max, double r_max, BesselRecurrence recurrence) {
  return make_bessel_table(l_max, 1.0001 * s_max * r_max, recurrence);
}

namespace {

// spherical_position without θ (the harmonics need only cos θ).
SphericalPosition position_without_theta(double x, double y, double z) {
  SphericalPosition p;
  p.r = std::sqrt(x * x + y * y + z * z);
  if (!(p.r > 0.0)) return p;
  p.cos_theta = std::clamp(z / p.r, -1.0, 1.0);
  if (x == 0.0) {
    p.phi = y > 0.0 ? kPi / 2.0 : (y < 0.0 ? 1.5 * kPi : 0.0);
  } else {
    p.phi = std::atan2(y, x);
    if (p.phi < 0.0) p.phi += 2.0 * kPi;
  }
  return p;
}

}  // namespace

SphericalPosition spherical_position(double x, double y, double z) {
  SphericalPosition p = position_without_theta(x, y, z);
  if (p.r > 0.0) p.theta = std::acos(p.cos_theta);
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
                                 const ModelFormFactors& form_factors, const LineTable& bessel,
                                 SimdLevel simd)
    : tables_(&tables),
      s_(s),
      form_factors_(&form_factors),
      bessel_(&bessel),
      simd_(resolve_simd_level(simd)) {
  assert(bessel.orders() == tables.l_max() + 1);
  assert(form_factors.vacuum.n_points() == n_points());
  assert(form_factors.solvent.n_points() == n_points());
  assert(form_factors.residue.size() == s.size());
  assert(std::is_sorted(s.begin(), s.end()));
  const std::size_t row_bytes = 2 * as_size(tables.pair_count()) * sizeof(double);
  block_ = std::clamp(static_cast<int>(kBlockBytes / row_bytes), 1, kMaxBlock);
  pass_blocks_ = std::max(1, static_cast<int>(kPassBytes / (row_bytes * as_size(block_))));
  if (simd_ == SimdLevel::avx512) planar_bessel_ = make_planar_lines(bessel);
}

void AmplitudeKernel::prepare_block(std::span<const CentredAtom> atoms, AmplitudeWorkspace& ws,
                                    AmplitudeBlock& block) const {
  const HarmonicTables& tables = *tables_;
  const std::size_t size = atoms.size();
  ws.legendre.resize(as_size(tables.pair_count()) + kRowOverrun);
  ws.positions.resize(size);
  ws.order.resize(size);
  std::vector<SphericalPosition>& pos = ws.positions;
  for (std::size_t b = 0; b < size; ++b) {
    pos[b] = position_without_theta(atoms[b].x, atoms[b].y, atoms[b].z);
    ws.order[b] = b;
  }
  // Outer atoms first (ties in file order): at every s point the atoms that count order l
  // then form a prefix.
  std::sort(ws.order.begin(), ws.order.end(), [&](std::size_t a, std::size_t b) {
    return pos[a].r > pos[b].r || (pos[a].r == pos[b].r && a < b);
  });
  block.conj_y.reset(tables.l_max(), static_cast<int>(size), multipole::tile_shape(simd_));
  block.radius.resize(size);
  block.vacuum.resize(size);
  block.solvent.resize(size);
  for (std::size_t b = 0; b < size; ++b) {
    const CentredAtom& atom = atoms[ws.order[b]];
    const SphericalPosition& p = pos[ws.order[b]];
    const auto phases = harmonic_factors(tables, p.cos_theta, p.phi, ws.legendre);
    block.conj_y.store_factors(static_cast<int>(b), ws.legendre, phases);
    block.radius[b] = p.r;
    if (atom.dummy_residue) {
      block.vacuum[b] = form_factors_->residue.data();
      block.solvent[b] = nullptr;  // a dummy residue displaces no solvent
    } else {
      block.vacuum[b] = form_factors_->vacuum.column(atom.type).data();
      block.solvent[b] = form_factors_->solvent.column(atom.type).data();
    }
  }
}

int AmplitudeKernel::block_orders(const AmplitudeBlock& block, int first, int count,
                                  AmplitudeWorkspace& ws, std::size_t& active) const {
  return multipole::count_block_orders(s_.data() + first, count, block.radius, 0.0,
                                       tables_->l_max(), ws.counts, active);
}

void AmplitudeKernel::add_block_points(const AmplitudeBlock& block, int first, int count,
                                       AmplitudeWorkspace& ws, AmplitudeSums& out) const {
  assert(count >= 1 && count <= multipole::kTilePoints);
  std::size_t active = 0;
  const int used = block_orders(block, first, count, ws, active);
  if (used == 0) return;
  const auto orders = as_size(tables_->l_max() + 1);
  const auto n = as_size(block.size());

  // Weights by atom, then order, then amplitude and point: [b][l][o][p], the eight weights that
  // the sums read together for one atom and order in one cache line.
  constexpr std::size_t kPer = 2 * multipole::kTilePoints;  // weights per atom and order
  const std::size_t per_atom = orders * kPer;
  ws.weights.resize(active * per_atom);
  multipole::Tile tile(block.conj_y, count, used, ws.weights.data(),
                       {2, per_atom, kPer, multipole::kTilePoints});
  const auto row = 2 * as_size(tables_->pair_count());
  auto* a_out = reinterpret_cast<double*>(out.atoms.values().data());
  auto* c_out = reinterpret_cast<double*>(out.solvent.values().data());
  double* w = ws.weights.data();
  AtomWeightsJob job;
  job.bessel = bessel_;
  job.points = count;
  job.orders = used;
  job.atoms = static_cast<int>(active);
  job.s = s_.data() + first;
  job.first_point = first;
  job.radius = block.radius.data();
  job.vacuum = block.vacuum.data();
  job.solvent = block.solvent.data();
  job.counts = ws.counts.data();
  job.count_stride = n;
  job.out = w;
  job.per_atom = per_atom;
  atom_weights(job, simd_);
  multipole::set_tile_sources(tile, ws.counts, active, used, ws.sources, orders);
  for (std::size_t p = 0; p < as_size(count); ++p) {
    const auto k = as_size(first) + p;
    tile.out[0][p] = a_out + k * row;
    tile.out[1][p] = c_out + k * row;
  }
  multipole::add_tile(tile, simd_);
}

void AmplitudeKernel::add_block_bessel_points(const AmplitudeBlock& block, int first, int count,
                                              AmplitudeWorkspace& ws, PartialAmplitudes& out) const {
  assert(count >= 1 && count <= multipole::kMaxTilePoints);
  std::size_t active = 0;
  const int used = block_orders(block, first, count, ws, active);
  if (used == 0) return;
  const auto orders = as_size(tables_->l_max() + 1);
  const auto n = as_size(block.size());

  // Weights by atom, then order, then point: [b][l][p], the eight points of an order in one
  // cache line; the weights are formed four points at a time.
  constexpr std::size_t kPer = multipole::kMaxTilePoints;
  const std::size_t per_atom = orders * kPer;
  ws.weights.resize(active * per_atom);
  for (int p0 = 0; p0 < count; p0 += multipole::kTilePoints) {
    BesselWeightsJob job;
    job.bessel = bessel_;
    job.planar = planar_bessel_.values.empty() ? nullptr : &planar_bessel_;
    job.points = std::min(multipole::kTilePoints, count - p0);
    job.orders = used;
    job.atoms = static_cast<int>(active);
    job.s = s_.data() + first + p0;
    job.radius = block.radius.data();
    job.counts = ws.counts.data() + as_size(p0) * n;
    job.count_stride = n;
    job.out = ws.weights.data() + p0;
    job.per_atom = per_atom;
    job.order_stride = kPer;
    bessel_weights(job, simd_);
  }

  multipole::Tile tile(block.conj_y, count, used, ws.weights.data(), {1, per_atom, kPer, kPer});
  const auto row = 2 * as_size(tables_->pair_count());
  auto* o = reinterpret_cast<double*>(out.values().data());
  multipole::set_tile_sources(tile, ws.counts, active, used, ws.sources, orders);
  for (std::size_t p = 0; p < as_size(count); ++p) tile.out[0][p] = o + (as_size(first) + p) * row;
  multipole::add_tile(tile, simd_);
}

template <class Out>
void AmplitudeKernel::add_blockwise(std::span<const CentredAtom> atoms, AmplitudeWorkspace& ws,
                                    Out& out, int step, AddPoints<Out> add_points) const {
  const auto block = as_size(block_);
  for (std::size_t first = 0; first < atoms.size(); first += block) {
    prepare_block(atoms.subspan(first, std::min(block, atoms.size() - first)), ws, ws.block);
    for (int k = 0; k < n_points(); k += step) {
      (this->*add_points)(ws.block, k, std::min(step, n_points() - k), ws, out);
    }
  }
}

void AmplitudeKernel::add_bessel_sums(std::span<const CentredAtom> atoms, AmplitudeWorkspace& ws,
                                      PartialAmplitudes& out) const {
  assert(out.l_max() == tables_->l_max() && out.n_points() == n_points());
  add_blockwise(atoms, ws, out, multipole::kMaxTilePoints,
                &AmplitudeKernel::add_block_bessel_points);
}

void AmplitudeKernel::add_atoms(std::span<const CentredAtom> atoms, AmplitudeWorkspace& ws,
                                AmplitudeSums& out) const {
  assert(out.atoms.l_max() == tables_->l_max() && out.atoms.n_points() == n_points());
  assert(out.solvent.l_max() == tables_->l_max() && out.solvent.n_points() == n_points());
  add_blockwise(atoms, ws, out, multipole::kTilePoints, &AmplitudeKernel::add_block_points);
}

void AmplitudeKernel::add_atoms(std::span<const CentredAtom> atoms, WorkerPool& pool,
                                ParallelAmplitudeWorkspace& ws, AmplitudeSums& out,
                                const std::function<void()>& alongside) const {
  assert(out.atoms.l_max() == tables_->l_max() && out.atoms.n_points() == n_points());
  assert(out.solvent.l_max() == tables_->l_max() && out.solvent.n_points() == n_points());
  if (atoms.empty()) {
    if (alongside) alongside();
    return;
  }
  // Two sets of blocks: while the threads sum the blocks of one pass, they prepare the next
  // pass's in the other set, so that each pass costs one hand-over.
  if (ws.threads.size() < as_size(pool.threads())) ws.threads.resize(as_size(pool.threads()));
  if (ws.blocks.size() < 2 * as_size(pass_blocks_)) ws.blocks.resize(2 * as_size(pass_blocks_));
  const auto block = as_size(block_);
  const auto pass = as_size(pass_size());
  const int passes = static_cast<int>((atoms.size() + pass - 1) / pass);
  const auto part = [&](int p) {
    const std::size_t first = as_size(p) * pass;
    return atoms.subspan(first, std::min(pass, atoms.size() - first));
  };
  const auto blocks_in = [&](int p) { return static_cast<int>((part(p).size() + block - 1) / block); };
  const auto prepare = [&](int p, int i, int thread) {
    const std::span<const CentredAtom> atoms_of_pass = part(p);
    const std::size_t at = as_size(i) * block;
    prepare_block(atoms_of_pass.subspan(at, std::min(block, atoms_of_pass.size() - at)),
                  ws.threads[as_size(thread)], ws.blocks[as_size((p % 2) * pass_blocks_ + i)]);
  };
  const int groups = (n_points() + multipole::kTilePoints - 1) / multipole::kTilePoints;

  pool.run(blocks_in(0), [&](int i, int thread) { prepare(0, i, thread); });
  for (int p = 0; p < passes; ++p) {
    // Tasks in the order handed out: the extra work when due (the longest), the next pass's
    // blocks, then the groups of points, those of the most counted orders (the top of the grid)
    // first. Each group forms whole points from this pass's blocks in their order.
    const int extra = (p == 0 && alongside) ? 1 : 0;
    const int next = p + 1 < passes ? blocks_in(p + 1) : 0;
    const int blocks = blocks_in(p);
    const std::size_t set = as_size((p % 2) * pass_blocks_);
    pool.run(extra + next + groups, [&](int task, int thread) {
      if (task < extra) {
        alongside();
        return;
      }
      task -= extra;
      if (task < next) {
        prepare(p + 1, task, thread);
        return;
      }
      const int k = (groups - 1 - (task - next)) * multipole::kTilePoints;
      const int count = std::min(multipole::kTilePoints, n_points() - k);
      for (int i = 0; i < blocks; ++i) {
        add_block_points(ws.blocks[set + as_size(i)], k, count, ws.threads[as_size(thread)], out);
      }
    });
  }
}

StructureAccumulator::StructureAccumulator(const HarmonicTables& tables,
                                           std::span<const double> s,
                                           const ModelFormFactors& form_factors,
                                           const LineTable& bessel, const LoopSettings& loops)
    : kernel_(std::in_place, tables, s, form_factors, bessel, loops.simd),
      amplitudes_(kernel_->make_sums()),
      envelope_(tables.grid()),
      threads_(resolve_thread_count(loops.threads)),
      shared_pool_(loops.pool),
      form_factors_(&form_factors) {
  const int sums = group_sums_kept(tables.pair_count(), kernel_->n_points());
  if (sums >= kMinGroupSums) {
    groups_.resize(as_size(kGroupCount));
    max_group_sums_ = sums;
  }
}

bool atoms_grouped_by_form_factor(int l_max, int n_points) {
  return group_sums_kept(harmonic_count(l_max), n_points) >= kMinGroupSums;
}

StructureAccumulator::StructureAccumulator(const HarmonicTables& tables)
    : envelope_(tables.grid()) {}

void StructureAccumulator::add_to_sums_and_envelope(std::span<const CentredAtom> atoms) {
  for (const CentredAtom& atom : atoms) {
    sums_.add(atom);
    const SphericalPosition p = spherical_position(atom.x, atom.y, atom.z);
    if (p.r > 0.0) {
      envelope_.add_atom(atom.x, atom.y, atom.z, p.r, p.theta, atom_type(atom.type).radius,
                         sums_.atoms);
    }
  }
}

WorkerPool& StructureAccumulator::pool() {
  if (shared_pool_ != nullptr) return *shared_pool_;
  if (!pool_) pool_ = std::make_unique<WorkerPool>(threads_);
  return *pool_;
}

void StructureAccumulator::group_batch(std::span<const CentredAtom> atoms) {
  const auto block = as_size(kernel_->block_size());
  for (const CentredAtom& atom : atoms) {
    const int group = group_of(atom);
    std::vector<CentredAtom>& pending = groups_[as_size(group)].pending;
    pending.push_back(atom);
    if (pending.size() == block) {
      full_blocks_.push_back({group, std::move(pending)});
      pending.clear();
    }
  }
  unsummed_.insert(unsummed_.end(), atoms.begin(), atoms.end());
  if (full_blocks_.size() >= kBlocksPerRound) sum_waiting();
  progress_.advance(static_cast<long long>(atoms.size()));
}

void StructureAccumulator::sum_waiting() {
  sum_group_blocks(full_blocks_, unsummed_);
  full_blocks_.clear();
  unsummed_.clear();
}

void StructureAccumulator::sum_group_blocks(const std::vector<GroupBlock>& blocks,
                                            std::span<const CentredAtom> alongside) {
  // The groups with blocks, in the order of their first block.
  std::vector<int> groups;
  std::size_t atoms = 0;
  for (const GroupBlock& b : blocks) {
    if (std::find(groups.begin(), groups.end(), b.group) == groups.end()) groups.push_back(b.group);
    atoms += b.atoms.size();
  }
  int kept = 0, wanted = 0;
  for (const FormFactorGroup& g : groups_) kept += g.sum.empty() ? 0 : 1;
  for (const int g : groups) wanted += groups_[as_size(g)].sum.empty() ? 1 : 0;
  if (kept + wanted > max_group_sums_) fold_group_sums();
  for (const int g : groups) {
    PartialAmplitudes& sum = groups_[as_size(g)].sum;
    if (sum.empty()) sum = PartialAmplitudes(amplitudes_.atoms.l_max(), kernel_->n_points());
  }
  const auto sum_group = [&](int g, AmplitudeWorkspace& ws) {
    for (const GroupBlock& b : blocks) {
      if (b.group == g) kernel_->add_bessel_sums(b.atoms, ws, groups_[as_size(g)].sum);
    }
  };
  const double terms = static_cast<double>(atoms) *
                       amplitudes_.atoms.pair_count() * kernel_->n_points();
  const int threads = threads_for_work(terms, kTermsPerThread, threads_);
  if (threads > 1 && !groups.empty()) {
    WorkerPool& workers = pool();
    if (parallel_.threads.size() < as_size(workers.threads())) parallel_.threads.resize(as_size(workers.threads()));
    const int extra = alongside.empty() ? 0 : 1;
    workers.run(extra + static_cast<int>(groups.size()), [&](int task, int thread) {
      if (task < extra) {
        add_to_sums_and_envelope(alongside);
      } else {
        sum_group(groups[as_size(task - extra)], parallel_.threads[as_size(thread)]);
      }
    });
    return;
  }
  add_to_sums_and_envelope(alongside);
  for (const int g : groups) sum_group(g, workspace_);
}

void StructureAccumulator::fold_group_sums() {
  const ModelFormFactors& ff = *form_factors_;
  const int pairs = amplitudes_.atoms.pair_count();
  for (std::size_t g = 0; g < groups_.size(); ++g) {
    PartialAmplitudes& sum = groups_[g].sum;
    if (sum.empty()) continue;
    const int type = static_cast<int>(g);
    const std::span<const double> f = g == 0 ? std::span<const double>(ff.residue) : ff.vacuum.column(type);
    // Dummy residues (group 0) displace no solvent.
    const std::span<const double> solvent = g == 0 ? std::span<const double>() : ff.solvent.column(type);
    for (int k = 0; k < sum.n_points(); ++k) {
      const std::span<const std::complex<double>> from = sum.point(k);
      const std::span<std::complex<double>> a = amplitudes_.atoms.point(k);
      const double fk = f[as_size(k)];
      for (int i = 0; i < pairs; ++i) a[as_size(i)] += fk * from[as_size(i)];
      if (solvent.empty()) continue;
      const std::span<std::complex<double>> c = amplitudes_.solvent.point(k);
      const double gk = solvent[as_size(k)];
      for (int i = 0; i < pairs; ++i) c[as_size(i)] += gk * from[as_size(i)];
    }
    sum = PartialAmplitudes();
  }
}

void StructureAccumulator::add_batch(std::span<const CentredAtom> atoms) {
  if (kernel_ && !groups_.empty()) {
    group_batch(atoms);
    return;
  }
  if (kernel_ && threads_ > 1) {
    // Terms of the batch: atoms × pairs × points, each one a multiply-add to both amplitudes.
    const double terms = static_cast<double>(atoms.size()) * amplitudes_.atoms.pair_count() *
                         kernel_->n_points();
    const int threads = threads_for_work(terms, kTermsPerThread, threads_);
    if (threads > 1) {
      WorkerPool& workers = pool();
      const auto run = as_size(kernel_->pass_size());
      for (std::size_t first = 0; first < atoms.size(); first += run) {
        const std::span<const CentredAtom> part =
            atoms.subspan(first, std::min(run, atoms.size() - first));
        kernel_->add_atoms(part, workers, parallel_, amplitudes_,
                           [&] { add_to_sums_and_envelope(part); });
        progress_.advance(static_cast<long long>(part.size()));
      }
      return;
    }
  }
  // Runs of one kernel block, so that the progress marks follow the atoms closely.
  const std::size_t run = kernel_ ? as_size(kernel_->block_size()) : as_size(kMaxBlock);
  for (std::size_t first = 0; first < atoms.size(); first += run) {
    const std::span<const CentredAtom> part = atoms.subspan(first, std::min(run, atoms.size() - first));
    add_to_sums_and_envelope(part);
    if (kernel_) kernel_->add_atoms(part, workspace_, amplitudes_);
    progress_.advance(static_cast<long long>(part.size()));
  }
}

StructureAmplitudes StructureAccumulator::finish() {
  StructureAmplitudes result;
  if (kernel_) {
    if (!groups_.empty()) {
      // The groups' last blocks, short of a full one, with the blocks still waiting.
      for (std::size_t g = 0; g < groups_.size(); ++g) {
        if (!groups_[g].pending.empty()) full_blocks_.push_back({static_cast<int>(g), std::move(groups_[g].pending)});
      }
      sum_waiting();
      fold_group_sums();
      groups_.clear();
    }
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
