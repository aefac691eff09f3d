// Model and chain selection: scan, choice (batch and through the questions), filtered copy.
#include "io/pdb_selection.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <sstream>

#include "dialogue/dialogue.hpp"
#include "io/job_structure.hpp"
#include "pdb_test_files.hpp"

namespace tessel {
namespace {

using testing::atom_line;
using testing::data_file;
using testing::file_lines;
using testing::file_text;
using testing::ScratchDir;

// Scripted answers for the selection questions; records what was asked.
struct FakeDialogue {
  std::deque<int> integers;
  std::deque<std::string> texts;
  std::vector<std::string> asked;

  SelectionDialogue plug() {
    SelectionDialogue d;
    d.ask_integer = [this](std::string_view q, int def) {
      asked.push_back(std::string(q) + " <" + std::to_string(def) + ">");
      const int v = integers.front();
      integers.pop_front();
      return v;
    };
    d.ask_text = [this](std::string_view q, std::size_t field) {
      asked.push_back(std::string(q) + " [" + std::to_string(field) + "]");
      const std::string v = texts.front();
      texts.pop_front();
      return v;
    };
    return d;
  }
};

long count_prefix(const std::vector<std::string>& lines, std::string_view head) {
  return std::count_if(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.rfind(head, 0) == 0; });
}

// Chain lists counted by hand with awk over the ATOM records before the second MODEL record.
TEST(PdbScan, ModelsAndChainsOfRealFiles) {
  struct Case {
    const char* file;
    int models;
    const char* chains;
  };
  const Case cases[] = {
      {"6lyz.pdb", 0, "A"},       {"1l2y.pdb", 38, "A"},   {"3hfm.pdb", 0, "LHY"},
      {"1dqk.pdb", 0, "ABCD"},    {"2bbm.pdb", 0, "AB"},   {"1nvy.pdb", 0, "AB"},
      {"pdb1gdr.ent", 0, " "},    {"354d_ndb_url064.pdb", 0, "AB"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const ScanResult scan = scan_structure_file(data_file(c.file));
    EXPECT_EQ(scan.model_count, c.models);
    EXPECT_EQ(scan.chains, c.chains);
  }
  EXPECT_THROW(scan_structure_file(data_file("no-such-file.pdb")), StructureOpenError);
}

TEST(PdbScan, ChainListStopsAtTheSecondModelAndAt99Entries) {
  std::string text = "MODEL        1\n";
  for (int i = 0; i < 150; ++i) text += atom_line("ATOM", " CA ", ' ', "GLY", i % 2 ? 'B' : 'A', 0, 0, 0) + "\n";
  text += "HETATM    1 ZN    ZN Z   1       0.000   0.000   0.000\nENDMDL\nMODEL        2\n";
  text += atom_line("ATOM", " CA ", ' ', "GLY", 'Q', 0, 0, 0) + "\nENDMDL\n";
  std::istringstream in(text);
  const ScanResult scan = scan_structure(in);
  EXPECT_EQ(scan.model_count, 2);
  ASSERT_EQ(scan.chains.size(), 99u);
  for (std::size_t i = 0; i < 99; ++i) EXPECT_EQ(scan.chains[i], i % 2 ? 'B' : 'A');
}

TEST(PdbChoice, BatchTakesTheSettings) {
  const Report quiet;
  RunSettings s;
  s.model_number = 3;
  s.model_selection = true;
  // No MODEL record: the model number is dropped.
  StructureSelection sel = choose_selection(s, ScanResult{0, "A"}, "f.pdb", nullptr, quiet);
  EXPECT_FALSE(sel.model_selection);
  // A number beyond the last model is kept for the filter to report.
  sel = choose_selection(s, ScanResult{2, "A"}, "f.pdb", nullptr, quiet);
  EXPECT_TRUE(sel.model_selection);
  EXPECT_EQ(sel.model_number, 3);

  struct Case {
    const char* ids;
    bool underscore;
    const char* chains;
    const char* selected;
  };
  const Case cases[] = {
      {"Y", false, "LHY", "Y"},   {"LH  ", false, "LHY", "LH"},
      {"AB", true, "ABXY", "XY"}, {"Y", true, "LHY", "LH"},
      {"B", true, "ABA", "AA"},   // a chain that comes back is listed again
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ids);
    RunSettings cs;
    cs.chain_ids = c.ids;
    cs.chain_selection = true;
    cs.chain_underscore = c.underscore;
    sel = choose_selection(cs, ScanResult{0, c.chains}, "f.pdb", nullptr, quiet);
    EXPECT_TRUE(sel.chain_selection);
    EXPECT_FALSE(sel.model_selection);
    EXPECT_EQ(sel.chain_ids, c.selected);
  }
}

TEST(PdbChoice, ModelQuestionRepeatsUntilInRange) {
  std::ostringstream console;
  Report report;
  report.console = &console;
  FakeDialogue fake;
  fake.integers = {40, -1, 2};
  const SelectionDialogue d = fake.plug();
  const StructureSelection sel = choose_selection(RunSettings{}, ScanResult{38, "A"}, "1l2y.pdb", &d, report);
  EXPECT_TRUE(sel.model_selection);
  EXPECT_EQ(sel.model_number, 2);
  EXPECT_EQ(console.str(),
            " 38 models were found in 1l2y.pdb\n"
            " Error: provide number from 0 to 38\n"
            " Error: provide number from 0 to 38\n");
  EXPECT_EQ(fake.asked.size(), 3u);
  EXPECT_EQ(fake.asked[0], "Process model number (0=all) <1>");

  FakeDialogue all;
  all.integers = {0};
  const SelectionDialogue d0 = all.plug();
  EXPECT_FALSE(choose_selection(RunSettings{}, ScanResult{38, "A"}, "x", &d0, Report{}).model_selection);
}

TEST(PdbChoice, ChainQuestion) {
  struct Case {
    std::vector<std::string> answers;
    bool selection;
    const char* chains;
    const char* console;  // after the "chains were found" line
  };
  const Case cases[] = {
      {{"Y"}, true, "Y", ""},
      {{"YL"}, true, "YL", ""},
      {{"LHYQ", "H"}, true, "H", "Warning: too many chains specified\n"},
      {{"_LHYQ", "_Y"}, true, "LH", "Warning: too many chains specified\n"},
      {{"Q", "HY  "}, true, "HY", "Warning: select available chain or all chains\n"},
      {{"_Q"}, true, "LHY", ""},  // nothing named is left out
      {{"0"}, false, "", ""},
      {{""}, false, "", ""},
      {{"_"}, false, "", ""},
      {{" Y"}, false, "", ""},    // blank first character
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answers.front());
    std::ostringstream console;
    Report report;
    report.console = &console;
    FakeDialogue fake;
    fake.texts.assign(c.answers.begin(), c.answers.end());
    const SelectionDialogue d = fake.plug();
    const StructureSelection sel = choose_selection(RunSettings{}, ScanResult{0, "LHY"}, "3hfm.pdb", &d, report);
    EXPECT_EQ(sel.chain_selection, c.selection);
    if (c.selection) {
      EXPECT_EQ(sel.chain_ids, c.chains);
    }
    EXPECT_EQ(console.str(), std::string(" 3 (LHY) chains were found in 3hfm.pdb\n") + c.console);
    EXPECT_TRUE(fake.texts.empty());
    // The field takes a comma-separated list of long ids; one-character answers are cut to 20.
    EXPECT_EQ(fake.asked.front(), "Process chain (0: all chains) [1024]");
  }

