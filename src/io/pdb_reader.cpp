// The pre-pass over the atoms of a structure and the batched record stream.
#include "io/pdb_reader.hpp"

#include <algorithm>
#include <cmath>
#include <system_error>

#include "core/errors.hpp"
#include "io/fortran_format.hpp"
#include "io/pdb_selection.hpp"

namespace tessel {

namespace {

// Columns of a line shown in the pre-pass's read-error message.
constexpr std::size_t kPrepassColumns = 54;

}  // namespace

std::ifstream open_structure(const std::filesystem::path& file) {
  std::error_code ec;
  // Only a regular file is read: opening a FIFO would wait for a writer without end, a device
  // such as /dev/zero never ends, and the passes read the file more than once.
  if (!std::filesystem::is_regular_file(file, ec)) throw StructureOpenError(file.string());
  std::ifstream in(file, std::ios::binary);
  if (!in) throw StructureOpenError(file.string());
  return in;
}

void PrepassCounter::add(AtomLineClass line_class, std::string_view line,
                         const std::array<double, 3>& xyz) {
  switch (line_class) {
    case AtomLineClass::kNotAtom:
      break;
    case AtomLineClass::kRotamer:
      ++result_.skipped_rotamers;
      break;
    case AtomLineClass::kWater:
      ++result_.discarded_waters;
      break;
    case AtomLineClass::kHydrogen:
      ++result_.discarded_hydrogens;
      break;
    case AtomLineClass::kAccepted:
      ++result_.atoms;
      block_.push_back(xyz);
      if (block_.size() == kAtomBatchSize) fold();
      if (pdb_columns(line, 14, 16) == "O2*") result_.old_nucleic_naming = true;
      break;
  }
}

void PrepassCounter::fold() {
  if (block_.empty()) return;
  std::array<double, 3> sum{};
  for (const auto& p : block_) {
    for (std::size_t k = 0; k < 3; ++k) {
      sum[k] += p[k];
      if (!any_) {
        min_[k] = max_[k] = p[k];
      } else {
        min_[k] = std::min(min_[k], p[k]);
        max_[k] = std::max(max_[k], p[k]);
      }
    }
    any_ = true;
  }
  for (std::size_t k = 0; k < 3; ++k) total_[k] += sum[k];
  block_.clear();
}

PrepassResult PrepassCounter::finish() {
  fold();
  PrepassResult r = result_;
  if (r.atoms == 0) throw Error(" Wrong PDB file ", 1);

  double reach2 = 0;
  for (std::size_t k = 0; k < 3; ++k) {
    r.centre[k] = total_[k] / static_cast<double>(r.atoms);
    const double reach = std::max(std::abs(max_[k] - r.centre[k]), std::abs(min_[k] - r.centre[k]));
    reach2 += reach * reach;
  }
  r.extent = std::sqrt(reach2);
  return r;
}

PrepassResult compute_prepass(std::istream& in, bool explicit_hydrogens) {
  PrepassCounter counter;
  LineReader reader(in);
  std::string line;
  while (reader.next(line)) {
    const AtomLineClass line_class = classify_atom_line(line, explicit_hydrogens);
    std::array<double, 3> xyz{};
    if (line_class == AtomLineClass::kAccepted) {
      const auto read = read_atom_coordinates(line);
      if (!read) stop_unreadable_coordinates(line, static_cast<int>(kPrepassColumns));
      xyz = *read;
    }
    counter.add(line_class, line, xyz);
  }
  return counter.finish();
}

void write_prepass_start(const Report& report) {
  report.to_console(Format("(A)")(" Read atoms and evaluate geometrical center ... "));
}

void write_prepass_report(const PrepassResult& r, const Report& report) {
  report.to_both(labelled_line(" Number of atoms read", r.atoms));
  if (r.skipped_rotamers > 0) {
    report.to_both(labelled_line(" Number of skipped rotamers", r.skipped_rotamers));
  }
  if (r.discarded_waters > 0) {
    report.to_both(labelled_line(" Number of discarded waters", r.discarded_waters));
  } else if (r.discarded_hydrogens > 0) {
    report.to_both(labelled_line(" Number of discarded hydrogens", r.discarded_hydrogens));
  }
  report.to_log(Format("(' Geometric Center:',3F9.3)")(r.centre[0], r.centre[1], r.centre[2]));
}

PrepassResult run_prepass(std::istream& in, bool explicit_hydrogens, const Report& report) {
  write_prepass_start(report);
  const PrepassResult r = compute_prepass(in, explicit_hydrogens);
  write_prepass_report(r, report);
  rewind_structure(in);
  return r;
}

void rewind_structure(std::istream& in) {
  in.clear();
  in.seekg(0);
}

AtomStream::AtomStream(std::istream& in, bool explicit_hydrogens)
    : reader_(in), explicit_hydrogens_(explicit_hydrogens) {}

bool AtomStream::next_line(std::string& line) {
  if (has_pending_) {
    line.swap(pending_);
    has_pending_ = false;
    return true;
  }
  return reader_.next(line);
}

bool AtomStream::next_batch(std::vector<AtomRecord>& batch) {
  batch.clear();
  while (batch.size() < kAtomBatchSize && next_line(line_)) {
    if (classify_atom_line(line_, explicit_hydrogens_) != AtomLineClass::kAccepted) continue;
    std::optional<AtomRecord> record = parse_atom_line(line_);
    has_pending_ = reader_.next(pending_);
    if (has_pending_) record->next_line.assign(pending_, 0, std::min(pending_.size(), kPdbRecordLength));
    batch.push_back(std::move(*record));
  }
  return !batch.empty();
}

}  // namespace tessel
