// Missing residues of a structure's chains, from their sequences or from their numbering.
#include "core/sequence_completeness.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <string_view>
#include <utility>

namespace tessel {

namespace {

enum class ResidueKind { other, amino_acid, nucleotide };

// Names of amino acids that alpha-carbon-only models are made of.
constexpr std::array<std::string_view, 22> kAminoAcidNames = {
    "ALA", "ARG", "ASN", "ASP", "CYS", "GLN", "GLU", "GLY", "HIS", "ILE", "LEU",
    "LYS", "MET", "PHE", "PRO", "SER", "THR", "TRP", "TYR", "VAL", "MSE", "UNK"};

bool is_amino_acid_name(std::string_view name) {
  return std::find(kAminoAcidNames.begin(), kAminoAcidNames.end(), name) != kAminoAcidNames.end();
}

// An amino acid has its alpha carbon with N or C (or alone, under an amino-acid name); a
// nucleotide its C4' with P or O3'.
ResidueKind kind_of(const ObservedResidue& r) {
  const ResidueLinkAtoms& a = r.links;
  if (a.ca && (a.n || a.c || is_amino_acid_name(r.name))) return ResidueKind::amino_acid;
  if (a.c4 && (a.p || a.o3)) return ResidueKind::nucleotide;
  return ResidueKind::other;
}

bool within(const ResidueLinkAtoms::Position& u, const ResidueLinkAtoms::Position& v,
            double limit) {
  const double dx = (*u)[0] - (*v)[0];
  const double dy = (*u)[1] - (*v)[1];
  const double dz = (*u)[2] - (*v)[2];
  return dx * dx + dy * dy + dz * dz <= limit * limit;
}

double mean_atoms(long long atoms, int residues) {
  return static_cast<double>(atoms) / residues;
}

// The share of atoms missing; `mean` atoms per residue, 0 when unknown.
std::optional<double> atom_share(int missing, double mean, long long present) {
  if (!(mean > 0)) return std::nullopt;
  const double lost = missing * mean;
  if (lost + static_cast<double>(present) <= 0) return std::nullopt;
  return lost / (lost + static_cast<double>(present));
}

// Whether each residue belongs to the chain's polymer: an amino acid or nucleotide written as
// ATOM, or written as HETATM and bonded to a neighbour (a modified residue); a HETATM residue
// bonded to none is a ligand that happens to look like one.
std::vector<bool> polymer_members(const std::vector<ObservedResidue>& all) {
  std::vector<bool> member(all.size(), false);
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (kind_of(all[i]) == ResidueKind::other) continue;
    member[i] = !all[i].hetero || (i > 0 && residues_joined(all[i - 1], all[i])) ||
                (i + 1 < all.size() && residues_joined(all[i], all[i + 1]));
  }
  return member;
}

// --- chains without a sequence: gaps in the numbering ---

ChainCompleteness numbering_gaps(const ChainResidues& chain) {
  const std::vector<ObservedResidue>& all = chain.residues;
  const std::vector<bool> member = polymer_members(all);
  std::vector<std::size_t> polymer;
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (member[i]) polymer.push_back(i);
  }

  ChainCompleteness result;
  result.chain_id = chain.chain_id;
  long long atoms = 0;
  for (std::size_t i : polymer) atoms += all[i].atoms;
  for (std::size_t k = 1; k < polymer.size(); ++k) {
    const ObservedResidue& a = all[polymer[k - 1]];
    const ObservedResidue& b = all[polymer[k]];
    if (kind_of(a) != kind_of(b)) continue;
    const long long jump = static_cast<long long>(b.number) - a.number - 1;
    if (jump <= 0 || jump > INT_MAX || residues_joined(a, b)) continue;
    MissingRange range;
    range.first_number = a.number + 1;
    range.last_number = b.number - 1;
    range.count = static_cast<int>(jump);
    result.ranges.push_back(range);
    result.missing += range.count;
  }
  if (!polymer.empty()) {
    result.missing_atom_share =
        atom_share(result.missing, mean_atoms(atoms, static_cast<int>(polymer.size())), atoms);
  }
  return result;
}

// --- chains with a sequence: global alignment ---

// Scores of the alignment. A residue present is matched to a sequence position of the same
// name (or, worse, of another name), or left out as not in the sequence; runs of sequence
// positions without a residue cost by where they open.
constexpr int kMatch = 4;
constexpr int kMismatch = -4;
constexpr int kExtraResidue = -8;
constexpr int kOpenAtEnd = 0;        // before the first or after the last residue present
constexpr int kOpenAtJump = -1;      // where the numbering jumps
constexpr int kOpenInRun = -8;       // between residues numbered one after the other
constexpr int kOpenAtBond = -24;     // between bonded residues
constexpr int kNone = INT_MIN / 4;