  // One chain, one model: nothing is asked.
  FakeDialogue none;
  const SelectionDialogue d = none.plug();
  const StructureSelection sel = choose_selection(RunSettings{}, ScanResult{1, "A"}, "6lyz.pdb", &d, Report{});
  EXPECT_FALSE(sel.model_selection);
  EXPECT_FALSE(sel.chain_selection);
  EXPECT_TRUE(none.asked.empty());
}

TEST(PdbChoice, PlugsIntoTheConsoleDialogue) {
  std::istringstream answers("40\n2\nQ\n_Y\n");
  std::ostringstream console;
  Dialogue dialogue(answers, console);
  SelectionDialogue questions;
  questions.ask_integer = [&](std::string_view q, int v) { return dialogue.ask_integer(q, v); };
  questions.ask_text = [&](std::string_view q, std::size_t f) { return dialogue.ask_text(q, f); };
  Report report;
  report.console = &console;
  const StructureSelection sel =
      choose_selection(RunSettings{}, ScanResult{38, "LHY"}, "x.pdb", &questions, report);
  EXPECT_TRUE(sel.model_selection);
  EXPECT_EQ(sel.model_number, 2);
  EXPECT_TRUE(sel.chain_selection);
  EXPECT_EQ(sel.chain_ids, "LH");
  EXPECT_NE(console.str().find("Process model number (0=all)"), std::string::npos);
  EXPECT_NE(console.str().find("Warning: select available chain or all chains"), std::string::npos);
}

