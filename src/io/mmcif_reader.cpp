// The atoms and polymer sequences of an mmCIF file, parsed with gemmi's CIF grammar and actions
// of our own that keep only the atom columns the program uses, and the sequence tables whole. Compiled as C++17 (see CMakeLists.txt).
#include "io/mmcif_reader.hpp"

#include <gemmi/cif.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <optional>
#include <unordered_map>

#include "core/errors.hpp"
#include "core/trim.hpp"
#include "io/gzip_input.hpp"
#include "io/mmcif_sequences.hpp"
#include "io/pdb_line.hpp"

namespace tessel {

namespace {

namespace pegtl = tao::pegtl;
namespace rules = gemmi::cif::rules;

// The _atom_site columns read (tags after "_atom_site.", matched without regard to case).
enum AtomColumn : int {
  kGroup, kId, kTypeSymbol, kLabelAtom, kAuthAtom, kLabelAlt, kLabelComp, kAuthComp, kLabelAsym,
  kAuthAsym, kLabelSeq, kAuthSeq, kInsertionCode, kX, kY, kZ, kOccupancy, kBFactor, kModel,
  kAtomColumns
};
constexpr std::array<std::string_view, kAtomColumns> kAtomTags{
    "group_PDB",    "id",           "type_symbol",   "label_atom_id",     "auth_atom_id",
    "label_alt_id", "label_comp_id", "auth_comp_id", "label_asym_id",     "auth_asym_id",
    "label_seq_id", "auth_seq_id",  "pdbx_PDB_ins_code", "Cartn_x",       "Cartn_y",
    "Cartn_z",      "occupancy",    "B_iso_or_equiv", "pdbx_PDB_model_num"};


constexpr std::string_view kAtomSitePrefix = "_atom_site.";
// The tables mmcif_sequences() reads, kept whole (they are as long as the sequences).
constexpr std::array<std::string_view, 3> kSequencePrefixes{
    "_pdbx_poly_seq_scheme.", "_entity_poly.", "_entity_poly_seq."};
// Small-molecule CIF names its atom sites "_atom_site_label", "_atom_site_fract_x", ...
constexpr std::string_view kSmallMoleculePrefix = "_atom_site_";

enum class Category { Other, AtomSite, Sequence };

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool equals_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

bool begins_with(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// CIF's null values: '?' (unknown) and '.' (not applicable), when not quoted.
bool is_null(std::string_view raw) { return raw == "?" || raw == "."; }

// A value without its quotes, or a text field without its delimiting lines.
std::string_view unquoted(std::string_view raw) {
  if (raw.size() >= 2 && (raw.front() == '\'' || raw.front() == '"'))
    return raw.substr(1, raw.size() - 2);
  if (raw.size() >= 2 && raw.front() == ';') return trim(raw.substr(1, raw.size() - 2), " \t\r\n");
  return raw;
}

// A number with an optional standard uncertainty in parentheses ("12.345(6)").
std::optional<double> read_real(std::string_view raw) {
  std::string_view v = unquoted(raw);
  if (!v.empty() && v.back() == ')') {
    const auto open = v.find('(');
    if (open == std::string_view::npos) return std::nullopt;
    v = v.substr(0, open);
  }
  if (!v.empty() && v.front() == '+') v.remove_prefix(1);
  double value = 0;
  const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), value);
  if (v.empty() || ec != std::errc() || end != v.data() + v.size() || !std::isfinite(value))
    return std::nullopt;
  return value;
}

std::optional<std::int32_t> read_integer(std::string_view raw) {
  std::string_view v = unquoted(raw);
  if (!v.empty() && v.front() == '+') v.remove_prefix(1);
  std::int32_t value = 0;
  const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), value);
  if (v.empty() || ec != std::errc() || end != v.data() + v.size()) return std::nullopt;
  return value;
}

// Names stored once; the last one looked up is remembered, since neighbouring rows mostly
// repeat their residue and chain.
class NamePool {
 public:
  explicit NamePool(std::vector<std::string>& names) : names_(names) {}

  std::uint32_t id(std::string_view name) {
    const auto [it, added] = index_.emplace(std::string(name), static_cast<std::uint32_t>(names_.size()));
    if (added) names_.emplace_back(name);
    return it->second;
  }

 private:
  std::vector<std::string>& names_;
  std::unordered_map<std::string, std::uint32_t> index_;
};

// A pooled field of consecutive rows: the pool is asked only when the name changes.
struct LastName {
  std::string_view text;
  std::uint32_t id = 0;
  bool valid = false;