// States of a cell: the last step aligned a residue to a position, left a position without a
// residue, or left a residue out.
enum State : std::uint8_t { kAligned = 0, kMissing = 1, kExtra = 2 };

struct Cell {
  int score[3] = {kNone, kNone, kNone};
};

State best_of(const Cell& c) {
  State s = kAligned;
  if (c.score[kMissing] > c.score[s]) s = kMissing;
  if (c.score[kExtra] > c.score[s]) s = kExtra;
  return s;
}

// For each sequence position the index of the residue aligned to it, or -1.
std::vector<int> align(std::span<const std::string> sequence,
                       std::span<const ObservedResidue* const> present) {
  const std::size_t n = sequence.size();
  const std::size_t m = present.size();
  // Cost of a missing run that opens before residue i (0 <= i <= m).
  std::vector<int> open(m + 1, kOpenAtEnd);
  for (std::size_t i = 1; i < m; ++i) {
    const ObservedResidue& a = *present[i - 1];
    const ObservedResidue& b = *present[i];
    if (residues_joined(a, b)) open[i] = kOpenAtBond;
    else if (static_cast<long long>(b.number) - a.number > 1) open[i] = kOpenAtJump;
    else open[i] = kOpenInRun;
  }

  // Per cell two bits for each state: the state of the cell the step came from.
  std::vector<std::uint8_t> from((m + 1) * (n + 1), 0);
  std::vector<Cell> previous(n + 1), current(n + 1);
  for (std::size_t i = 0; i <= m; ++i) {
    for (std::size_t j = 0; j <= n; ++j) {
      Cell c;
      std::uint8_t bits = 0;
      if (i == 0 && j == 0) {
        c.score[kAligned] = 0;  // the start
      }
      if (i > 0 && j > 0) {
        const Cell& d = previous[j - 1];
        const State s = best_of(d);
        const int step = present[i - 1]->name == sequence[j - 1] ? kMatch : kMismatch;
        c.score[kAligned] = d.score[s] + step;
        bits |= static_cast<std::uint8_t>(s);
      }
      if (j > 0) {
        const Cell& l = current[j - 1];
        State s = kAligned;
        int best = l.score[kAligned] + open[i];
        if (l.score[kMissing] > best) { s = kMissing; best = l.score[kMissing]; }
        if (l.score[kExtra] + open[i] > best) { s = kExtra; best = l.score[kExtra] + open[i]; }
        c.score[kMissing] = std::max(best, kNone);
        bits |= static_cast<std::uint8_t>(s << 2);
      }
      if (i > 0) {
        const Cell& u = previous[j];
        const State s = best_of(u);
        c.score[kExtra] = std::max(u.score[s] + kExtraResidue, kNone);
        bits |= static_cast<std::uint8_t>(s << 4);
      }
      current[j] = c;
      from[i * (n + 1) + j] = bits;
    }
    std::swap(previous, current);
  }

  std::vector<int> aligned(n, -1);
  std::size_t i = m, j = n;
  State s = best_of(previous[n]);
  while (i > 0 || j > 0) {
    const std::uint8_t bits = from[i * (n + 1) + j];
    const State next = static_cast<State>((bits >> (2 * s)) & 3u);
    if (s == kAligned) {
      aligned[j - 1] = static_cast<int>(i - 1);
      --i;
      --j;
    } else if (s == kMissing) {
      --j;
    } else {
      --i;
    }
    s = next;
  }
  return aligned;
}

// The residue numbers of positions first..last (0-based) from the residues aligned next to
// them: each neighbour without an insertion code implies them, and two must agree.
void imply_numbers(MissingRange& range, const ObservedResidue* before,
                   const ObservedResidue* after) {
  const int count = range.count;
  std::optional<long long> first;
  if (before && before->insertion_code == ' ') first = static_cast<long long>(before->number) + 1;
  if (after && after->insertion_code == ' ') {
    const long long from_after = static_cast<long long>(after->number) - count;
    if (before && (!first || *first != from_after)) return;
    first = from_after;
  } else if (after) {
    return;
  }
  if (!first) return;
  const long long last = *first + count - 1;
  if (*first < INT_MIN || last > INT_MAX) return;
  range.first_number = static_cast<int>(*first);
  range.last_number = static_cast<int>(last);
}