TEST(PdbFilter, SelectionNames) {
  struct Case {
    const char* file;
    StructureSelection sel;
    const char* name;
  };
  const Case cases[] = {
      {"data/1l2y.pdb", {true, 2, false, ""}, "data/1l2y-2.pdb"},
      {"3hfm.pdb", {false, 0, true, "LH  "}, "3hfm-LH.pdb"},
      {"x.y/1abc.ent", {true, 12, true, "B"}, "x.y/1abc-12B.pdb"},
      {"x.y/1abc", {true, 1, false, ""}, "x.y/1abc-1.pdb"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    EXPECT_EQ(selection_name(c.file, c.sel), c.name);
  }
}

TEST(PdbFilter, NmrModelTwo) {
  const auto file = data_file("1l2y.pdb");
  const FilteredStructure f = filter_structure(file, {true, 2, false, ""}, false);
  EXPECT_EQ(f.output_name, selection_name(file.string(), {true, 2, false, ""}));
  EXPECT_EQ(std::filesystem::path(f.output_name).filename(), "1l2y-2.pdb");
  const auto lines = file_lines(f.copy.path());
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines.front(), "MODEL      " "    2");
  EXPECT_EQ(lines[lines.size() - 2], "ENDMDL");
  EXPECT_EQ(lines.back(), "END");
  // 304 atoms per model, 150 of them hydrogens; the model's TER record follows its atoms.
  EXPECT_EQ(count_prefix(lines, "ATOM"), 154);
  EXPECT_EQ(count_prefix(lines, "TER"), 1);
  EXPECT_EQ(lines[1].substr(0, 54), "ATOM      1  N   ASN A   1      -6.919   6.901   0.917");
  for (const auto& l : lines) EXPECT_FALSE(l.size() >= 78 && l.substr(76, 2) == " H") << l;

  const FilteredStructure h = filter_structure(file, {true, 2, false, ""}, true);
  EXPECT_EQ(count_prefix(file_lines(h.copy.path()), "ATOM"), 304);
}

TEST(PdbFilter, ModelBeyondTheLast) {
  const auto file = data_file("1l2y.pdb");
  try {
    filter_structure(file, {true, 39, false, ""}, false);
    FAIL() << "no error";
  } catch (const ModelNotFoundError& e) {
    EXPECT_EQ(e.status(), 1);
    EXPECT_EQ(std::string(e.what()),
              " Error -- NMR conformer/model #39 does not exist\n"
              " Last model # in PDB file " + file.string() + " is 38");
  }
}

