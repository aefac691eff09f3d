// Fuzz target: mmCIF files and gzip-compressed structure files, from the bytes to the typed atoms.
// The first byte chooses the path and the switches:
//   bits 0-1: 0 the rest is mmCIF text; 1 it is a gzip stream of mmCIF; 2 a gzip stream of a PDB
//             file; 3 mmCIF text that is first compressed here and must decompress to itself;
//   bit 2:    explicit hydrogens;
//   bits 3-4: model selection of model 1 to 3 (0: none);
//   bits 5-6: chain selection of the first listed chain (1), all but it (2), or none.
//
// Besides crashes and sanitizer reports it checks what the readers promise: the atom table's
// names and models are in range; a scan, a selection and the pre-pass stop with tessel::Error or
// give counts that the record stream repeats exactly; every record is 80 columns with the row's
// own coordinates and a next line of at most 80; the typing gives types in 1..108. The
// completeness check runs on what was read.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/errors.hpp"
#include "io/atom_source.hpp"
#include "io/atom_typing.hpp"
#include "io/chain_ids.hpp"
#include "io/completeness_warning.hpp"
#include "io/gzip_input.hpp"
#include "io/memory_stream.hpp"
#include "io/mmcif_reader.hpp"
#include "io/mmcif_selection.hpp"
#include "io/structure_completeness.hpp"
#include "fuzz_check.hpp"

namespace {

using namespace tessel;

std::string compress(std::string_view text) {
  z_stream z{};
  CHECK(deflateInit2(&z, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK);
  std::string out(deflateBound(&z, text.size()) + 32, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  CHECK(deflate(&z, Z_FINISH) == Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

void check_table(const MmcifStructure& s) {
  CHECK(!s.atoms.empty());
  CHECK(s.model_blocks >= 1);
  for (const MmcifAtom& a : s.atoms) {
    CHECK(a.atom_name < s.names.size() && a.residue_name < s.names.size() && a.chain < s.names.size());
    CHECK(a.model < s.model_blocks);
  }
}

// The pre-pass and the record stream of a structure, typed; they must agree.
void read_atoms(const StructureInMemory& memory, bool explicit_hydrogens) {
  const auto source = open_atom_source({}, &memory, explicit_hydrogens);
  long long expected = 0;
  PrepassResult prepass;
  try {
    prepass = source->prepass();
    expected = prepass.atoms;
  } catch (const Error&) {
    expected = 0;  // no accepted atom, or (PDB text) an unreadable line
  }
  TypingOptions options;
  options.explicit_hydrogens = explicit_hydrogens;
  options.model_has_o2_star = prepass.old_nucleic_naming;
  AtomTyper typer(options);
  std::vector<AtomRecord> batch;
  long long atoms = 0;
  const auto* cif = std::get_if<MmcifStructure>(&memory);
  try {
    while (source->next_batch(batch)) {
      CHECK(batch.size() <= kAtomBatchSize);
      for (const AtomRecord& a : batch) {
        CHECK(a.record.size() == kPdbRecordLength);
        CHECK(a.next_line.size() <= kPdbRecordLength);
        const TypingResult typed = typer.type_atom(a);
        CHECK(typed.atom.type >= 1 && typed.atom.type <= 108);
        ++atoms;
      }
    }
  } catch (const Error&) {
    CHECK(cif == nullptr);  // only PDB text has lines the stream can fail on
    return;
  }
  (void)composition_report(typer.composition());
  CHECK(atoms == expected);
  // The completeness check of the structure in memory, with the promises fuzz_pdb checks.
  for (const bool chain_selection : {false, true}) {
    const CompletenessReport report = check_completeness(memory, chain_selection, explicit_hydrogens);
    for (const ChainCompleteness& c : report.chains) {
      int sum = 0;
      for (const MissingRange& r : c.ranges) sum += r.count;
      CHECK(sum == c.missing && c.missing > 0);
      CHECK(!c.from_sequence || c.missing <= c.sequence_length);
    }
    (void)completeness_warning_lines(report);
  }
}

void read_mmcif(std::string_view text, std::uint8_t flags) {
  MmcifStructure structure;
  try {
    structure = parse_mmcif(text, "fuzz.cif");
  } catch (const Error&) {
    return;
  }
  check_table(structure);

  const ScanResult scan = scan_mmcif(structure);
  CHECK(scan.model_count == 0 || scan.model_count == static_cast<int>(structure.model_blocks));
  const std::vector<std::string> chains = split_chain_ids(scan.chains);
  // The chain list reads back as the chain ids of the first model's ATOM rows, unless an id is
  // one that no chain text can name: a comma, or, among longer ids, one holding a blank.
  std::vector<std::string> listed;
  bool one_character = true, no_blank = true;
  for (const MmcifAtom& a : structure.atoms) {
    if (a.model > 0) break;
    if (a.hetatm) continue;
    const std::string& id = structure.name(a.chain);
    if (listed.empty() || listed.back() != id) listed.push_back(id);
    one_character = one_character && id.size() == 1 && id != ",";
    no_blank = no_blank && !id.empty() && id.find_first_of(", ") == std::string::npos;
  }
  if (one_character || no_blank) CHECK(chains == listed);

  RunSettings settings;
  settings.explicit_hydrogens = (flags & 4) != 0;
  settings.model_number = (flags >> 3) & 3;
  settings.model_selection = settings.model_number > 0;
  const int chain_choice = (flags >> 5) & 3;
  if (chain_choice != 0 && chain_choice != 3 && !chains.empty()) {
    settings.chain_selection = true;
    settings.chain_underscore = chain_choice == 2;
    settings.chain_ids = join_chain_ids({chains.front()});
  }
  const StructureSelection selection = choose_selection(settings, scan, "fuzz.cif", nullptr, Report{});
  if (selection.model_selection || selection.chain_selection) {
    try {
      structure = select_mmcif_atoms(std::move(structure), selection, settings.explicit_hydrogens,
                                     "fuzz.cif");
    } catch (const Error&) {
      return;  // no such model, or the chains keep no atom
    }
  }
  read_atoms(StructureInMemory(std::move(structure)), settings.explicit_hydrogens);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t flags = data[0];
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  switch (flags & 3) {
    case 0:
      read_mmcif(bytes, flags);
      break;
    case 1:
    case 2: {
      std::string text;
      try {
        text = gunzip(bytes, "fuzz.gz");
      } catch (const Error&) {
        return 0;
      }
      if ((flags & 3) == 1) {
        read_mmcif(text, flags);
      } else {
        read_atoms(StructureInMemory(PdbText{std::move(text), {}}), (flags & 4) != 0);
      }
      break;
    }
    case 3: {
      const std::string text = gunzip(compress(bytes), "fuzz.gz");
      CHECK(text == bytes);
      read_mmcif(text, flags);
      break;
    }
  }
  return 0;
}