ChainCompleteness sequence_gaps(const ChainResidues& chain, double fallback_mean) {
  // The residues present: the polymer's, and any named in the sequence.
  const std::vector<bool> member = polymer_members(chain.residues);
  std::vector<const ObservedResidue*> present;
  for (std::size_t i = 0; i < chain.residues.size(); ++i) {
    const ObservedResidue& r = chain.residues[i];
    if (member[i] || std::find(chain.sequence.begin(), chain.sequence.end(), r.name) !=
                         chain.sequence.end())
      present.push_back(&r);
  }

  ChainCompleteness result;
  result.chain_id = chain.chain_id;
  result.from_sequence = true;
  result.sequence_length = static_cast<int>(chain.sequence.size());
  const std::vector<int> aligned = align(chain.sequence, present);

  long long atoms = 0;
  int matched = 0;
  for (int k : aligned) {
    if (k < 0) continue;
    atoms += present[static_cast<std::size_t>(k)]->atoms;
    ++matched;
  }
  for (std::size_t j = 0; j < aligned.size();) {
    if (aligned[j] >= 0) {
      ++j;
      continue;
    }
    std::size_t end = j;
    while (end < aligned.size() && aligned[end] < 0) ++end;
    MissingRange range;
    range.first_position = static_cast<int>(j) + 1;
    range.last_position = static_cast<int>(end);
    range.count = static_cast<int>(end - j);
    const ObservedResidue* before = j > 0 ? present[static_cast<std::size_t>(aligned[j - 1])] : nullptr;
    const ObservedResidue* after =
        end < aligned.size() ? present[static_cast<std::size_t>(aligned[end])] : nullptr;
    imply_numbers(range, before, after);
    result.ranges.push_back(range);
    result.missing += range.count;
    j = end;
  }
  const double mean = matched > 0 ? mean_atoms(atoms, matched) : fallback_mean;
  result.missing_atom_share = atom_share(result.missing, mean, atoms);
  return result;
}

bool fits_alignment(const ChainResidues& chain) {
  const std::size_t rows = chain.residues.size() + 1;
  const std::size_t columns = chain.sequence.size() + 1;
  // The bounds also keep every score far from the range of int.
  return chain.sequence.size() <= kMaxAlignedSequence &&
         chain.residues.size() <= kMaxAlignedSequence && columns <= kMaxAlignmentCells / rows;
}

}  // namespace

bool residues_joined(const ObservedResidue& a, const ObservedResidue& b) {
  const ResidueLinkAtoms& u = a.links;
  const ResidueLinkAtoms& v = b.links;
  if (u.c && v.n) return within(u.c, v.n, kMaxLinkBond);
  if (u.o3 && v.p) return within(u.o3, v.p, kMaxLinkBond);
  if (u.ca && v.ca && kind_of(a) == ResidueKind::amino_acid &&
      kind_of(b) == ResidueKind::amino_acid)
    return within(u.ca, v.ca, kMaxAlphaCarbonStep);
  return false;
}

std::vector<ChainResidues> attach_sequences(std::vector<ChainResidues> observed,
                                            std::span<const ChainSequence> sequences,
                                            bool add_unobserved) {
  for (const ChainSequence& s : sequences) {
    auto it = std::find_if(observed.begin(), observed.end(),
                           [&s](const ChainResidues& c) { return c.chain_id == s.chain_id; });
    if (it != observed.end()) {
      it->sequence.insert(it->sequence.end(), s.residues.begin(), s.residues.end());
    } else if (add_unobserved) {
      observed.push_back(ChainResidues{s.chain_id, s.residues, {}});
    }
  }
  return observed;
}

CompletenessReport assess_completeness(std::span<const ChainResidues> chains,
                                       std::string sequence_record) {
  // The mean atoms per residue of all chains, for a chain with a sequence and no residue.
  long long atoms = 0;
  int residues = 0;
  for (const ChainResidues& chain : chains) {
    for (const ObservedResidue& r : chain.residues) {
      if (kind_of(r) == ResidueKind::other) continue;
      atoms += r.atoms;
      ++residues;
    }
  }
  const double fallback_mean = residues > 0 ? mean_atoms(atoms, residues) : 0.0;

  CompletenessReport report;
  report.sequence_record = std::move(sequence_record);
  for (const ChainResidues& chain : chains) {
    ChainCompleteness c = !chain.sequence.empty() && fits_alignment(chain)
                              ? sequence_gaps(chain, fallback_mean)
                              : numbering_gaps(chain);
    if (c.missing > 0) report.chains.push_back(std::move(c));
  }
  return report;
}

}  // namespace tessel