  std::uint32_t get(std::string_view name, NamePool& pool) {
    if (!valid || name != text) {
      text = name;
      id = pool.id(name);
      valid = true;
    }
    return id;
  }
};

class MmcifParser {
 public:
  explicit MmcifParser(std::string_view file_name) : file_name_(file_name), pool_(out_.names) {}

  void begin_block() {
    flush_items();
    if (atom_site_block_ >= 0) {
      done_ = true;  // the atoms came from an earlier block
    } else {
      sequences_ = gemmi::cif::Block();
    }
    ++block_;
  }

  void begin_loop() {
    category_ = Category::Other;
    tags_ = 0;
    values_ = 0;
    position_ = 0;
    columns_.clear();
    has_.fill(false);
  }

  void loop_tag(std::string_view tag) {
    const std::string t = lower(tag);
    if (tags_ == 0) {
      first_tag_ = std::string(tag);
      category_ = category_of(t);
      if (category_ == Category::AtomSite) {
        if (atom_site_block_ == block_) fail_at(0, "more than one _atom_site table");
        atom_site_block_ = block_;
      } else if (category_ == Category::Sequence) {
        sequences_.items.emplace_back(gemmi::cif::LoopArg{});
      }
    }
    ++tags_;
    if (category_ == Category::Sequence) {
      sequences_.items.back().loop.tags.emplace_back(tag);
      return;
    }
    const int column = column_of(category_, t);
    columns_.push_back(column);
    if (column >= 0) has_[static_cast<std::size_t>(column)] = true;
  }

  void loop_value(std::string_view raw, std::size_t line) {
    ++values_;
    last_line_ = line;
    if (category_ == Category::Other) return;
    if (category_ == Category::Sequence) {
      sequences_.items.back().loop.values.emplace_back(raw);
      return;
    }
    if (position_ == 0) {
      row_line_ = line;
      if (values_ == 1 && category_ == Category::AtomSite) require_atom_columns();
    }
    const int column = columns_[position_];
    if (column >= 0) row_[static_cast<std::size_t>(column)] = raw;
    if (++position_ == tags_) {
      position_ = 0;
      commit_atom();
    }
  }

  void end_loop() {
    if (tags_ > 0 && values_ % tags_ != 0) {
      fail_at(last_line_, "the table of " + first_tag_ +
                              " ends in the middle of a row (the file may be truncated)");
    }
    category_ = Category::Other;
  }

  void item_tag(std::string_view tag, std::size_t line) {
    const std::string t = lower(tag);
    item_column_ = -1;
    sequence_item_ = !done_ && is_sequence_tag(t);
    if (sequence_item_) sequences_.items.emplace_back(std::string(tag));
    if (begins_with(t, kSmallMoleculePrefix)) small_molecule_sites_ = true;
    if (done_ || !begins_with(t, kAtomSitePrefix) || atom_site_block_ == block_) return;
    item_column_ = column_of(Category::AtomSite, t);
    if (!items_present_) item_line_ = line;
    items_present_ = true;
  }

  void item_value(std::string_view raw) {
    if (sequence_item_) sequences_.items.back().pair[1] = std::string(raw);
    if (item_column_ < 0) return;
    item_row_[static_cast<std::size_t>(item_column_)] = raw;
    item_has_[static_cast<std::size_t>(item_column_)] = true;
  }

  MmcifStructure finish() {
    flush_items();
    if (atom_site_block_ < 0) {
      fail(small_molecule_sites_
               ? "no _atom_site table with Cartesian coordinates (a small-molecule CIF?)"
               : "no _atom_site table (no atoms)");
    }
    if (out_.atoms.empty()) fail("the _atom_site table has no rows");
    out_.sequences = mmcif_sequences(sequences_);
    return std::move(out_);
  }

  [[noreturn]] void fail(const std::string& problem) const {
    throw Error(" Error -- Cannot read mmCIF file " + std::string(file_name_) + ": " + problem, 1);
  }
  [[noreturn]] void fail_at(std::size_t line, const std::string& problem) const {
    fail(line > 0 ? "line " + std::to_string(line) + ": " + problem : problem);
  }

 private:
  Category category_of(const std::string& tag) {
    if (begins_with(tag, kSmallMoleculePrefix)) small_molecule_sites_ = true;
    if (done_) return Category::Other;
    if (begins_with(tag, kAtomSitePrefix)) return Category::AtomSite;
    if (is_sequence_tag(tag)) return Category::Sequence;
    return Category::Other;
  }

