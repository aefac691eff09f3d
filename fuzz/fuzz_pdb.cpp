// Fuzz target: the structure reader and the atom typing on arbitrary text held in memory.
// The first byte chooses the switches (explicit hydrogens, old atom naming, O2* naming and the
// line length of a second reader); the rest is the file.
//
// Besides crashes and sanitizer reports it checks what the readers promise each other:
//  - LineReader gives the lines a plain split at '\n' gives (a '\r' before the '\n' removed,
//    lines cut to the reader's length);
//  - the pre-pass counts exactly the atoms the record stream hands out;
//  - every record is 80 columns and carries the next file line (at most 80 columns);
//  - the typing gives a type in 1..108;
//  - the completeness check reports no more residues missing than a sequence has, ranges
//    that add up to the count, and shares between 0 and 1.
// A run stopped on an unreadable line (tessel::Error) is an expected outcome.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "core/errors.hpp"
#include "core/sequence_completeness.hpp"
#include "io/atom_typing.hpp"
#include "io/completeness_warning.hpp"
#include "io/pdb_completeness.hpp"
#include "io/pdb_line.hpp"
#include "io/pdb_reader.hpp"
#include "io/pdb_selection.hpp"
#include "fuzz_check.hpp"

namespace {

using namespace tessel;

// The lines of `text` split at '\n', one '\r' before the line end removed, each cut to
// `max_length` characters (a '\r' left at the cut may go too: the line was longer anyway).
std::vector<std::string> reference_lines(std::string_view text, std::size_t max_length) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (line.size() <= max_length && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line.substr(0, max_length));
    start = end + 1;
  }
  return lines;
}

bool same_line(const std::string& got, const std::string& expected, std::size_t max_length) {
  if (got == expected) return true;
  return expected.size() == max_length && !expected.empty() && expected.back() == '\r' &&
         got == std::string_view(expected).substr(0, max_length - 1);
}

void check_line_reader(std::string_view text, std::size_t max_length) {
  std::istringstream in{std::string(text)};
  LineReader reader(in, max_length);
  const std::vector<std::string> expected = reference_lines(text, max_length);
  std::string line;
  std::size_t k = 0;
  while (reader.next(line)) {
    CHECK(k < expected.size());
    CHECK(same_line(line, expected[k], max_length));
    ++k;
  }
  CHECK(k == expected.size());
}

void parse_each_line(std::string_view text) {
  std::istringstream in{std::string(text)};
  LineReader reader(in);
  std::string line;
  while (reader.next(line)) {
    (void)classify_atom_line(line, false);
    (void)record_element_code(line);
    (void)element_code(line);
    try {
      const std::optional<AtomRecord> record = parse_atom_line(line);
      CHECK(record.has_value() == is_atom_line(line));
      if (record) CHECK(record->record.size() == kPdbRecordLength);
    } catch (const Error&) {
    }
  }
}

long long prepass_atoms(std::string_view text, bool explicit_hydrogens) {
  std::istringstream in{std::string(text)};
  try {
    return compute_prepass(in, explicit_hydrogens).atoms;
  } catch (const Error&) {
    return -1;
  }
}

void stream_and_type(std::string_view text, const TypingOptions& options, long long prepass) {
  std::istringstream in{std::string(text)};
  AtomStream stream(in, options.explicit_hydrogens);
  AtomTyper typer(options);
  std::vector<AtomRecord> batch;
  long long atoms = 0;
  try {
    while (stream.next_batch(batch)) {
      CHECK(batch.size() <= kAtomBatchSize);
      for (const AtomRecord& atom : batch) {
        CHECK(atom.record.size() == kPdbRecordLength);
        CHECK(atom.next_line.size() <= kPdbRecordLength);
        const TypingResult typed = typer.type_atom(atom);
        CHECK(typed.atom.type >= 1 && typed.atom.type <= 108);
        ++atoms;
      }
    }
  } catch (const Error&) {
    return;  // an unreadable residue number or coordinates stop the run
  }
  (void)composition_report(typer.composition());
  (void)unknown_atoms_summary(typer.composition().unknown_atoms);
  // The pre-pass stops on the same unreadable coordinates, so when it failed and the stream
  // did not, it failed for want of atoms.
  CHECK(atoms == (prepass >= 0 ? prepass : 0));
}

void check_completeness(std::string_view text, bool explicit_hydrogens) {
  std::istringstream in{std::string(text)};
  const std::vector<ChainSequence> sequences = read_seqres(in);
  std::istringstream atoms{std::string(text)};
  const std::vector<ChainResidues> chains =
      attach_sequences(read_model_residues(atoms, explicit_hydrogens), sequences, true);
  const CompletenessReport report = assess_completeness(chains, "SEQRES");
  for (const ChainCompleteness& c : report.chains) {
    int sum = 0;
    for (const MissingRange& r : c.ranges) sum += r.count;
    CHECK(sum == c.missing && c.missing > 0);
    CHECK(!c.from_sequence || c.missing <= c.sequence_length);
    CHECK(!c.missing_atom_share || (*c.missing_atom_share >= 0 && *c.missing_atom_share <= 1));
  }
  (void)completeness_warning_lines(report);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t flags = data[0];
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  TypingOptions options;
  options.explicit_hydrogens = (flags & 1) != 0;
  options.naming = (flags & 2) != 0 ? AtomNaming::Old : AtomNaming::New;
  options.model_has_o2_star = (flags & 4) != 0;
  const std::size_t short_length = 1 + (flags >> 3);  // 1..32 columns

  check_line_reader(text, kMaxPdbLineLength);
  check_line_reader(text, short_length);
  parse_each_line(text);

  std::istringstream scan_in{std::string(text)};
  const ScanResult scan = scan_structure(scan_in);
  CHECK(scan.model_count >= 0 && scan.chains.size() <= kMaxChainEntries);

  const long long prepass = prepass_atoms(text, options.explicit_hydrogens);
  stream_and_type(text, options, prepass);
  check_completeness(text, options.explicit_hydrogens);
  return 0;
}
