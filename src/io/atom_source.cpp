// The pre-pass and the record batches of PDB files, PDB text in memory and mmCIF atom tables.
#include "io/atom_source.hpp"

#include <fstream>

#include "io/memory_stream.hpp"
#include "io/mmcif_records.hpp"

namespace tessel {

namespace {

// A PDB text read line by line, from a file or from memory.
class PdbSource : public AtomSource {
 public:
  PdbSource(std::unique_ptr<std::istream> in, bool explicit_hydrogens)
      : in_(std::move(in)), explicit_hydrogens_(explicit_hydrogens), stream_(*in_, explicit_hydrogens) {}

  PrepassResult prepass() override {
    const PrepassResult r = compute_prepass(*in_, explicit_hydrogens_);
    rewind_structure(*in_);
    return r;
  }

  bool next_batch(std::vector<AtomRecord>& batch) override { return stream_.next_batch(batch); }

 private:
  std::unique_ptr<std::istream> in_;
  bool explicit_hydrogens_;
  AtomStream stream_;
};

// The rows of an mmCIF atom table as PDB records.
class MmcifSource : public AtomSource {
 public:
  MmcifSource(const MmcifStructure& structure, bool explicit_hydrogens)
      : s_(structure), explicit_hydrogens_(explicit_hydrogens) {}

  PrepassResult prepass() override {
    PrepassCounter counter;
    for (const MmcifAtom& a : s_.atoms) {
      const std::string record = pdb_record_text(a, s_);
      counter.add(classify_atom_line(record, explicit_hydrogens_), record, {a.x, a.y, a.z});
    }
    return counter.finish();
  }

  bool next_batch(std::vector<AtomRecord>& batch) override {
    batch.clear();
    const std::size_t n = s_.atoms.size();
    while (batch.size() < kAtomBatchSize && next_ < n) {
      const std::size_t i = next_++;
      if (!have_record_) record_ = pdb_record_text(s_.atoms[i], s_);
      have_record_ = false;
      if (classify_atom_line(record_, explicit_hydrogens_) != AtomLineClass::kAccepted) continue;
      AtomRecord a = atom_record(s_.atoms[i], std::move(record_));
      if (next_ < n && same_chain(s_.atoms[i], s_.atoms[next_])) {
        // The next row's record serves as the look-ahead now and as its own record next.
        record_ = pdb_record_text(s_.atoms[next_], s_);
        have_record_ = true;
        a.next_line = record_;
      } else if (next_ < n) {
        a.next_line = "TER";
      }
      batch.push_back(std::move(a));
    }
    return !batch.empty();
  }

 private:
  static bool same_chain(const MmcifAtom& a, const MmcifAtom& b) {
    return a.model == b.model && a.chain == b.chain;
  }

  const MmcifStructure& s_;
  bool explicit_hydrogens_;
  std::size_t next_ = 0;        // the next row to read
  std::string record_;          // the record of row next_ when have_record_
  bool have_record_ = false;
};

}  // namespace

std::unique_ptr<AtomSource> open_atom_source(const std::filesystem::path& file,
                                             const StructureInMemory* memory,
                                             bool explicit_hydrogens) {
  if (const auto* cif = memory ? std::get_if<MmcifStructure>(memory) : nullptr)
    return std::make_unique<MmcifSource>(*cif, explicit_hydrogens);
  if (const auto* text = memory ? std::get_if<PdbText>(memory) : nullptr)
    return std::make_unique<PdbSource>(std::make_unique<MemoryStream>(text->text), explicit_hydrogens);
  return std::make_unique<PdbSource>(std::make_unique<std::ifstream>(open_structure(file)),
                                     explicit_hydrogens);
}

}  // namespace tessel