  static bool is_sequence_tag(const std::string& tag) {
    return std::any_of(kSequencePrefixes.begin(), kSequencePrefixes.end(),
                       [&](std::string_view prefix) { return begins_with(tag, prefix); });
  }

  static int column_of(Category category, const std::string& tag) {
    const auto find = [&](auto& tags, std::string_view prefix) {
      if (!begins_with(tag, prefix)) return -1;
      const std::string_view rest = std::string_view(tag).substr(prefix.size());
      const auto it = std::find_if(tags.begin(), tags.end(),
                                   [&](std::string_view t) { return equals_ignoring_case(t, rest); });
      return it == tags.end() ? -1 : static_cast<int>(it - tags.begin());
    };
    if (category == Category::AtomSite) return find(kAtomTags, kAtomSitePrefix);
    return -1;
  }

  void require_atom_columns() const {
    for (const AtomColumn c : {kTypeSymbol, kX, kY, kZ}) {
      if (!has_[c]) fail("no _atom_site." + std::string(kAtomTags[c]) + " column");
    }
    if (!has_[kAuthAtom] && !has_[kLabelAtom])
      fail("no _atom_site.auth_atom_id or label_atom_id column");
  }

  // The value of the first of two columns that is present and not null; empty without either.
  std::string_view pick(int first, int second) const {
    for (const int c : {first, second}) {
      const auto i = static_cast<std::size_t>(c);
      if (has_[i] && !is_null(row_[i])) return unquoted(row_[i]);
    }
    return {};
  }

  double coordinate(AtomColumn c) const {
    const std::string_view raw = row_[c];
    const std::optional<double> v = is_null(raw) ? std::nullopt : read_real(raw);
    if (!v) {
      fail_at(row_line_, "_atom_site." + std::string(kAtomTags[c]) + " is no number ('" +
                             std::string(raw.substr(0, 40)) + "')");
    }
    if (!(std::abs(*v) < kCoordinateLimit)) {
      fail_at(row_line_, "_atom_site." + std::string(kAtomTags[c]) + " " + std::string(raw) +
                             " is out of range (1e5 Å or more)");
    }
    return *v;
  }

  void commit_atom() {
    MmcifAtom a;
    a.x = coordinate(kX);
    a.y = coordinate(kY);
    a.z = coordinate(kZ);
    a.hetatm = has_[kGroup] && equals_ignoring_case(unquoted(row_[kGroup]), "hetatm");
    if (has_[kId]) a.serial = read_integer(row_[kId]).value_or(0);
    if (has_[kOccupancy]) a.occupancy = static_cast<float>(read_real(row_[kOccupancy]).value_or(0));
    if (has_[kBFactor]) a.b_factor = static_cast<float>(read_real(row_[kBFactor]).value_or(0));

    // The element in upper case, right-aligned in two characters ("Fe" -> "FE", "C" -> " C").
    std::string symbol;
    if (!is_null(row_[kTypeSymbol])) {
      for (const char c : unquoted(row_[kTypeSymbol])) {
        if (!std::isalpha(static_cast<unsigned char>(c))) break;
        if (symbol.size() < 2) symbol.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
      }
    }
    if (symbol.size() == 2) a.element = {symbol[0], symbol[1]};
    else if (symbol.size() == 1) a.element = {' ', symbol[0]};

    a.atom_name = atom_name_.get(pick(kAuthAtom, kLabelAtom), pool_);
    a.residue_name = residue_name_.get(pick(kAuthComp, kLabelComp), pool_);
    // A chain without id is the blank chain, as in a PDB file's column 22.
    const std::string_view chain = pick(kAuthAsym, kLabelAsym);
    a.chain = chain_.get(chain.empty() ? std::string_view(" ") : chain, pool_);

    const std::string_view number = pick(kAuthSeq, kLabelSeq);
    if (!number.empty()) {
      const auto n = read_integer(number);
      if (!n) fail_at(row_line_, "the residue number '" + std::string(number.substr(0, 40)) +
                                     "' is no whole number");
      a.residue_number = *n;
    }
    if (has_[kLabelAlt] && !is_null(row_[kLabelAlt])) {
      const std::string_view alt = unquoted(row_[kLabelAlt]);
      a.alt_loc = alt.size() == 1 ? alt[0] : '?';
    }
    if (has_[kInsertionCode] && !is_null(row_[kInsertionCode])) {
      const std::string_view code = unquoted(row_[kInsertionCode]);
      if (!code.empty()) a.insertion_code = code[0];
    }
    if (has_[kModel]) {
      if (out_.model_blocks == 0 || row_[kModel] != last_model_) ++out_.model_blocks;
      last_model_ = row_[kModel];
    } else {
      out_.model_blocks = 1;
    }
    a.model = out_.model_blocks - 1;
    out_.atoms.push_back(a);
  }

