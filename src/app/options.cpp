// Batch-mode command line: tables, parser, value checks, dispatch into the run settings,
// and the help and version texts.
#include "app/options.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <system_error>
#include <utility>
#include <vector>

#include "core/errors.hpp"
#include "core/trim.hpp"
#include "io/chain_ids.hpp"
#include "io/fortran_format.hpp"
#include "io/version_texts.hpp"

namespace tessel {

namespace {

std::string quoted(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out.append(1, '\'').append(text).append(1, '\'');
  return out;
}

}  // namespace

[[noreturn]] void die(std::string_view message) {
  throw FatalStop(std::string(trim_right(message)));
}

// ---------------------------------------------------------------------------------------------
// Tables

namespace {
using namespace option_code;
using value_kind::kNone;
using value_kind::kOptional;
using value_kind::kRequired;
}  // namespace

// long name, short letter, value kind, code, help, value name
constexpr std::array<OptionSpec, 40> kOptionTable = {{
    {"lm", ' ', kRequired, kHarmonicOrder, "", ""},
    {"lmax", ' ', kRequired, kHarmonicOrder, "", ""},
    {"fb", ' ', kRequired, kFibonacciOrder, "", ""},
    {"fibonacci", ' ', kRequired, kFibonacciOrder, "", ""},
    {"ns", ' ', kRequired, kPoints, "", ""},
    {"npoints", ' ', kRequired, kPoints, "", ""},
    {"un", ' ', kRequired, kUnits, "", ""},
    {"units", ' ', kRequired, kUnits, "", ""},
    {"sm", ' ', kRequired, kSMax, "", ""},
    {"smax", ' ', kRequired, kSMax, "", ""},
    {"dns", ' ', kRequired, kSolventDensity, "", ""},
    {"solvent", ' ', kRequired, kSolventDensity, "", ""},
    {"dro", ' ', kRequired, kShellContrast, "", ""},
    {"shell", ' ', kRequired, kShellContrast, "", ""},
    {"kp", ' ', kNone, kKeep, "", ""},
    {"nosmy", ' ', kNone, kNoSummary, "", ""},
    {"keep", ' ', kNone, kKeep, "", ""},
    {"cst", ' ', kNone, kSubtractConstant, "", ""},
    {"constant-subtraction", ' ', kNone, kSubtractConstant, "Subtract constant (default no)", ""},
    {"eh", ' ', kNone, kExplicitHydrogens, "", ""},
    {"explicit-hydrogens", ' ', kNone, kExplicitHydrogens, "Account for explicit hydrogens", ""},
    {"err", ' ', kOptional, kErrors, "Write experimental errors to .fit file (default: Y)", "Y|N"},
    {"errors", ' ', kNone, kErrors, "", ""},
    {"def", ' ', kNone, kDefaultParameters, "", ""},
    {"default", ' ', kNone, kDefaultParameters, "", ""},
    {"old", ' ', kNone, kOldNaming, "", ""},
    {"old-format", ' ', kNone, kOldNaming, "", ""},
    {"nmr", ' ', kRequired, kModel, "", ""},
    {"nmr-model", ' ', kRequired, kModel, "", ""},
    {"cid", ' ', kRequired, kChainIds, "", ""},
    {"chain-id", ' ', kRequired, kChainIds, "", ""},
    {"prefix", 'p', kRequired, kPrefix, "Prefix for the output file names", "PREFIX"},
    {"help", 'h', kNone, kHelp, "Print usage information and exit", ""},
    {"version", 'v', kNone, kVersion, "Print version information and exit", ""},
    {"plot", ' ', kRequired, kPlot, "Picture of each fit and prediction (png, svg or pdf)", "FORMAT"},
    {"json", ' ', kNone, kJson, "Record of each job as JSON", ""},
    {"help-extra", ' ', kNone, kHelpExtra, "Print the further long options and exit", ""},
    {"fit", ' ', kRequired, kFitMode, "Search of the solvent parameters (default or extended)", "MODE"},
    {"ensemble", ' ', kNone, kEnsemble, "Every model of the structure files is a member of one ensemble", ""},
    {"mixture", ' ', kRequired, kMixture, "Best mixtures of up to N of the models for the data file", "N"},
}};

namespace {
constexpr ExtraHelpEntry kExtraHelpRows[] = {
    {"--plot FORMAT", "picture of each fit and prediction, png, svg or pdf (base name + .png ...)"},
    {"--json", "record of each job in JSON (base name + .json)"},
    {"--fit MODE", "default or extended (also the shell width, a weaker damping, a free constant)"},
    {"--ensemble", "all models of the structure files as one ensemble: mean curve (.int), spread (.sdv)"},
    {"--mixture N", "best mixtures of 1..N (at most 5) of the models for the data file (.fit, log)"},
    {"--help-extra", "print this list and exit"},
};
}  // namespace

constexpr std::span<const ExtraHelpEntry> kExtraHelp = kExtraHelpRows;

// The help of the single row is kept as stored, cut at 100 characters.
constexpr std::array<ArgumentSpec, 1> kArgumentTable = {{
    {"FILE", argument_kind::kOptionalRepeatable, kInputFile,
     "PDB format file (extension .pdb or .ent), TESSEL save file (extension .sav), or experimental "
     "scatter"},
}};

namespace {

// Field widths of the rows: long and argument names 32, help 100, value names 16 characters.
constexpr bool fits_fields(const OptionSpec& row) {
  return row.long_name.size() <= 32 && row.help.size() <= 100 && row.value_name.size() <= 16;
}
static_assert(std::all_of(kOptionTable.begin(), kOptionTable.end(), fits_fields));
static_assert(kOptionTable[31].long_name == "prefix" && kOptionTable[31].short_letter == 'p' &&
              kOptionTable[31].code == kPrefix);
static_assert(kArgumentTable[0].help.size() == 100 && kArgumentTable[0].name.size() <= 32);

}  // namespace

// ---------------------------------------------------------------------------------------------
// Parser

namespace {

void check_argument_table(std::span<const ArgumentSpec> arguments) {
  using namespace argument_kind;
  bool optional_seen = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const int kind = arguments[i].kind;
    if (kind == 0) die("getopt error: argument with type no_argument");
    if ((kind == kRequired || kind == kRequiredRepeatable) && optional_seen)
      die("getopt error: required argument after optional argument");
    if ((kind == kRequiredRepeatable || kind == kOptionalRepeatable) && i + 1 != arguments.size())
      die("getopt error: multiple argument is not the last argument");
    if (kind < kRequired || kind > kOptionalRepeatable)
      die("getopt error: unrecognised argument type");
    if (kind == kOptional) optional_seen = true;
  }
}

bool is_repeatable(int kind) {
  return kind == argument_kind::kRequiredRepeatable || kind == argument_kind::kOptionalRepeatable;
}

// The spellings of a row: -x, /x (with a short letter), -name, /name and --name.
bool names_row(const OptionSpec& row, std::string_view name) {
  if (name.size() < 2) return false;
  const bool single = name[0] == '-' || name[0] == '/';
  if (single && row.short_letter != ' ' && name.size() == 2 && name[1] == row.short_letter)
    return true;
  if (row.long_name.empty()) return false;
  if (single && name.substr(1) == row.long_name) return true;
  return name.starts_with("--") && name.substr(2) == row.long_name;
}

std::string upper(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

}  // namespace

ParsedItem Getopt::next(std::span<const OptionSpec> options,
                        std::span<const ArgumentSpec> arguments,
                        std::span<const std::string> args) {
  check_argument_table(arguments);
  for (;;) {
    if (next_index_ >= args.size()) {
      if (positional_count_ < arguments.size()) {
        const ArgumentSpec& row = arguments[positional_count_];
        if (row.kind == argument_kind::kRequired || row.kind == argument_kind::kRequiredRepeatable)
          die("error: required argument missing " + upper(row.name));
      }
      return {option_code::kEnd, {}};
    }
    const std::string_view arg = trim_right(args[next_index_++]);

    if (!options_ended_ && arg != "-" && !arg.empty() && (arg[0] == '-' || arg[0] == '/')) {
      if (arg == "--") {
        options_ended_ = true;
        continue;
      }
      const auto equals = arg.find('=');
      const std::string_view name = trim_right(arg.substr(0, equals));
      const auto row = std::find_if(options.begin(), options.end(),
                                    [&](const OptionSpec& r) { return names_row(r, name); });
      if (row != options.end()) {
        const bool inline_value = equals != std::string_view::npos;
        std::string value = inline_value ? std::string(arg.substr(equals + 1)) : std::string();
        switch (row->value_kind) {
          case value_kind::kRequired:
            if (inline_value) return {row->code, std::move(value)};
            if (next_index_ >= args.size())
              die("getopt error: option requires an argument: " + std::string(name));
            return {row->code, std::string(trim_right(args[next_index_++]))};
          case value_kind::kOptional:
            return {row->code, std::move(value)};
          case value_kind::kNone:
            return {row->code, {}};
          default:
            die("getopt error: invalid option specification");
        }
      }
      // A '/' argument that names no option is a path such as /data/lyz.pdb.
      if (arg[0] != '/') die("getopt error: unknown option: " + std::string(name));
    }

    if (arguments.empty()) die("getopt error: this command does not take arguments");
    ++positional_count_;
    if (positional_count_ <= arguments.size())
      return {arguments[positional_count_ - 1].code, std::string(arg)};
    if (is_repeatable(arguments.back().kind)) return {arguments.back().code, std::string(arg)};
    die("getopt error: too many arguments");
  }
}

// ---------------------------------------------------------------------------------------------
// Value checks

namespace {

// A whole number with optional blanks around it and an optional sign.
std::optional<int> read_integer(std::string_view text) {
  text = trim(text);
  if (!text.empty() && text[0] == '+') text.remove_prefix(1);
  if (text.empty() || text[0] == '+') return std::nullopt;
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// A finite real in decimal notation, with optional blanks around it, an optional sign and an
// optional exponent introduced by E or D (either case), as a free-format read takes it.
std::optional<double> read_real(std::string_view text) {
  text = trim(text);
  std::string number;
  std::size_t i = 0;
  auto digits = [&] {
    const std::size_t start = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') number += text[i++];
    return i - start;
  };
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) number += text[i++];
  std::size_t mantissa_digits = digits();
  if (i < text.size() && text[i] == '.') {
    number += text[i++];
    mantissa_digits += digits();
  }
  if (mantissa_digits == 0) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
    number += 'e';
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) number += text[i++];
    if (digits() == 0) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;
  // strtod rounds correctly and lets a tiny value underflow towards zero; the text is plain
  // decimal here, and the program never changes the "C" locale.
  const double value = std::strtod(number.c_str(), nullptr);
  if (!std::isfinite(value)) return std::nullopt;
  return value;
}

[[noreturn]] void die_bound(std::string_view relation, const std::string& bound,
                            std::string_view name, std::string_view value) {
  die("error: expected value " + std::string(relation) + " " + bound + " for option " +
      quoted(name) + ", got " + quoted(value));
}

}  // namespace

