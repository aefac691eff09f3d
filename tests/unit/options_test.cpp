// Command-line parsing: argv -> run settings, help/version, or the exact fatal-stop message.
#include "app/options.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "core/errors.hpp"

namespace tessel {
namespace {

using Args = std::vector<std::string>;

// Files the fake file system holds; everything else is unreadable.
const std::set<std::string> kExistingFiles = {"lyz.pdb", "lyz.dat", "N", "-file.pdb",
                                              "/data/lyz.pdb", "/data/a=b.pdb", "--", "-lm"};

bool fake_readable(const std::string& name) { return kExistingFiles.count(name) > 0; }

Args command(const Args& args) {
  Args full{"tessel"};
  full.insert(full.end(), args.begin(), args.end());
  return full;
}

ParseOutcome parse(const Args& args, const validate::FileCheck& readable = fake_readable) {
  return parse_command_line(command(args), readable);
}

RunSettings settings_of(const Args& args) {
  const ParseOutcome outcome = parse(args);
  EXPECT_EQ(outcome.action, ParseOutcome::Action::run);
  return outcome.settings;
}

// The message of the fatal stop the arguments cause, or "" when they parse.
std::string fatal_message(const Args& args,
                          const validate::FileCheck& readable = fake_readable) {
  try {
    parse(args, readable);
  } catch (const FatalStop& e) {
    return e.what();
  }
  return "";
}

std::string text_of(const Args& args) {
  const ParseOutcome outcome = parse(args);
  EXPECT_EQ(outcome.action, ParseOutcome::Action::print_and_exit);
  return outcome.text;
}

TEST(Options, FileAloneGivesBatchDefaults) {
  const RunSettings s = settings_of({"lyz.pdb"});
  EXPECT_EQ(s.l_max, 15);
  EXPECT_EQ(s.fibonacci_order, 17);
  EXPECT_EQ(s.n_points, 51);
  EXPECT_EQ(s.s_max, 0.5);
  EXPECT_EQ(s.angular_units, 0);
  EXPECT_EQ(s.rho0, 0.334);
  EXPECT_EQ(s.delta_rho, 0.03);
  EXPECT_FALSE(s.keep || s.subtract_constant || s.explicit_hydrogens ||
               s.use_default_parameters || s.no_summary);
  EXPECT_TRUE(s.write_errors);
  EXPECT_TRUE(s.new_atom_naming);
  EXPECT_EQ(s.model_number, 0);
  EXPECT_EQ(s.chain_ids, "0");
  EXPECT_EQ(s.prefix, "");
  EXPECT_FALSE(s.model_selection || s.chain_selection || s.chain_underscore);
  EXPECT_EQ(s.input_files, Args{"lyz.pdb"});
}

TEST(Options, OutOfRangeValuesStopWithTheBound) {
  struct Case {
    Args args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"-lm", "0"}, "error: expected value greater or equal 1 for option 'lm', got '0'"},
      {{"-lm", "100"}, "error: expected value less or equal 99 for option 'lm', got '100'"},
      {{"-fb", "9"}, "error: expected value greater or equal 10 for option 'fb', got '9'"},
      {{"-fb", "19"}, "error: expected value less or equal 18 for option 'fb', got '19'"},
      {{"-ns", "0"}, "error: expected value greater or equal 1 for option 'ns', got '0'"},
      {{"-ns", "5001"}, "error: expected value less or equal 5000 for option 'ns', got '5001'"},
      {{"-un", "5"}, "error: expected value less or equal 4 for option 'un', got '5'"},
      {{"-un", "0"}, "error: expected value greater or equal 1 for option 'un', got '0'"},
      {{"-nmr", "0"}, "error: expected value greater or equal 1 for option 'nmr', got '0'"},
      // The lower bound of sm is 2^-52, printed with no decimals.
      {{"-sm", "0"}, "error: expected value greater or equal 0. for option 'sm', got '0'"},
      {{"-sm", "1e-20"}, "error: expected value greater or equal 0. for option 'sm', got '1e-20'"},
      {{"-sm", "2.2204460492503e-16"},
       "error: expected value greater or equal 0. for option 'sm', got '2.2204460492503e-16'"},
      // The next argument is the value whatever it looks like.
      {{"-lm", "-5"}, "error: expected value greater or equal 1 for option 'lm', got '-5'"},
      // Aliases report the checked option under its short long name.
      {{"--lmax=0"}, "error: expected value greater or equal 1 for option 'lm', got '0'"},
      {{"/npoints", "5001"},
       "error: expected value less or equal 5000 for option 'ns', got '5001'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + (c.args.size() > 1 ? c.args[1] : ""));
    EXPECT_EQ(fatal_message(c.args), c.message);
  }
}

TEST(Options, LimitValuesAreAccepted) {
  EXPECT_EQ(settings_of({"-lm", "99"}).l_max, 99);
  EXPECT_EQ(settings_of({"-lm", "1"}).l_max, 1);
  EXPECT_EQ(settings_of({"-fb", "10"}).fibonacci_order, 10);
  EXPECT_EQ(settings_of({"-fb", "18"}).fibonacci_order, 18);
  EXPECT_EQ(settings_of({"-ns", "5000"}).n_points, 5000);
  EXPECT_EQ(settings_of({"-ns", "1"}).n_points, 1);
  EXPECT_EQ(settings_of({"-un", "4"}).angular_units, 4);
  EXPECT_EQ(settings_of({"-nmr", "123456"}).model_number, 123456);
  // 2^-52 itself is the smallest maximum scattering vector.
  EXPECT_EQ(settings_of({"-sm", "2.220446049250313e-16"}).s_max, 0x1p-52);
  EXPECT_EQ(settings_of({"-sm", "1e300"}).s_max, 1e300);
}

TEST(Options, UnreadableNumbersStop) {
  struct Case {
    Args args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"-lm", "abc"}, "error: integer value expected for option 'lm', got 'abc'"},
      {{"-lm="}, "error: integer value expected for option 'lm', got ''"},
      {{"-lm", "2.5"}, "error: integer value expected for option 'lm', got '2.5'"},
      {{"-ns", "1e3"}, "error: integer value expected for option 'ns', got '1e3'"},
      {{"-fb", "12x"}, "error: integer value expected for option 'fb', got '12x'"},
      {{"-nmr", "99999999999"},
       "error: integer value expected for option 'nmr', got '99999999999'"},
      {{"-sm", "x"}, "error: numeric value expected for option 'sm', got 'x'"},
      {{"-sm="}, "error: numeric value expected for option 'sm', got ''"},
      {{"-dns", "1e"}, "error: numeric value expected for option 'dns', got '1e'"},
      {{"-dns", "."}, "error: numeric value expected for option 'dns', got '.'"},
      {{"-dro", "1.2.3"}, "error: numeric value expected for option 'dro', got '1.2.3'"},
      {{"-dro", "0x10"}, "error: numeric value expected for option 'dro', got '0x10'"},
      {{"-dro", "1,5"}, "error: numeric value expected for option 'dro', got '1,5'"},
      // Infinite and undefined values would make every later number meaningless.
      {{"-sm", "inf"}, "error: numeric value expected for option 'sm', got 'inf'"},
      {{"-dns", "nan"}, "error: numeric value expected for option 'dns', got 'nan'"},
      {{"-sm", "1e999"}, "error: numeric value expected for option 'sm', got '1e999'"},
      {{"--fit", "Extended"}, "error: 'default' or 'extended' expected for option 'fit', got 'Extended'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + (c.args.size() > 1 ? c.args[1] : ""));
    EXPECT_EQ(fatal_message(c.args), c.message);
  }
}