TEST(PdbFilter, ChainsAndLeaveOut) {
  // Chain Y of 3hfm: 1001 atom lines and one water (counted with awk over columns 22 and 18-20).
  const auto file = data_file("3hfm.pdb");
  const FilteredStructure y = filter_structure(file, {false, 0, true, "Y"}, false);
  EXPECT_EQ(std::filesystem::path(y.output_name).filename(), "3hfm-Y.pdb");
  auto lines = file_lines(y.copy.path());
  EXPECT_EQ(count_prefix(lines, "ATOM") + count_prefix(lines, "HETATM"), 1001);
  EXPECT_EQ(count_prefix(lines, "TER"), 1);
  EXPECT_EQ(lines.back(), "END");
  for (const auto& l : lines) {
    if (l.rfind("ATOM", 0) == 0 || l.rfind("HETATM", 0) == 0) {
      EXPECT_EQ(l[21], 'Y') << l;
    }
  }

  RunSettings s;
  s.chain_ids = "Y";
  s.chain_selection = true;
  s.chain_underscore = true;
  const JobStructure job = prepare_structure(file, s, nullptr, Report{});
  EXPECT_EQ(job.selection.chain_ids, "LH");
  EXPECT_EQ(std::filesystem::path(job.output_name).filename(), "3hfm-LH.pdb");
  EXPECT_EQ(job.path, job.copy.path());
  lines = file_lines(job.path);
  EXPECT_EQ(count_prefix(lines, "ATOM") + count_prefix(lines, "HETATM"), 1655 + 1640);
  EXPECT_EQ(count_prefix(lines, "TER"), 2);
}

TEST(PdbFilter, MissingChain) {
  const auto file = data_file("3hfm.pdb");
  for (const StructureSelection& sel : {StructureSelection{false, 0, true, "Q"},
                                       StructureSelection{true, 1, true, "Q"}}) {
    try {
      filter_structure(file, sel, false);
      FAIL() << "no error";
    } catch (const ModelNotFoundError&) {
      // 3hfm has no MODEL record; with a model selection the model error comes first.
      EXPECT_TRUE(sel.model_selection);
    } catch (const Error& e) {
      EXPECT_EQ(e.status(), 1);
      EXPECT_EQ(std::string(e.what()), " Error --  chain ID (Q) in PDB file " + file.string() + " does not exist");
    }
  }
}

TEST(PdbFilter, KeepsMercuryHafniumAndHolmium) {
  ScratchDir dir;
  std::string text;
  text += atom_line("ATOM", " N  ", ' ', "CYS", 'A', 1, 2, 3, " N") + "\n";
  text += atom_line("ATOM", " H  ", ' ', "CYS", 'A', 1, 2, 3, " H") + "\n";
  text += atom_line("ATOM", "HG1 ", ' ', "THR", 'A', 1, 2, 3, " H") + "\n";
  text += atom_line("HETATM", "HG  ", ' ', " HG", 'A', 4, 5, 6, "HG") + "\n";
  text += atom_line("HETATM", "HF  ", ' ', " HF", 'A', 4, 5, 6, "HF") + "\n";
  text += atom_line("HETATM", "HO  ", ' ', " HO", 'A', 4, 5, 6, "HO") + "\n";
  text += atom_line("HETATM", " O  ", ' ', "HOH", 'A', 4, 5, 6, " O") + "\n";
  text += atom_line("HETATM", " O  ", ' ', "WAT", 'A', 4, 5, 6, " O") + "\n";
  text += atom_line("HETATM", " O  ", ' ', "DOD", 'A', 4, 5, 6, " O") + "\n";
  text += atom_line("ATOM", " CA ", ' ', "GLY", 'B', 7, 8, 9, " C") + "\n";
  text += "END\n";
  const auto file = dir.write("metals.pdb", text);
  const FilteredStructure f = filter_structure(file, {false, 0, true, "A"}, false);
  const auto lines = file_lines(f.copy.path());
  std::vector<std::string> names;
  for (const auto& l : lines) {
    if (l.size() > 16) names.push_back(l.substr(12, 4) + l.substr(17, 3));
  }
  EXPECT_EQ(names, (std::vector<std::string>{" N  CYS", "HG   HG", "HF   HF", "HO   HO", " O  DOD"}));
  EXPECT_EQ(lines.back(), "END");
}

