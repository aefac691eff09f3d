// Console questions driven by scripted answers: prompt layout, defaults, repeats, end of input.
#include "dialogue/dialogue.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "core/errors.hpp"
#include "dialogue/question_layout.hpp"

namespace tessel {
namespace {

std::string dots(std::size_t n) { return std::string(n, '.'); }
std::string blanks(std::size_t n) { return std::string(n, ' '); }

// Number of times `part` occurs in `text`.
std::size_t count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (auto p = text.find(part); p != std::string::npos; p = text.find(part, p + 1)) ++n;
  return n;
}

// A dialogue over a scripted input; the console text is collected.
struct Script {
  explicit Script(std::string answers) : in(std::move(answers)), dialogue(in, out) {}
  std::istringstream in;
  std::ostringstream out;
  Dialogue dialogue;
};

// Column layout, hand-counted on the prompt line as built (the write adds one leading blank
// in front of it): the question starts in column 1, then one blank, the dots and a 16-column
// field "< " + default right-aligned in 12 + " >" whose last column is 57, then ": ".
TEST(QuestionLayout, PromptLines) {
  struct Case {
    std::string question, default_text, expected;
  };
  const std::vector<Case> cases = {
      // 17 + 1 = 18 columns, 23 dots to column 41, field in columns 42..57.
      {"Enter your option", "0", " Enter your option " + dots(23) + "<" + blanks(12) + "0 >: "},
      {"Maximum s value", "0.5000", " Maximum s value " + dots(25) + "< " + blanks(6) + "0.5000 >: "},
      // The text's own leading blank is kept: 28 + 1 = 29 columns, 12 dots.
      {" Maximum order of  harmonics", "15",
       "  Maximum order of  harmonics " + dots(12) + "< " + blanks(10) + "15 >: "},
      // Trailing blanks of the question are ignored.
      {"Plot the fit    ", "Yes", " Plot the fit " + dots(28) + "< " + blanks(9) + "Yes >: "},
      // 39 characters of text and the blank take 40 columns: one dot, then the field.
      {std::string(39, 'q'), "1", " " + std::string(39, 'q') + " .<" + blanks(12) + "1 >: "},
      // 41 characters: the field is pushed right and ends in column 58.
      {"Account for explicit hydrogens? [ Y / N ]", "No",
       " Account for explicit hydrogens? [ Y / N ] < " + blanks(10) + "No >: "},
      // A default of 20 characters widens the field to 24, still ending in column 57.
      {"x", "12345678901234567890", " x " + dots(31) + "< 12345678901234567890 >: "},
      // No default: no field, the dots stop where a 16-column field would begin.
      {"Process chain (0: all chains)", "", " Process chain (0: all chains) " + dots(11) + ": "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("question: \"" + c.question + "\"");
    EXPECT_EQ(question_text(c.question, c.default_text), c.expected);
  }
}

TEST(QuestionLayout, LongTextsAreBrokenAtTheLastBlankWithin41Characters) {
  struct Case {
    std::string question, lines, last_piece;
  };
  const std::vector<Case> cases = {
      // Blanks at columns 40 and 44 of the text: the break uses the one at 40.
      {"The quick brown fox jumps over the lazy dog and runs away",
       " The quick brown fox jumps over the lazy\n", "dog and runs away"},
      // A blank in column 41 itself still counts.
      {std::string(40, 'a') + " bbb", " " + std::string(40, 'a') + "\n", "bbb"},
      // Exactly 41 characters are not broken.
      {std::string(41, 'a'), "", std::string(41, 'a')},
      // No blank within 41 characters: cut at 41.
      {std::string(50, 'x'), " " + std::string(41, 'x') + "\n", std::string(9, 'x')},
      // Broken twice.
      {std::string(30, 'a') + " " + std::string(30, 'b') + " " + std::string(30, 'c'),
       " " + std::string(30, 'a') + "\n " + std::string(30, 'b') + "\n", std::string(30, 'c')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("question: \"" + c.question + "\"");
    EXPECT_EQ(question_text(c.question, "7"), c.lines + question_text(c.last_piece, "7"));
  }
}

TEST(Dialogue, IntegerAnswers) {
  struct Case {
    std::string answers;
    int value, expected;
    std::size_t prompts;
  };
  const std::vector<Case> cases = {
      {"\n", 0, 0, 1},                 // Enter takes the default
      {"20,30\n", 0, 20, 1},           // up to the first comma
      {"-3;4\n", 0, -3, 1},            // or semicolon
      {"15 ! remark\n", 0, 15, 1},     // a comment is ignored
      {"! only a remark\n", 7, 7, 1},  // a comment alone is an empty answer
      {"  42  \n", 0, 42, 1},
      {"+8\n", 0, 8, 1},
      {"7\r\n", 0, 7, 1},              // a DOS line end
      {"5", 0, 5, 1},                  // last line without its line end
      {"abc\n7\n", 0, 7, 2},           // letters ask again
      {"1.5\n2\n", 0, 2, 2},           // not an integer
      {"12abc\n3\n", 0, 3, 2},
      {"99999999999\n4\n", 0, 4, 2},   // too large for an integer
      {",5\n6\n", 0, 6, 2},            // nothing before the comma
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("answers: \"" + c.answers + "\"");
    Script s(c.answers);
    EXPECT_EQ(s.dialogue.ask_integer("Enter your option", c.value), c.expected);
    EXPECT_EQ(count(s.out.str(), " Enter your option "), c.prompts);
  }
}

TEST(Dialogue, IntegerPromptIsExact) {
  Script s("x\n\n");
  EXPECT_EQ(s.dialogue.ask_integer("Enter your option", 0), 0);
  const std::string prompt = " Enter your option " + dots(23) + "<" + blanks(12) + "0 >: ";
  EXPECT_EQ(s.out.str(), prompt + prompt);
}

TEST(Dialogue, RealAnswersAndTheDefaultShown) {
  struct Case {
    std::string answers;
    double value, expected;
    std::string shown;  // (1pg0.4): four significant digits, 1P mantissa in the E form
  };
  const std::vector<Case> cases = {
      {"\n", 0.123456789, 0.123456789, "0.1235"},
      // Typing the default as shown keeps the full-precision value.
      {"0.1235\n", 0.123456789, 0.123456789, "0.1235"},
      {"0.12350\n", 0.123456789, 0.1235, "0.1235"},
      {"0.5\n", 1.0, 0.5, "1.000"},
      {"1.5d-2\n", 1.0, 0.015, "1.000"},
      {".25,3\n", 1.0, 0.25, "1.000"},
      {"abc\ninf\nnan\n0.3\n", 1.0, 0.3, "1.000"},
      {"\n", 12345.0, 12345.0, "1.2345E+04"},
      {"3.0000E-02\n", 0.0299999999, 0.0299999999, "3.0000E-02"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("answers: \"" + c.answers + "\"");
    Script s(c.answers);
    EXPECT_EQ(s.dialogue.ask_real("Maximum s value", c.value), c.expected);
    const std::string field = "< " + blanks(12 - c.shown.size()) + c.shown + " >: ";
    EXPECT_NE(s.out.str().find(field), std::string::npos) << s.out.str();
  }
}

TEST(Dialogue, TextAnswers) {
  struct Case {
    std::string answers, expected;
  };
  const std::vector<Case> cases = {
      {"\n", ""},
      {"AB  \n", "AB"},
      {"A ! chains A only\n", "A"},
      {" _B\n", " _B"},                          // leading blanks are part of the answer
      {std::string(25, 'C') + "\n", std::string(20, 'C')},  // cut to the field
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("answers: \"" + c.answers + "\"");
    Script s(c.answers);
    EXPECT_EQ(s.dialogue.ask_text("Process chain (0: all chains)", kChainAnswerField), c.expected);
    EXPECT_EQ(s.out.str(), " Process chain (0: all chains) " + dots(11) + ": ");
  }
}

TEST(Dialogue, FileNames) {
  struct Case {
    std::string answers, expected;
  };
  const std::vector<Case> cases = {
      {"1abc\n", "1abc.pdb"},
      {"1abc.ent\n", "1abc.ent"},
      {"1ABC.PDB\n", "1ABC.PDB"},
      {"\n", ""},                              // the caller asks again
      {"  lyz.pdb  ! lysozyme\n", "lyz.pdb"},
      {"data.v2/1abc\n", "data.v2/1abc.pdb"},  // a dot in the directory is no extension
      {"./1abc\n", "./1abc.pdb"},
      {"../x.y/z.ent\n", "../x.y/z.ent"},
      {".hidden\n", ".hidden.pdb"},
      {"1abc.\n", "1abc.pdb"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("answers: \"" + c.answers + "\"");
    Script s(c.answers);
    EXPECT_EQ(s.dialogue.ask_file_name("Brookhaven file name", "pdb"), c.expected);
    EXPECT_EQ(s.out.str(), " Brookhaven file name " + dots(20) + "< " + blanks(8) + ".pdb >: ");
  }
}

TEST(Dialogue, FileNameTooLongAsksAgain) {
  const std::string prompt = " Save file name " + dots(26) + "< " + blanks(8) + ".sav >: ";
  const std::string too_long = " ASKNAM -E- File name too long.\n";
  struct Case {
    std::string answers, expected, console;
  };
  const std::vector<Case> cases = {
      // Field of 10: "abcdef.sav" just fits; "abcdefg" + ".sav" does not; 11 typed never fit.
      {"abcdef\n", "abcdef.sav", prompt},
      {"abcdefg\nab\n", "ab.sav", prompt + too_long + prompt},
      {"abcdefghijk\nabcdefg.xy\n", "abcdefg.xy", prompt + too_long + prompt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("answers: \"" + c.answers + "\"");
    Script s(c.answers);
    EXPECT_EQ(s.dialogue.ask_file_name("Save file name", ".sav", 10), c.expected);
    EXPECT_EQ(s.out.str(), c.console);
  }
}

TEST(Dialogue, FileNameAtTheFullFieldOf1024) {
  const std::string stem(1020, 'n');
  Script fits(stem + "\n");
  EXPECT_EQ(fits.dialogue.ask_file_name("Save file name", "sav"), stem + ".sav");

  Script too_long(stem + "n\n" + std::string(1025, 'm') + "\nx\n");
  EXPECT_EQ(too_long.dialogue.ask_file_name("Save file name", "sav"), "x.sav");
  EXPECT_EQ(count(too_long.out.str(), " ASKNAM -E- File name too long.\n"), 2u);
}

TEST(Dialogue, FileNameWithoutFilePartIsWarnedAndKept) {
  Script s("data/\n");
  EXPECT_EQ(s.dialogue.ask_file_name("Enter data file", "dat"), "data/.dat");
  const std::string prompt = " Enter data file " + dots(25) + "< " + blanks(8) + ".dat >: ";
  EXPECT_EQ(s.out.str(),
            prompt + " ASKNAM --W-: Error parsing file name:\n \"data/\"\n");
}

TEST(Dialogue, YesNoAnswers) {
  struct Case {
    std::string answers;
    char default_letter, expected;
    std::size_t retries;
  };
  const std::vector<Case> cases = {
      {"y\n", 'N', 'Y', 0},      {"yes\n", 'N', 'Y', 0},  {"YES\n", 'N', 'Y', 0},
      {"n\n", 'Y', 'N', 0},      {"no\n", 'Y', 'N', 0},   {"\n", 'N', 'N', 0},
      {"\n", 'Y', 'Y', 0},       {" Yep\n", 'N', 'Y', 0}, {"nope ! no\n", 'Y', 'N', 0},
      {"maybe\ny\n", 'N', 'Y', 1},
      {"1\nok\nn\n", 'Y', 'N', 2},
      {"\nn\n", ' ', 'N', 1},    // no default: Enter alone is not an answer
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("answers: \"" + c.answers + "\"");
    Script s(c.answers);
    EXPECT_EQ(s.dialogue.ask_yes_no("Account for explicit hydrogens?", c.default_letter),
              c.expected);
    EXPECT_EQ(count(s.out.str(), "Please answer by Yes, No, or CR for default.\n"), c.retries);
    EXPECT_EQ(count(s.out.str(), " Account for explicit hydrogens? [ Y / N ]"), c.retries + 1);
  }
}

TEST(Dialogue, YesNoConsoleText) {
  Script s("perhaps\n\n");
  EXPECT_EQ(s.dialogue.ask_yes_no(" Fit the experimental curve", 'Y'), 'Y');
  // 37 + 1 = 38 columns, 3 dots, field "Yes" in columns 42..57.
  const std::string prompt =
      "  Fit the experimental curve [ Y / N ] ..." + std::string("< ") + blanks(9) + "Yes >: ";
  EXPECT_EQ(s.out.str(), prompt + "Please answer by Yes, No, or CR for default.\n" + prompt);

  Script none("y\n");
  EXPECT_EQ(none.dialogue.ask_yes_no("Go on", '?'), 'Y');
  EXPECT_EQ(none.out.str(), " Go on [ Y / N ] " + dots(25) + ": ");
}

TEST(Dialogue, LogicalAnswers) {
  struct Case {
    std::string answers;
    bool flag, expected;
    std::size_t prompts;
  };
  const std::vector<Case> cases = {
      {"t\n", false, true, 1},     {"TRUE\n", false, true, 1}, {"Yes\n", false, true, 1},
      {"y\n", false, true, 1},     {"f\n", true, false, 1},    {"False\n", true, false, 1},
      {"n\n", true, false, 1},     {"NO\n", true, false, 1},   {"\n", true, true, 1},
      {"\n", false, false, 1},     {"maybe\nno\n", true, false, 2},
      {"yess\ntru\nt\n", false, true, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("answers: \"" + c.answers + "\"");
    Script s(c.answers);
    EXPECT_EQ(s.dialogue.ask_logical("Keep files", c.flag), c.expected);
    const std::string shown = c.flag ? "yes" : "no";
    const std::string prompt =
        " Keep files " + dots(30) + "< " + blanks(12 - shown.size()) + shown + " >: ";
    std::string expected;
    for (std::size_t i = 0; i < c.prompts; ++i) expected += prompt;
    EXPECT_EQ(s.out.str(), expected);  // a refused answer repeats without a message
  }
}

std::string units_menu(int default_unit) {
  return "Angular units in the input file:\n"
         "4*pi*sin(theta)/lambda [1/angstrom] (1)\n"
         "4*pi*sin(theta)/lambda [1/nm]       (2)\n"
         "2 *  sin(theta)/lambda [1/angstrom] (3)\n"
         " 2 *  sin(theta)/lambda [1/nm]  (4) " + dots(6) + "<" + blanks(12) +
         std::to_string(default_unit) + " >: ";
}

TEST(Dialogue, AngularUnitsFactors) {
  struct Case {
    std::string answer;
    double factor;  // the values as stated for the four units
  };
  const std::vector<Case> cases = {
      {"1\n", 1.0},
      {"2\n", 0.10000000149011612},
      {"3\n", 6.283185307179586},
      {"4\n", 0.6283185307179586},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("answer: " + c.answer);
    Script s(c.answer);
    std::vector<double> q = {0.0, 1.0, 0.3};
    EXPECT_EQ(s.dialogue.ask_angular_units(q, 1.0), c.factor);
    EXPECT_EQ(q[0], 0.0);
    EXPECT_EQ(q[1], c.factor);
    EXPECT_EQ(q[2], 0.3 * c.factor);
    EXPECT_EQ(s.out.str(), units_menu(1));
  }
}

TEST(Dialogue, AngularUnitsDefault) {
  struct Case {
    double factor;
    int shown;
  };
  const std::vector<Case> cases = {
      {1.0, 1},   {0.1, 2},   {static_cast<double>(0.1F), 2},
      {0.1009, 2}, {0.0991, 2}, {0.1011, 1}, {6.283185307179586, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("factor: " + std::to_string(c.factor));
    Script s("\n");
    std::vector<double> q = {2.0};
    const double factor = s.dialogue.ask_angular_units(q, c.factor);
    EXPECT_EQ(s.out.str(), units_menu(c.shown));
    EXPECT_EQ(factor, c.shown == 2 ? 0.10000000149011612 : 1.0);
    EXPECT_EQ(q[0], 2.0 * factor);
  }
}

TEST(Dialogue, AngularUnitsOutOfRangeRepeatsTheMenu) {
  Script s("7\n0\nnm\n3\n");
  std::vector<double> q = {0.5};
  EXPECT_EQ(s.dialogue.ask_angular_units(q, 0.1), 6.283185307179586);
  // 7 and 0 show the menu again, with the default unchanged; letters repeat only the question.
  const std::string menu = units_menu(2);
  const std::string prompt = menu.substr(menu.rfind('\n') + 1);
  EXPECT_EQ(s.out.str(), menu + menu + menu + prompt);
}

TEST(Dialogue, EndOfInputEndsTheProgramNormally) {
  using Ask = std::function<void(Dialogue&)>;
  const std::vector<std::pair<std::string, Ask>> questions = {
      {"integer", [](Dialogue& d) { (void)d.ask_integer("Enter your option", 0); }},
      {"real", [](Dialogue& d) { (void)d.ask_real("Maximum s value", 0.5); }},
      {"text", [](Dialogue& d) { (void)d.ask_text("Process chain (0: all chains)", 20); }},
      {"file", [](Dialogue& d) { (void)d.ask_file_name("Brookhaven file name", "pdb"); }},
      {"yes/no", [](Dialogue& d) { (void)d.ask_yes_no("Subtract constant", 'N'); }},
      {"logical", [](Dialogue& d) { (void)d.ask_logical("Keep files", true); }},
      {"units", [](Dialogue& d) {
         std::vector<double> q = {1.0};
         (void)d.ask_angular_units(q, 1.0);
       }},
  };
  for (const std::string input : {"", "garbage\n", "garbage"}) {
    for (const auto& [name, ask] : questions) {
      if (input != "" && name == "text") continue;  // any text is an answer
      if (input != "" && name == "file") continue;  // any name is an answer
      SCOPED_TRACE(name + " question, input \"" + input + "\"");
      Script s(input);
      EXPECT_THROW(ask(s.dialogue), NormalExit);
    }
  }
}

// Counts the flushes that reach the console.
class SyncCounter : public std::stringbuf {
 public:
  int syncs = 0;

 protected:
  int sync() override {
    ++syncs;
    return std::stringbuf::sync();
  }
};

TEST(Dialogue, ProgressTextHasNoLineEndAndIsFlushed) {
  SyncCounter buffer;
  std::ostream console(&buffer);
  std::istringstream none;
  Dialogue d(none, console);
  d.progress(" Reading atoms   ");
  EXPECT_EQ(buffer.str(), " Reading atoms");
  EXPECT_EQ(buffer.syncs, 1);
  d.progress(".");
  EXPECT_EQ(buffer.str(), " Reading atoms.");
}

TEST(Dialogue, FileChooserIsEmptyOnTheConsole) {
  Script s("1abc\n");
  EXPECT_EQ(s.dialogue.choose_file("PDB files(*.pdb),*.pdb;PDB entries(*.ent),*.ent;",
                                   "***  PLEASE SELECT THE PDB FILE NAME  ***", "pdb"),
            "");
  EXPECT_EQ(s.out.str(), "");
  // The answer is left for the file-name question that follows.
  EXPECT_EQ(s.dialogue.ask_file_name("Brookhaven file name", "pdb"), "1abc.pdb");
}

}  // namespace
}  // namespace tessel