TEST(Options, NumbersReadInFreeFormat) {
  struct Case {
    std::string text;
    double value;
  };
  // Values are exact decimal readings of the text.
  const std::vector<Case> reals = {{"0.5", 0.5},  {".25", 0.25},   {"5.", 5.0},     {"+1.5", 1.5},
                                   {"1E2", 100},  {"1d-3", 0.001}, {"2.5D+1", 25.0}, {" 2 ", 2.0},
                                   {"-0.75", -0.75}};
  for (const Case& c : reals) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(settings_of({"-dns", c.text}).rho0, c.value);
  }
  EXPECT_EQ(settings_of({"-lm", "+7"}).l_max, 7);
  EXPECT_EQ(settings_of({"-lm", " 12"}).l_max, 12);
}

TEST(Options, NegativeContrastsAsNextArgument) {
  const RunSettings s = settings_of({"-dns", "-0.5", "-dro", "-1e-2", "lyz.pdb"});
  EXPECT_EQ(s.rho0, -0.5);
  EXPECT_EQ(s.delta_rho, -0.01);
  EXPECT_EQ(s.input_files, Args{"lyz.pdb"});
}

TEST(Options, EverySpellingReachesItsOption) {
  const std::vector<Args> spellings = {
      {"-lm", "20"},  {"--lm", "20"},  {"/lm", "20"},  {"-lm=20"},   {"--lm=20"},  {"/lm=20"},
      {"-lmax", "20"}, {"--lmax", "20"}, {"/lmax", "20"}, {"-lmax=20"}, {"--lmax=20"}, {"/lmax=20"},
      {"-lm=20 "},  // an argument's trailing blanks carry no meaning
  };
  for (const Args& args : spellings) {
    SCOPED_TRACE(args[0]);
    EXPECT_EQ(settings_of(args).l_max, 20);
  }
  EXPECT_EQ(settings_of({"--fibonacci=12"}).fibonacci_order, 12);
  EXPECT_EQ(settings_of({"-npoints", "7"}).n_points, 7);
  EXPECT_EQ(settings_of({"/units", "3"}).angular_units, 3);
  EXPECT_EQ(settings_of({"-smax=1.5"}).s_max, 1.5);
  EXPECT_EQ(settings_of({"--solvent", "0.4"}).rho0, 0.4);
  EXPECT_EQ(settings_of({"-shell", "0.05"}).delta_rho, 0.05);
  EXPECT_EQ(settings_of({"--nmr-model", "2"}).model_number, 2);
  EXPECT_EQ(settings_of({"-chain-id", "B"}).chain_ids, "B");
  const std::vector<Args> prefix_spellings = {{"-p", "run"},       {"/p", "run"},
                                              {"-p=run"},          {"--prefix", "run"},
                                              {"-prefix=run"},     {"-p", "run  "}};
  for (const Args& args : prefix_spellings) {
    SCOPED_TRACE(args[0]);
    EXPECT_EQ(settings_of(args).prefix, "run");
  }
  EXPECT_TRUE(settings_of({"--keep"}).keep);
  EXPECT_TRUE(settings_of({"-kp=no"}).keep);  // text after '=' of a flag is ignored
  EXPECT_TRUE(settings_of({"-constant-subtraction"}).subtract_constant);
  EXPECT_TRUE(settings_of({"/cst"}).subtract_constant);
  EXPECT_TRUE(settings_of({"--default"}).use_default_parameters);
  EXPECT_TRUE(settings_of({"-def"}).use_default_parameters);
  EXPECT_FALSE(settings_of({"-old-format"}).new_atom_naming);
  EXPECT_TRUE(settings_of({"-nosmy"}).no_summary);
  EXPECT_TRUE(settings_of({"--fit", "extended"}).extended_fit);
  EXPECT_TRUE(settings_of({"-fit=extended "}).extended_fit);
  EXPECT_FALSE(settings_of({"--fit", "extended", "--fit=default"}).extended_fit);
  EXPECT_FALSE(settings_of({}).extended_fit);
}