TEST(PdbFilter, CopyIsClosedAtTheEndOfAnUnfinishedFile) {
  ScratchDir dir;
  const std::string a = atom_line("ATOM", " CA ", ' ', "GLY", 'A', 1, 2, 3, " C");
  const std::string b = atom_line("ATOM", " CA ", ' ', "GLY", 'B', 1, 2, 3, " C");
  // Model 2 has no ENDMDL, the file no END; the TER after chain B follows no copied atom.
  const auto file = dir.write("open.pdb", "MODEL 1\n" + a + "\nENDMDL\nMODEL 2\n" + a + "\nTER\n" + b +
                                               "\nTER\n" + a + "\r\n");
  const FilteredStructure m = filter_structure(file, {true, 2, true, "A"}, false);
  EXPECT_EQ(file_text(m.copy.path()), "MODEL      " "    2\n" + a + "\nTER\n" + a + "\nENDMDL\nEND\n");
  const FilteredStructure c = filter_structure(file, {false, 0, true, "B"}, false);
  EXPECT_EQ(file_text(c.copy.path()), b + "\nTER\nEND\n");
  // Without ENDMDL the next MODEL record closes the chosen model.
  const FilteredStructure first = filter_structure(file, {true, 1, false, ""}, false);
  EXPECT_EQ(file_text(first.copy.path()), "MODEL      " "    1\n" + a + "\nENDMDL\nEND\n");
}

TEST(PdbFilter, NeverTouchesAFileOfTheSelectionName) {
  ScratchDir dir;
  const auto file = dir.copy_data("1l2y.pdb");
  const auto precious = dir.write("1l2y-2.pdb", "the user's own file\n");
  std::filesystem::path copy;
  {
    RunSettings s;
    s.model_number = 2;
    s.model_selection = true;
    const JobStructure job = prepare_structure(file, s, nullptr, Report{});
    EXPECT_EQ(job.output_name, precious.string());
    copy = job.path;
    EXPECT_NE(std::filesystem::canonical(copy.parent_path()), std::filesystem::canonical(dir.path()));
    EXPECT_EQ(std::filesystem::canonical(copy.parent_path()),
              std::filesystem::canonical(std::filesystem::temp_directory_path()));
    EXPECT_TRUE(std::filesystem::exists(copy));
    EXPECT_EQ(file_lines(copy).front(), "MODEL      " "    2");
  }
  EXPECT_FALSE(std::filesystem::exists(copy));  // removed with the job
  EXPECT_EQ(file_text(precious), "the user's own file\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

TEST(PdbFilter, NoSelectionReadsTheFileItself) {
  const auto file = data_file("6lyz.pdb");
  RunSettings s;
  s.model_number = 3;  // no MODEL record in the file
  s.model_selection = true;
  const JobStructure job = prepare_structure(file, s, nullptr, Report{});
  EXPECT_EQ(job.path, file);
  EXPECT_EQ(job.output_name, file.string());
  EXPECT_TRUE(job.copy.empty());
  EXPECT_FALSE(job.selection.model_selection);
}

TEST(PdbFilter, CrLfLinesAreCopiedWithoutCarriageReturns) {
  const FilteredStructure f = filter_structure(data_file("1nvy.pdb"), {false, 0, true, "B"}, false);
  const std::string text = file_text(f.copy.path());
  EXPECT_EQ(text.find('\r'), std::string::npos);
  EXPECT_GT(text.size(), 1000u);
}

}  // namespace
}  // namespace tessel
