// The picture and record options: parsing into the settings, the interactive start with these
// options alone, the extra help table, the re-run arguments and the lines of the output list.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/input_files.hpp"
#include "app/options.hpp"
#include "app/output_naming.hpp"
#include "core/errors.hpp"

namespace tessel {
namespace {

using Args = std::vector<std::string>;

ParseOutcome parse(const Args& args) {
  Args full{"tessel"};
  full.insert(full.end(), args.begin(), args.end());
  return parse_command_line(full, [](const std::string& name) { return name == "lyz.pdb"; });
}

TEST(FurtherOutputs, OptionsAndExtraHelp) {
  const ParseOutcome both = parse({"--plot", "svg", "/json"});
  EXPECT_EQ(both.settings.plot_format, "svg");
  EXPECT_TRUE(both.settings.json_record);
  EXPECT_TRUE(both.output_options_only);  // no file: the interactive mode with these outputs
  const ParseOutcome with_file = parse({"lyz.pdb", "-plot=pdf"});
  EXPECT_EQ(with_file.settings.plot_format, "pdf");
  EXPECT_FALSE(with_file.settings.json_record);
  EXPECT_FALSE(with_file.output_options_only);
  EXPECT_FALSE(parse({"lyz.pdb"}).output_options_only);
  EXPECT_TRUE(parse({"lyz.pdb"}).settings.plot_format.empty());
  try {
    parse({"--plot", "PNG"});
    ADD_FAILURE() << "upper case accepted";
  } catch (const FatalStop& e) {
    EXPECT_STREQ(e.what(), "error: expected png, svg or pdf for option 'plot', got 'PNG'");
  }
  // The extra help lists every row of its table, usage in a column of 16.
  const ParseOutcome help = parse({"lyz.pdb", "--help-extra"});
  EXPECT_EQ(help.action, ParseOutcome::Action::print_and_exit);
  for (const ExtraHelpEntry& row : kExtraHelp) {
    std::string usage(row.usage);
    usage.resize(16, ' ');
    EXPECT_NE(help.text.find("\n  " + usage + std::string(row.description) + "\n"), std::string::npos) << row.usage;
  }
  EXPECT_EQ(help.text, extra_help_text());
}

TEST(FurtherOutputs, RerunsAndFileList) {
  RunSettings s;
  s.plot_format = "png";
  s.json_record = true;
  const Args args = rerun_arguments("t", s);
  ASSERT_GE(args.size(), 3u);
  EXPECT_EQ(Args(args.end() - 3, args.end()), (Args{"--plot", "png", "--json"}));

  // Format ( ' ', A, A4, ' -- ', A ); ".json" is one character wider.
  const std::string fit = output_file_list("lyz00", {false, RunMode::amplitudes_and_envelope, true}, {"png", true});
  EXPECT_NE(fit.find("\n lyz00.png -- picture of the fit       (PNG)\n lyz00.json -- job record               (JSON)\n"),
            std::string::npos);
  const std::string restored = output_file_list("lyz00", {false, RunMode::from_save_file, false}, {"pdf", false});
  EXPECT_NE(restored.find("\n lyz00.pdf --  picture of the intensity (PDF)\n"), std::string::npos);
  EXPECT_EQ(restored.find(".json"), std::string::npos);
  // An envelope-only job draws nothing; without the options the list is as before.
  EXPECT_EQ(output_file_list("lyz00", {true, RunMode::envelope_only, false}, {"svg", false}).find(".svg"),
            std::string::npos);
  EXPECT_EQ(output_file_list("lyz00", {true, RunMode::amplitudes_and_envelope, true}, {}),
            output_file_list("lyz00", {true, RunMode::amplitudes_and_envelope, true}));
}

}  // namespace
}  // namespace tessel