namespace validate {

int integer(std::string_view name, std::string_view value, std::optional<int> min,
            std::optional<int> max) {
  const std::optional<int> number = read_integer(value);
  if (!number)
    die("error: integer value expected for option " + quoted(name) + ", got " + quoted(value));
  if (min && *number < *min) die_bound("greater or equal", int_text(*min), name, value);
  if (max && *number > *max) die_bound("less or equal", int_text(*max), name, value);
  return *number;
}

double real(std::string_view name, std::string_view value, std::optional<double> min,
            std::optional<double> max) {
  const std::optional<double> number = read_real(value);
  if (!number)
    die("error: numeric value expected for option " + quoted(name) + ", got " + quoted(value));
  if (min && *number < *min) die_bound("greater or equal", format_f(*min, 0, 0), name, value);
  if (max && *number > *max) die_bound("less or equal", format_f(*max, 0, 0), name, value);
  return *number;
}

bool yes_no(std::string_view name, std::string_view value) {
  // Nothing accepted contains quotes, so lower-casing inside quotes as well changes no answer.
  std::string word(value);
  for (char& c : word)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  for (std::string_view no : {"f", "false", "n", "no", "off"})
    if (word == no) return false;
  for (std::string_view yes : {"on", "t", "true", "y", "ye", "yes"})
    if (word == yes) return true;
  die("error: yes/no expected for option " + quoted(name) + ", got " + quoted(value));
}

bool fit_mode(std::string_view name, std::string_view value) {
  const std::string_view word = trim(value);
  if (word == "extended") return true;
  if (word == "default") return false;
  die("error: 'default' or 'extended' expected for option " + quoted(name) + ", got " + quoted(value));
}

bool readable_file(const std::string& name) {
  std::error_code ec;
  // Only a regular file can be read as input: opening a FIFO would wait for a writer without
  // end, and a device such as /dev/zero never ends.
  if (!std::filesystem::is_regular_file(name, ec)) return false;
  return std::ifstream(name).is_open();
}

std::string input_file(std::string_view value, const FileCheck& readable) {
  if (value.size() > kMaxFileName)
    die("error: input file name longer than " + int_text(static_cast<long long>(kMaxFileName)) +
        " characters: " + std::string(value));
  std::string name(value);
  if (name != "-" && !readable(name)) die("error: unable to read input file: " + name);
  return name;
}

}  // namespace validate

