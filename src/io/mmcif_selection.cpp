// Scan and selection of the models and chains of an mmCIF structure.
#include "io/mmcif_selection.hpp"

#include <algorithm>
#include <iterator>
#include <vector>

#include "io/chain_ids.hpp"
#include "io/mmcif_records.hpp"
#include "io/pdb_line.hpp"

namespace tessel {

ScanResult scan_mmcif(const MmcifStructure& s) {
  ScanResult scan;
  scan.model_count = s.model_blocks >= 2 ? static_cast<int>(s.model_blocks) : 0;
  std::vector<std::string> chains;
  bool any = false;
  std::uint32_t last = 0;
  for (const MmcifAtom& a : s.atoms) {
    if (a.model > 0) break;
    if (a.hetatm) continue;
    if (!any || a.chain != last) chains.push_back(s.name(a.chain));
    any = true;
    last = a.chain;
  }
  scan.chains = join_chain_ids(chains);
  return scan;
}

MmcifStructure select_mmcif_atoms(const MmcifStructure& s, const StructureSelection& selection,
                                  bool keep_hydrogens, const std::string& file_name) {
  if (selection.model_selection &&
      (selection.model_number < 1 || static_cast<std::uint32_t>(selection.model_number) > s.model_blocks)) {
    throw ModelNotFoundError(selection.model_number, file_name, static_cast<int>(s.model_blocks));
  }
  // The chosen chains by their index among the names.
  std::vector<bool> chain_kept(s.names.size(), false);
  for (const std::string& id : split_chain_ids(selection.chain_ids)) {
    const auto it = std::find(s.names.begin(), s.names.end(), id);
    if (it != s.names.end()) chain_kept[static_cast<std::size_t>(it - s.names.begin())] = true;
  }
  const auto kept = [&](const MmcifAtom& a) {
    if (selection.model_selection && a.model + 1 != static_cast<std::uint32_t>(selection.model_number))
      return false;
    if (selection.chain_selection && !chain_kept[a.chain]) return false;
    const std::string record = pdb_record_text(a, s);
    return !is_water_line(record) && (keep_hydrogens || !is_hydrogen_record(record));
  };
  MmcifStructure out;
  out.names = s.names;
  out.model_blocks = s.model_blocks;
  out.sequences = s.sequences;
  std::copy_if(s.atoms.begin(), s.atoms.end(), std::back_inserter(out.atoms), kept);
  if (selection.chain_selection && out.atoms.empty()) throw chain_not_found_error(selection, file_name);
  return out;
}

}  // namespace tessel
