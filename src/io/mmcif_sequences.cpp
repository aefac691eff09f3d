// The sequences of the polymer chains of an mmCIF file.
#include "io/mmcif_sequences.hpp"

#include <gemmi/cif.hpp>

#include <algorithm>
#include <string>
#include <string_view>

#include "core/trim.hpp"

namespace tessel {

namespace {

// Chains in the order they first appear, each with the number of its last monomer: a second
// monomer at the same number (microheterogeneity) is passed over.
class SequenceBuilder {
 public:
  void add(const std::string& chain_id, const std::string& number, std::string name) {
    auto it = std::find_if(chains_.begin(), chains_.end(),
                           [&chain_id](const ChainSequence& c) { return c.chain_id == chain_id; });
    std::size_t k = static_cast<std::size_t>(it - chains_.begin());
    if (it == chains_.end()) {
      chains_.push_back(ChainSequence{chain_id, {}});
      last_numbers_.emplace_back();
    } else if (last_numbers_[k] == number) {
      return;
    }
    chains_[k].residues.push_back(std::move(name));
    last_numbers_[k] = number;
  }

  std::vector<ChainSequence> take() { return std::move(chains_); }

 private:
  std::vector<ChainSequence> chains_;
  std::vector<std::string> last_numbers_;
};

// The chain identifiers of a comma-separated list ("A,B").
std::vector<std::string> strand_ids(const std::string& list) {
  std::vector<std::string> ids;
  std::size_t from = 0;
  while (from <= list.size()) {
    const std::size_t comma = std::min(list.find(',', from), list.size());
    const std::string_view id = trim(std::string_view(list).substr(from, comma - from));
    if (!id.empty()) ids.emplace_back(id);
    from = comma + 1;
  }
  return ids;
}

}  // namespace

std::vector<ChainSequence> mmcif_sequences(gemmi::cif::Block& block) {
  SequenceBuilder builder;
  gemmi::cif::Table scheme =
      block.find("_pdbx_poly_seq_scheme.", {"pdb_strand_id", "seq_id", "mon_id"});
  if (scheme.ok()) {
    for (auto row : scheme) builder.add(row.str(0), row.str(1), row.str(2));
    return builder.take();
  }
  gemmi::cif::Table polymers = block.find("_entity_poly.", {"entity_id", "pdbx_strand_id"});
  gemmi::cif::Table monomers = block.find("_entity_poly_seq.", {"entity_id", "num", "mon_id"});
  for (auto polymer : polymers) {
    const std::string entity = polymer.str(0);
    for (const std::string& id : strand_ids(polymer.str(1))) {
      for (auto row : monomers) {
        if (row.str(0) == entity) builder.add(id, row.str(1), row.str(2));
      }
    }
  }
  return builder.take();
}

}  // namespace tessel