// ---------------------------------------------------------------------------------------------
// Dispatch

void derive_settings(RunSettings& settings) {
  settings.model_selection = settings.model_number >= 1;
  settings.chain_selection = settings.chain_ids != "0";
  if (settings.chain_ids.starts_with('_')) {
    settings.chain_ids.erase(0, 1);
    settings.chain_underscore = true;
  }
}

namespace {

// The input files an argument names: itself, or the files it matches as a pattern.
std::vector<std::string> input_names(const std::string& value, const validate::FileCheck& readable,
                                     const PatternExpander& expand) {
  if (!has_wildcard(value) || readable(value)) return {value};
  std::vector<std::string> names = expand(value);
  if (names.empty()) die("error: no input file matches the pattern: " + value);
  return names;
}

}  // namespace

ParseOutcome parse_command_line(std::span<const std::string> args,
                                const validate::FileCheck& readable,
                                const PatternExpander& expand) {
  // The smallest maximum scattering vector: 2^-52, one unit in the last place of 1.0.
  constexpr double kMinSMax = std::numeric_limits<double>::epsilon();

  ParseOutcome outcome;
  RunSettings& s = outcome.settings;
  Getopt getopt;
  outcome.output_options_only = true;
  for (;;) {
    const ParsedItem item = getopt.next(kOptionTable, kArgumentTable, args);
    const std::string& v = item.value;
    if (item.code != kEnd && item.code != kPlot && item.code != kJson) outcome.output_options_only = false;
    switch (item.code) {
      case kEnd:
        derive_settings(s);
        return outcome;
      case kInputFile:
        for (const std::string& name : input_names(v, readable, expand))
          s.input_files.push_back(validate::input_file(name, readable));
        break;
      case kHarmonicOrder: s.l_max = validate::integer("lm", v, 1, kMaxHarmonicOrder); break;
      case kFibonacciOrder:
        s.fibonacci_order = validate::integer("fb", v, kMinFibonacciOrder, kMaxFibonacciOrder);
        break;
      case kPoints: s.n_points = validate::integer("ns", v, 1, kMaxCurvePoints); break;
      case kUnits: s.angular_units = validate::integer("un", v, 1, 4); break;
      case kSMax: s.s_max = validate::real("sm", v, kMinSMax); break;
      case kSolventDensity: s.rho0 = validate::real("dns", v); break;
      case kShellContrast: s.delta_rho = validate::real("dro", v); break;
      case kKeep: s.keep = true; break;
      case kSubtractConstant: s.subtract_constant = true; break;
      case kExplicitHydrogens: s.explicit_hydrogens = true; break;
      case kErrors: s.write_errors = trim(v).empty() || validate::yes_no("err", v); break;
      case kOldNaming: s.new_atom_naming = false; break;
      case kModel: s.model_number = validate::integer("nmr", v, 1); break;
      case kChainIds: s.chain_ids = limit_chain_text(v); break;
      case kDefaultParameters: s.use_default_parameters = true; break;
      case kPrefix:
        if (v.size() > kMaxPrefix)
          die("error: expected at most " + int_text(static_cast<long long>(kMaxPrefix)) +
              " characters for option 'prefix', got " +
              int_text(static_cast<long long>(v.size())));
        s.prefix = v;
        break;
      case kNoSummary: s.no_summary = true; break;
      case kFitMode: s.extended_fit = validate::fit_mode("fit", v); break;
      case kPlot:
        if (v != "png" && v != "svg" && v != "pdf")
          die("error: expected png, svg or pdf for option 'plot', got " + tessel::quoted(v));
        s.plot_format = v;
        break;
      case kJson: s.json_record = true; break;
      case kEnsemble: s.ensemble = true; break;
      case kMixture: s.mixture_states = validate::integer("mixture", v, 1, 5); break;
      case kHelpExtra:
        outcome.action = ParseOutcome::Action::print_and_exit;
        outcome.text = extra_help_text();
        return outcome;
      case kHelp:
        outcome.action = ParseOutcome::Action::print_and_exit;
        outcome.text = std::string(help_text());
        return outcome;
      case kVersion:
        outcome.action = ParseOutcome::Action::print_and_exit;
        outcome.text = version_line();
        return outcome;
      default: die("Error parsing command line");
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Texts

std::string_view help_text() {
  static const std::string text = R"(
 Usage in the batch mode:
 tessel [<Inp_File1>]...[<Inp_FileK>] [<Dat_File>]
 [-param1 <param1>]...[-paramN <paramN>]

 where the arguments Inp_File can be either the
 names of a PDB format file (extension .pdb or .ent)
 or TESSEL save file (extension .sav). Wildcards
 (e.g. m?.sav or 1a*.ent or *.pdb) are permitted, in
 which case the program makes a loop over these files
 Dat_File is experimental scattering data file name.
 When no experimental file name is given the intensity
 is predicted with default parameters (no fitting)

 The following program options can be given as
 keys with parameters
 -lm   Maximum order of harmonics (default 15)
 -fb   Order of Fibonacci grid (default 17)
 -sm   Maximum scattering vector (default 0.5)
 -ns   # points in computed curve (default 51)
 -un   Angular units
 -dns  Solvent density (default 0.334 e/A**3)
 -dro  Contrast of hydration shell (0.03 e/A**3)
 -kp   Whether to keep output files other than
       (i)  in fitting mode: *.log and *.fit
       (ii) in prediction mode: *.log, *.alm and *.int
       (default No, i.e. other files will be deleted)
 -cst  Subtract constant (default no)
 -eh   Account for explicit hydrogens
 -err=N Write old-style fit file without
        information on experimental errors
 -old  Read a PDB file with an old atom naming
       (pre 2008?)
 -nmr  # of NMR conformer
 -cid  Chain identifier(s) (0: all chains)
 -p    Prefix for the output file names
 -v    Print version information and exit
 -h    Print this help and exit

 Examples:

 tessel 6lyz.pdb -lm 20
 Calculate scattering intensity from the PDB file
 6lyz.pdb with Lmax = 20 and without fitting

 tessel mod*.pdb exp.dat -un 2
 Process PDB files with the names beginning with
 "mod" and fit experimental data exp.dat with
 scattering vector given in inverse nanometres.

 tessel *.sav lyzexp.dat
 Restore the scattering intensity from all
 sav files in the current directory and fit
 the experimental data in the file lyzexp.dat
)" + std::string("Report bugs to <") + std::string(kBugAddress) + ">.\n";
  return text;
}

std::string extra_help_text() {
  constexpr std::size_t kUsageColumn = 16;
  std::string text = "\n Further options (long names; one dash, two dashes or a slash in front):\n\n";
  for (const ExtraHelpEntry& entry : kExtraHelp) {
    std::string usage(entry.usage);
    usage.resize(std::max(usage.size() + 1, kUsageColumn), ' ');
    text += "  " + usage + std::string(entry.description) + '\n';
  }
  text += "\n Without any other argument, --plot and --json start the interactive mode with\n"
          " these outputs.\n";
  return text;
}

std::string version_line() {
  return std::string(kVersionProgram) + ", ORVEX " + std::string(kVersionNumber) + " (r" +
         std::string(kVersionRevision) + ")\n";
}

}  // namespace tessel
