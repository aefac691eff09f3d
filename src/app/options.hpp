// Batch-mode command line: the option and argument tables, the table-driven parser `getopt`,
// the value checks `validate`, the fatal stop `die`, and the help and version texts.
// Parsing is pure: errors throw FatalStop, help and version come back as text to print.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "app/file_patterns.hpp"
#include "core/run_settings.hpp"

namespace tessel {

// The fatal stop: throws FatalStop with the message, trailing blanks removed. Only main()
// turns it into a line on standard error and exit status 1.
[[noreturn]] void die(std::string_view message);

// How an option takes its value (the integers stored in the table).
namespace value_kind {
inline constexpr int kNone = 0;      // no value; text after '=' is ignored
inline constexpr int kRequired = 1;  // after '=', or else the next argument whatever it looks like
inline constexpr int kOptional = 2;  // only after '='; the next argument is never taken
}  // namespace value_kind

// One row of an option table.
struct OptionSpec {
  std::string_view long_name;   // without dashes, at most 32 characters
  char short_letter = ' ';      // ' ' when the option has none
  int value_kind = 0;           // one of value_kind; anything else is a broken table
  int code = 0;                 // what the parser returns for the option
  std::string_view help;        // one-line description, at most 100 characters (mostly empty)
  std::string_view value_name;  // name of the value in usage texts, at most 16 characters
};

// How a positional-argument row may be used (the integers stored in the table).
namespace argument_kind {
inline constexpr int kRequired = 1;
inline constexpr int kOptional = 2;
inline constexpr int kRequiredRepeatable = 3;
inline constexpr int kOptionalRepeatable = 4;
}  // namespace argument_kind

// One row of a positional-argument table.
struct ArgumentSpec {
  std::string_view name;  // at most 32 characters
  int kind = 0;           // one of argument_kind; anything else is a broken table
  int code = 0;
  std::string_view help;  // at most 100 characters
};

// Codes the parser returns for this program's rows.
namespace option_code {
inline constexpr int kEnd = -1;
inline constexpr int kInputFile = 5;
inline constexpr int kHarmonicOrder = 7;
inline constexpr int kFibonacciOrder = 8;
inline constexpr int kPoints = 9;
inline constexpr int kUnits = 10;
inline constexpr int kSMax = 11;
inline constexpr int kSolventDensity = 12;
inline constexpr int kShellContrast = 13;
inline constexpr int kKeep = 14;
inline constexpr int kSubtractConstant = 15;
inline constexpr int kExplicitHydrogens = 16;
inline constexpr int kErrors = 17;
inline constexpr int kOldNaming = 18;
inline constexpr int kModel = 19;
inline constexpr int kChainIds = 20;
inline constexpr int kDefaultParameters = 23;
inline constexpr int kPrefix = 24;
inline constexpr int kNoSummary = 25;
inline constexpr int kFitMode = 26;
inline constexpr int kPlot = 27;
inline constexpr int kJson = 28;
inline constexpr int kEnsemble = 29;
inline constexpr int kMixture = 30;
inline constexpr int kHelp = 101;
inline constexpr int kVersion = 102;
inline constexpr int kHelpExtra = 103;
}  // namespace option_code

// This program's tables. Aliases share a code; `nosmy`, `def` and the long aliases are
// accepted but not listed in the help. The rows after `version` are the newer long options,
// listed by the extra help instead.
extern const std::array<OptionSpec, 40> kOptionTable;
extern const std::array<ArgumentSpec, 1> kArgumentTable;

// What one parser call found: an option's code and value (empty when it has none), a
// positional argument's code and text, or kEnd.
struct ParsedItem {
  int code = option_code::kEnd;
  std::string value;
};

// The general option parser, driven by an option table and an argument table.
// `args` is the command line as main() gets it: args[0] is the program path.
// Arguments are read as blank-padded fields, so their trailing blanks carry no meaning.
// Options are "-x", "-name", "/x", "/name" or "--name" (x the short letter), optionally
// followed by "=value". An argument starting with '/' that names no option is positional,
// so absolute file names work. After "--" every argument is positional.
// Every failure is a fatal stop.
class Getopt {
 public:
  ParsedItem next(std::span<const OptionSpec> options, std::span<const ArgumentSpec> arguments,
                  std::span<const std::string> args);

 private:
  std::size_t next_index_ = 1;       // the next command-line argument to look at
  std::size_t positional_count_ = 0; // positional arguments returned so far
  bool options_ended_ = false;       // "--" was seen
};

// Value checks. `name` is the option's long name as the messages show it.
// Each returns the accepted value or ends the run through the fatal stop.
namespace validate {
int integer(std::string_view name, std::string_view value, std::optional<int> min = std::nullopt,
            std::optional<int> max = std::nullopt);
double real(std::string_view name, std::string_view value,
            std::optional<double> min = std::nullopt, std::optional<double> max = std::nullopt);
bool yes_no(std::string_view name, std::string_view value);
// The fit to run: "default" (false) or "extended" (true).
bool fit_mode(std::string_view name, std::string_view value);
// Tells whether a file can be read; the default looks at the real file system.
using FileCheck = std::function<bool(const std::string&)>;
bool readable_file(const std::string& name);
// An input file name: "-" or an existing readable file, at most kMaxFileName characters.
std::string input_file(std::string_view value, const FileCheck& readable);
}  // namespace validate

// Fills the settings that follow from the others once the command line is done: model and
// chain selection, the chain underscore flag, the hydrogen mode and the units-given flag.
void derive_settings(RunSettings& settings);

// The help text (55 lines, each ending with '\n') and the version line (with '\n').
std::string_view help_text();
std::string version_line();

// One entry of the extra help: the option as typed with its value, and what it does.
struct ExtraHelpEntry {
  std::string_view usage;        // e.g. "--plot FORMAT"
  std::string_view description;  // one line
};
// The newer long options, in the order the extra help lists them.
extern const std::span<const ExtraHelpEntry> kExtraHelp;
// The extra help: a heading, one line per entry (usage in a column of its own) and a closing
// note, each ending with '\n'.
std::string extra_help_text();

// The contact address of the help's last line.
inline constexpr std::string_view kBugAddress = "tessel-bugs@example.org";

// What the command line asks for: a run with these settings, or a text to print on standard
// output before ending with status 0 (help, version).
struct ParseOutcome {
  enum class Action { run, print_and_exit };
  Action action = Action::run;
  RunSettings settings;  // batch defaults overridden by the options; meaningful for run
  std::string text;      // for print_and_exit
  // Nothing but the picture and record options was given (no input file): the interactive
  // mode runs, with those outputs.
  bool output_options_only = false;
};

// Parses a batch command line (args[0] is the program path; at least one argument follows).
// An input file that holds '*', '?' or '[' and names no readable file is a pattern: the files
// it matches (`expand`, sorted) take its place, and a pattern that matches nothing stops the
// run ("error: no input file matches the pattern: " and the pattern).
// Throws FatalStop on the first bad option, value or input file.
ParseOutcome parse_command_line(std::span<const std::string> args,
                                const validate::FileCheck& readable = validate::readable_file,
                                const PatternExpander& expand = expand_file_pattern);

}  // namespace tessel