TEST(Options, UnknownOptionsStopWithTheNameAsTyped) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"-LM", "-LM"}, {"-LM=5", "-LM"}, {"--Lmax", "--Lmax"}, {"-lm5", "-lm5"},
      {"--p", "--p"}, {"-x", "-x"},     {"---lm", "---lm"},   {"-5", "-5"},
  };
  for (const auto& [arg, name] : cases) {
    SCOPED_TRACE(arg);
    EXPECT_EQ(fatal_message({arg, "1"}), "getopt error: unknown option: " + name);
  }
}

TEST(Options, ErrorColumnSwitch) {
  struct Case {
    Args args;
    bool write_errors;
  };
  const std::vector<Case> cases = {
      {{"-err=N", "-err"}, true},     {{"-err=N", "-errors"}, true}, {{"-err=N"}, false},
      {{"-err=no"}, false},           {{"-err=OFF"}, false},         {{"-err=f"}, false},
      {{"-err=False"}, false},        {{"-err=N", "-err=yes"}, true}, {{"-err=N", "-err=Y"}, true},
      {{"-err=N", "-err=ye"}, true},  {{"-err=N", "-err=on"}, true}, {{"-err=N", "-err=T"}, true},
      {{"-err=N", "-err="}, true},    {{"-errors=no"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    EXPECT_EQ(settings_of(c.args).write_errors, c.write_errors);
  }
  for (const std::string value : {"0", "1", "nope", "'n'"}) {
    SCOPED_TRACE(value);
    EXPECT_EQ(fatal_message({"-err=" + value}),
              "error: yes/no expected for option 'err', got '" + value + "'");
  }
}

TEST(Options, ErrorSwitchNeverTakesTheNextArgument) {
  // N is a file name here: accepted when such a file exists, else the readability check stops.
  const RunSettings s = settings_of({"-err=off", "-err", "N"});
  EXPECT_TRUE(s.write_errors);
  EXPECT_EQ(s.input_files, Args{"N"});
  EXPECT_EQ(fatal_message({"-err", "N"}, [](const std::string&) { return false; }),
            "error: unable to read input file: N");
}

TEST(Options, ChainIdentifiers) {
  RunSettings s = settings_of({"-cid", "_AB"});
  EXPECT_EQ(s.chain_ids, "AB");
  EXPECT_TRUE(s.chain_selection);
  EXPECT_TRUE(s.chain_underscore);

  s = settings_of({"-cid", "0"});
  EXPECT_EQ(s.chain_ids, "0");
  EXPECT_FALSE(s.chain_selection);
  EXPECT_FALSE(s.chain_underscore);

  s = settings_of({"-cid", "AB"});
  EXPECT_TRUE(s.chain_selection);
  EXPECT_FALSE(s.chain_underscore);

  // Only the first 20 characters are kept.
  EXPECT_EQ(settings_of({"-cid", "ABCDEFGHIJKLMNOPQRSTUVWXYZ"}).chain_ids, "ABCDEFGHIJKLMNOPQRST");
  // A comma-separated list of whole ids is kept longer.
  s = settings_of({"-cid", "_AA,AB,AC,AD,AE,AF,AG,AH"});
  EXPECT_EQ(s.chain_ids, "AA,AB,AC,AD,AE,AF,AG,AH");
  EXPECT_TRUE(s.chain_underscore);
}

TEST(Options, DerivedSettings) {
  RunSettings s = settings_of({"-nmr", "3", "-eh", "-un", "2"});
  EXPECT_TRUE(s.model_selection);
  EXPECT_TRUE(s.explicit_hydrogens);
  EXPECT_EQ(s.angular_units, 2);
  s = settings_of({"-explicit-hydrogens"});
  EXPECT_TRUE(s.explicit_hydrogens);
  EXPECT_EQ(s.angular_units, 0);
  EXPECT_FALSE(s.model_selection);
}

TEST(Options, MissingValueStopsWithTheOptionAsTyped) {
  for (const std::string option : {"-p", "--prefix", "/p", "-lm", "--nmr-model", "-cid"}) {
    SCOPED_TRACE(option);
    EXPECT_EQ(fatal_message({"lyz.pdb", option}),
              "getopt error: option requires an argument: " + option);
  }
}

TEST(Options, DoubleDashEndsTheOptions) {
  EXPECT_EQ(settings_of({"--", "-file.pdb"}).input_files, Args{"-file.pdb"});
  EXPECT_EQ(settings_of({"-kp", "--", "-lm", "--"}).input_files, (Args{"-lm", "--"}));
  EXPECT_EQ(fatal_message({"--", "-kp"}), "error: unable to read input file: -kp");
  EXPECT_EQ(fatal_message({"--", "-x.pdb"}), "error: unable to read input file: -x.pdb");
}

TEST(Options, InputFilesKeepCommandLineOrder) {
  const RunSettings s = settings_of({"lyz.dat", "-lm", "20", "lyz.pdb", "-", "-kp"});
  // A lone dash is a positional argument and is not looked up.
  EXPECT_EQ(s.input_files, (Args{"lyz.dat", "lyz.pdb", "-"}));
  EXPECT_EQ(s.l_max, 20);
  EXPECT_TRUE(s.keep);
  EXPECT_EQ(fatal_message({"lyz.pdb", "missing.pdb", "-lm", "0"}),
            "error: unable to read input file: missing.pdb");
  EXPECT_EQ(fatal_message({""}), "error: unable to read input file:");
}

TEST(Options, SlashArgumentThatNamesNoOptionIsAFile) {
  EXPECT_EQ(settings_of({"/data/lyz.pdb", "-lm", "20"}).input_files, Args{"/data/lyz.pdb"});
  // The whole argument is the name, '=' included.
  EXPECT_EQ(settings_of({"/data/a=b.pdb"}).input_files, Args{"/data/a=b.pdb"});
  EXPECT_EQ(fatal_message({"/data/other.pdb"}),
            "error: unable to read input file: /data/other.pdb");
  EXPECT_EQ(fatal_message({"/"}), "error: unable to read input file: /");
  // Options keep their slash spellings.
  EXPECT_EQ(settings_of({"/lm", "30"}).l_max, 30);
  EXPECT_EQ(parse({"/help"}).text, help_text());
}

TEST(Options, LongValuesAreKeptWholeOrRefused) {
  const auto accept_all = [](const std::string&) { return true; };
  const std::string name600 = std::string(596, 'a') + ".pdb";
  EXPECT_EQ(parse({name600}, accept_all).settings.input_files, Args{name600});
  const std::string name1024 = std::string(1020, 'b') + ".pdb";
  EXPECT_EQ(parse({name1024}, accept_all).settings.input_files, Args{name1024});
  const std::string name1025 = "c" + name1024;
  EXPECT_EQ(fatal_message({name1025}, accept_all),
            "error: input file name longer than 1024 characters: " + name1025);

  const std::string prefix255(255, 'p');
  EXPECT_EQ(settings_of({"-p", prefix255}).prefix, prefix255);
  EXPECT_EQ(fatal_message({"-p", prefix255 + "q"}),
            "error: expected at most 255 characters for option 'prefix', got 256");
  // A long value is not cut before it is read.
  const std::string long_value = std::string(254, ' ') + "20x";
  EXPECT_EQ(fatal_message({"-lm", long_value}),
            "error: integer value expected for option 'lm', got '" + long_value + "'");
}

TEST(Options, HelpAndVersion) {
  for (const std::string option : {"-h", "/h", "-help", "--help", "/help", "-h=x"}) {
    SCOPED_TRACE(option);
    EXPECT_EQ(text_of({option}), help_text());
  }
  for (const std::string option : {"-v", "/v", "-version", "--version", "/version"}) {
    SCOPED_TRACE(option);
    EXPECT_EQ(text_of({option}), version_line());
  }
  EXPECT_EQ(version_line(), "tessel, ORVEX 2.8.4 (r10552)\n");
}

TEST(Options, HelpValidatesWhatPrecedesItAndIgnoresTheRest) {
  EXPECT_EQ(text_of({"-lm", "20", "lyz.pdb", "-h", "-lm", "500", "-bogus", "missing.pdb"}),
            help_text());
  EXPECT_EQ(text_of({"-v", "-LM"}), version_line());
  EXPECT_EQ(fatal_message({"-lm", "500", "-h"}),
            "error: expected value less or equal 99 for option 'lm', got '500'");
  EXPECT_EQ(fatal_message({"missing.pdb", "--help"}),
            "error: unable to read input file: missing.pdb");
  EXPECT_EQ(fatal_message({"-LM", "-h"}), "getopt error: unknown option: -LM");
}

TEST(Options, RealFileCheck) {
  EXPECT_TRUE(validate::readable_file(TESSEL_TEST_DATA "/6lyz.pdb"));
  EXPECT_FALSE(validate::readable_file(TESSEL_TEST_DATA "/no-such-file.pdb"));
  EXPECT_FALSE(validate::readable_file(TESSEL_TEST_DATA));  // a directory is not a file
}

// The parser on tables other than the program's own.
class GetoptTables : public ::testing::Test {
 protected:
  static constexpr std::array<OptionSpec, 3> kOptions = {{
      {"alpha", 'a', value_kind::kRequired, 40, "", ""},
      {"alpha", 'b', value_kind::kNone, 41, "", ""},  // shadowed by the first row
      {"bad", ' ', 3, 42, "", ""},
  }};

  // Runs the parser over the arguments until it ends, returning the codes seen.
  static std::vector<int> codes(std::span<const ArgumentSpec> table, const Args& args) {
    Getopt getopt;
    const Args full = command(args);
    std::vector<int> seen;
    for (;;) {
      const int code = getopt.next(kOptions, table, full).code;
      if (code == option_code::kEnd) return seen;
      seen.push_back(code);
    }
  }

  static std::string failure(std::span<const ArgumentSpec> table, const Args& args) {
    try {
      codes(table, args);
    } catch (const FatalStop& e) {
      return e.what();
    }
    return "";
  }
};

TEST_F(GetoptTables, ArgumentTableChecksRunOnEveryCall) {
  using namespace argument_kind;
  struct Case {
    std::vector<ArgumentSpec> table;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{{"x", 0, 1, ""}}, "getopt error: argument with type no_argument"},
      {{{"x", kOptional, 1, ""}, {"y", kRequired, 2, ""}},
       "getopt error: required argument after optional argument"},
      {{{"x", kOptional, 1, ""}, {"y", kRequiredRepeatable, 2, ""}},
       "getopt error: required argument after optional argument"},
      {{{"x", kOptionalRepeatable, 1, ""}, {"y", kOptional, 2, ""}},
       "getopt error: multiple argument is not the last argument"},
      {{{"x", kRequiredRepeatable, 1, ""}, {"y", kRequired, 2, ""}},
       "getopt error: multiple argument is not the last argument"},
      {{{"x", 5, 1, ""}}, "getopt error: unrecognised argument type"},
      {{{"x", -1, 1, ""}}, "getopt error: unrecognised argument type"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(failure(c.table, {}), c.message);  // even with nothing on the command line
  }
}

TEST_F(GetoptTables, PositionalRows) {
  using namespace argument_kind;
  const std::vector<ArgumentSpec> two_required = {{"infile", kRequired, 1, ""},
                                                  {"outfile", kRequired, 2, ""}};
  EXPECT_EQ(codes(two_required, {"x", "-a", "5", "y"}), (std::vector<int>{1, 40, 2}));
  EXPECT_EQ(failure(two_required, {"x"}), "error: required argument missing OUTFILE");
  EXPECT_EQ(failure(two_required, {"x", "y", "z"}), "getopt error: too many arguments");

  const std::vector<ArgumentSpec> optional_rest = {{"in", kRequired, 1, ""},
                                                   {"rest", kOptionalRepeatable, 2, ""}};
  EXPECT_EQ(codes(optional_rest, {"x", "y", "z"}), (std::vector<int>{1, 2, 2}));
  EXPECT_EQ(codes(optional_rest, {"x"}), (std::vector<int>{1}));

  const std::vector<ArgumentSpec> required_many = {{"files", kRequiredRepeatable, 3, ""}};
  EXPECT_EQ(failure(required_many, {"-a=1"}), "error: required argument missing FILES");
  EXPECT_EQ(codes(required_many, {"x", "y"}), (std::vector<int>{3, 3}));

  EXPECT_EQ(failure({}, {"x"}), "getopt error: this command does not take arguments");
  EXPECT_EQ(codes({}, {"-a", "1", "-b"}), (std::vector<int>{40, 41}));
}

TEST_F(GetoptTables, RowsAndValues) {
  const std::vector<ArgumentSpec> none;
  // The first matching row wins: --alpha is row 1, with its value taken from the next argument.
  EXPECT_EQ(codes(none, {"--alpha", "-b", "-b"}), (std::vector<int>{40, 41}));
  EXPECT_EQ(failure(none, {"-bad"}), "getopt error: invalid option specification");

  Getopt getopt;
  const Args full = command({"-a=x=y", "/a", "--"});
  const ParsedItem first = getopt.next(kOptions, none, full);
  EXPECT_EQ(first.value, "x=y");  // the value is everything after the first '='
  const ParsedItem second = getopt.next(kOptions, none, full);
  EXPECT_EQ(second.value, "--");
  EXPECT_EQ(getopt.next(kOptions, none, full).code, option_code::kEnd);
  EXPECT_EQ(getopt.next(kOptions, none, full).code, option_code::kEnd);
}

}  // namespace
}  // namespace tessel
