// Answer text: comments, blanks, number conversion and the file-name splitter.
#include "dialogue/answer_text.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace tessel {
namespace {

TEST(AnswerText, CommentsAndItems) {
  struct Case {
    std::string line, answer, item;
  };
  const std::vector<Case> cases = {
      {"15 ! remark", "15", "15"},
      {"! all comment", "", ""},
      {"  20,30  ", "  20,30", "  20"},
      {"1;2,3", "1;2,3", "1"},
      {"a!b!c", "a", "a"},
      {"x\t\r", "x", "x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("line: \"" + c.line + "\"");
    EXPECT_EQ(strip_comment(c.line), c.answer);
    EXPECT_EQ(first_item(strip_comment(c.line)), c.item);
  }
}

TEST(AnswerText, Integers) {
  struct Case {
    std::string text;
    std::optional<int> value;
  };
  const std::vector<Case> cases = {
      {"0", 0},           {"  42 ", 42},          {"-7", -7},        {"+8", 8},
      {"2147483647", 2147483647},                 {"-2147483648", -2147483647 - 1},
      {"2147483648", {}}, {"", {}},               {"   ", {}},       {"1.5", {}},
      {"12abc", {}},      {"1 2", {}},            {"++1", {}},       {"+-1", {}},
      {"-", {}},          {"1e3", {}},            {"0x10", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("text: \"" + c.text + "\"");
    EXPECT_EQ(parse_integer(c.text), c.value);
  }
}

TEST(AnswerText, Reals) {
  struct Case {
    std::string text;
    std::optional<double> value;
  };
  const std::vector<Case> cases = {
      {"0.5", 0.5},     {" 5 ", 5.0},       {"5.", 5.0},      {".5", 0.5},
      {"+.25", 0.25},   {"-1.5e-3", -1.5e-3}, {"1.5E3", 1500.0}, {"2d-2", 0.02},
      {"2D+1", 20.0},   {"", {}},           {"abc", {}},      {"inf", {}},
      {"nan", {}},      {"infinity", {}},   {"1e999", {}},    {"1.2.3", {}},
      {"0x1p3", {}},    {"1,5", {}},        {"--1", {}},      {"e5", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("text: \"" + c.text + "\"");
    EXPECT_EQ(parse_real(c.text), c.value);
  }
}

TEST(AnswerText, FileNameSplit) {
  struct Case {
    std::string path, directory, name, extension;
    bool has_dot, ok;
  };
  const std::vector<Case> cases = {
      {"1abc.pdb", "", "1abc", "pdb", true, true},
      {"1abc", "", "1abc", "", false, true},
      {"a.b.c", "", "a.b", "c", true, true},
      {"dir.v2/1abc", "dir.v2/", "1abc", "", false, true},
      {"/data/x.dat", "/data/", "x", "dat", true, true},
      {"./x", "./", "x", "", false, true},
      {".profile", "", ".profile", "", false, true},
      {"x.", "", "x", "", true, true},
      {"dir/", "dir/", "", "", false, false},
      {"..", "", "..", "", false, false},
      {"a/.", "a/", ".", "", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("path: \"" + c.path + "\"");
    const FileNameParts p = split_file_name(c.path);
    EXPECT_EQ(p.directory, c.directory);
    EXPECT_EQ(p.name, c.name);
    EXPECT_EQ(p.extension, c.extension);
    EXPECT_EQ(p.has_dot, c.has_dot);
    EXPECT_EQ(p.ok, c.ok);
  }
}

}  // namespace
}  // namespace tessel