  // Single _atom_site items of the block ended: a structure of one atom.
  void flush_items() {
    if (!items_present_) return;
    items_present_ = false;
    if (atom_site_block_ >= 0) return;
    atom_site_block_ = block_;
    category_ = Category::AtomSite;
    row_ = item_row_;
    has_ = item_has_;
    row_line_ = item_line_;
    require_atom_columns();
    commit_atom();
    category_ = Category::Other;
  }

  std::string_view file_name_;
  MmcifStructure out_;
  NamePool pool_;
  LastName atom_name_, residue_name_, chain_;
  std::string_view last_model_;
  gemmi::cif::Block sequences_;  // the sequence tables of the block being read

  int block_ = -1;
  int atom_site_block_ = -1;  // the block the atoms came from
  bool done_ = false;         // past that block
  bool small_molecule_sites_ = false;

  // The loop being read.
  Category category_ = Category::Other;
  std::string first_tag_;
  std::size_t tags_ = 0;
  std::size_t values_ = 0;
  std::size_t position_ = 0;  // of the next value within its row
  std::vector<int> columns_;  // per tag: the column read, or -1
  std::array<bool, kAtomColumns> has_{};
  std::array<std::string_view, kAtomColumns> row_{};
  std::size_t row_line_ = 0;
  std::size_t last_line_ = 0;

  // Single items of the block.
  bool sequence_item_ = false;
  int item_column_ = -1;
  bool items_present_ = false;
  std::size_t item_line_ = 0;
  std::array<bool, kAtomColumns> item_has_{};
  std::array<std::string_view, kAtomColumns> item_row_{};
};

template <typename Input>
std::string_view matched(const Input& in) {
  return std::string_view(in.begin(), in.size());
}

template <typename Rule>
struct Action : pegtl::nothing<Rule> {};

template <>
struct Action<rules::datablockname> {
  template <typename Input>
  static void apply(const Input&, MmcifParser& p) { p.begin_block(); }
};
template <>
struct Action<rules::str_global> {
  template <typename Input>
  static void apply(const Input&, MmcifParser& p) { p.begin_block(); }
};
template <>
struct Action<rules::str_loop> {
  template <typename Input>
  static void apply(const Input&, MmcifParser& p) { p.begin_loop(); }
};
template <>
struct Action<rules::loop_tag> {
  template <typename Input>
  static void apply(const Input& in, MmcifParser& p) { p.loop_tag(matched(in)); }
};
template <>
struct Action<rules::loop_value> {
  template <typename Input>
  static void apply(const Input& in, MmcifParser& p) { p.loop_value(matched(in), in.iterator().line); }
};
template <>
struct Action<rules::loop> {
  template <typename Input>
  static void apply(const Input&, MmcifParser& p) { p.end_loop(); }
};
template <>
struct Action<rules::item_tag> {
  template <typename Input>
  static void apply(const Input& in, MmcifParser& p) { p.item_tag(matched(in), in.iterator().line); }
};
template <>
struct Action<rules::item_value> {
  template <typename Input>
  static void apply(const Input& in, MmcifParser& p) { p.item_value(matched(in)); }
};
template <>
struct Action<rules::missing_value> {
  template <typename Input>
  static void apply(const Input& in, MmcifParser& p) { p.fail_at(in.iterator().line, "a tag without value"); }
};

}  // namespace

MmcifStructure parse_mmcif(std::string_view text, std::string_view file_name) {
  MmcifParser parser(file_name);
  pegtl::memory_input<> in(text.data(), text.size(), std::string(file_name));
  bool parsed = false;
  try {
    parsed = pegtl::parse<rules::file, Action, gemmi::cif::Errors>(in, parser);
  } catch (const pegtl::parse_error& e) {
    const std::size_t line = e.positions().empty() ? 0 : e.positions().front().line;
    parser.fail_at(line, "syntax error (" + std::string(e.message()) + ")");
  }
  if (!parsed) parser.fail("no data block (the file is empty or no CIF file)");
  return parser.finish();
}

MmcifStructure read_mmcif_file(const std::filesystem::path& file, bool gzip) {
  const std::string text = read_structure_bytes(file, gzip);
  return parse_mmcif(text, file.string());
}

}  // namespace tessel
