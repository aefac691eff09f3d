// Fixed-column parsing of PDB lines: the line reader, coordinates, element codes, atom records.
#include "io/pdb_line.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <streambuf>
#include <vector>

#include "core/errors.hpp"

namespace tessel {
namespace {

std::vector<std::string> read_all(const std::string& text) {
  std::istringstream in(text);
  LineReader reader(in);
  std::vector<std::string> lines;
  std::string line;
  while (reader.next(line)) lines.push_back(line);
  return lines;
}

TEST(PdbLineReader, LineEndsAndLongLines) {
  EXPECT_EQ(read_all("a\r\nb\n\nc"), (std::vector<std::string>{"a", "b", "", "c"}));
  EXPECT_EQ(read_all("x\r\n\r\n"), (std::vector<std::string>{"x", ""}));
  EXPECT_TRUE(read_all("").empty());

  // A line beyond 1024 characters keeps its head; the next line is read whole.
  const std::string longer(1500, 'q');
  const auto lines = read_all(longer + "\nEND\n");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], std::string(1024, 'q'));
  EXPECT_EQ(lines[1], "END");
  // Exactly 1024 characters is one whole line.
  EXPECT_EQ(read_all(std::string(1024, 'r') + "\nEND").size(), 2u);
}

// A stream whose device fails after some text.
class FailingBuffer : public std::streambuf {
 public:
  explicit FailingBuffer(std::string text) : text_(std::move(text)) {
    setg(text_.data(), text_.data(), text_.data() + text_.size());
  }

 protected:
  int_type underflow() override { throw std::ios_base::failure("device error"); }

 private:
  std::string text_;
};

TEST(PdbLineReader, DeviceFailureStopsTheRun) {
  FailingBuffer buffer("HEADER    LYSOZYME");
  std::istream in(&buffer);
  LineReader reader(in);
  std::string line;
  try {
    reader.next(line);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.status(), 1);
    EXPECT_EQ(std::string(e.what()), "\n ERROR: Error reading string :\n\n HEADER    LYSOZYME\n\n");
  }
}

TEST(PdbLine, CoordinateFields) {
  struct Case {
    const char* field;
    std::optional<double> value;
  };
  const Case cases[] = {
      {"  12.345", 12.345},   {" -98.765", -98.765}, {"   12345", 12.345},  // implied decimals
      {"    -500", -0.5},     {"     .5 ", 0.5},     {"  1 .5  ", 1.5},     // blanks ignored
      {"  1.5E+1", 15.0},     {"  1.0D2 ", 100.0},   {"  +3.000", 3.0},
      {"        ", std::nullopt}, {"  abc   ", std::nullopt}, {"  1.2.3 ", std::nullopt},
      {"   -    ", std::nullopt}, {" 1.5E   ", std::nullopt}, {"  12,34 ", std::nullopt},
      // The largest magnitudes a field holds without an exponent, and beyond them.
      {"99999.99", 99999.99}, {"99999999", 99999.999}, {"-9999999", -9999.999},
      {" 1.0E+05", std::nullopt}, {"-1.0E+05", std::nullopt}, {"9.99e+99", std::nullopt},
      {" 1.0e400", std::nullopt}, {"  nan   ", std::nullopt}, {"     inf", std::nullopt},
      {"********", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    const auto v = read_coordinate_field(c.field);
    ASSERT_EQ(v.has_value(), c.value.has_value());
    if (v) {
      EXPECT_DOUBLE_EQ(*v, *c.value);
    }
  }
}

TEST(PdbLine, ElementCodes) {
  struct Case {
    const char* name;     // columns 13-16
    const char* element;  // columns 77-78
    const char* code;
  };
  const Case cases[] = {
      {" CA ", " C", " C"}, {"CA  ", "CA", "CA"}, {"HG  ", "HG", "HG"},
      {"HG1 ", " H", " H"}, {"SE  ", "SE", "SE"},
      {" CA ", "  ", " C"},  // " C" is no two-letter code: column 14 alone
      {"CA  ", "  ", "CA"},
      {" CA ", " 1", " C"},  // digits in the element columns
      {" HA ", "  ", " H"}, {"1HG1", "  ", " H"}, {"HG  ", "  ", "HG"},
      {"  CA", "  ", " C"},  // name one column late: column 15
      {" 1QX", "  ", "1Q"},  // nothing recognised: columns 14-15 as they stand
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + "/" + c.element);
    std::string line = "HETATM    1 " + std::string(c.name) + " RES A   1       0.000   0.000   0.000";
    line += std::string(76 - line.size(), ' ') + c.element;
    EXPECT_EQ(record_element_code(line), c.code);
  }
}

TEST(PdbLine, HydrogenRule) {
  struct Case {
    const char* name;
    const char* element;
    bool hydrogen;
  };
  const Case cases[] = {
      {" HA ", " H", true},  {"HG1 ", " H", true}, {" H  ", "  ", true}, {"2HB ", "  ", true},
      {"HG  ", "HG", false}, {"HG  ", "  ", false},  // mercury
      {"HF  ", "HF", false}, {"HO  ", "HO", false}, {"HE  ", "HE", false},
      {" CA ", " C", false}, {" NH1", " N", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + "/" + c.element);
    std::string line = "ATOM      1 " + std::string(c.name) + " ARG A   1       0.000   0.000   0.000";
    line += std::string(76 - line.size(), ' ') + c.element;
    EXPECT_EQ(is_hydrogen_record(line), c.hydrogen);
    EXPECT_EQ(classify_atom_line(line, false) == AtomLineClass::kHydrogen, c.hydrogen);
    EXPECT_EQ(classify_atom_line(line, true), AtomLineClass::kAccepted);
  }
}

TEST(PdbLine, LineClassesInOrder) {
  const std::string base = "ATOM      1  O   HOH A   1       0.000   0.000   0.000  1.00  0.00           O";
  struct Case {
    std::string line;
    AtomLineClass cls;
  };
  const auto with = [&](std::size_t col, std::string_view text) {
    std::string l = base;
    l.replace(col - 1, text.size(), text);
    return l;
  };
  const Case cases[] = {
      {base, AtomLineClass::kWater},
      {with(18, "WAT"), AtomLineClass::kWater},
      {with(18, "DOD"), AtomLineClass::kAccepted},
      {with(17, "B"), AtomLineClass::kRotamer},    // a rotamer before a water
      {with(17, "A"), AtomLineClass::kWater},
      {with(1, "HETATM"), AtomLineClass::kWater},
      {with(1, "ANISOU"), AtomLineClass::kNotAtom},
      {"REMARK   2", AtomLineClass::kNotAtom},
      {"ATO", AtomLineClass::kNotAtom},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(classify_atom_line(c.line, false), c.cls);
  }
}

TEST(PdbLine, ParsesTheColumns) {
  // From 6lyz.pdb, first atom.
  const auto a = parse_atom_line(
      "ATOM      1  N   LYS A   1       3.287  10.092  10.329  1.00  5.89           N  \r");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->record_name, "ATOM  ");
  EXPECT_EQ(a->atom_name, " N  ");
  EXPECT_EQ(a->alt_loc, ' ');
  EXPECT_EQ(a->residue_name, "LYS");
  EXPECT_EQ(a->chain_id, 'A');
  EXPECT_EQ(a->residue_number, 1);
  EXPECT_DOUBLE_EQ(a->x, 3.287);
  EXPECT_DOUBLE_EQ(a->y, 10.092);
  EXPECT_DOUBLE_EQ(a->z, 10.329);
  EXPECT_EQ(a->element, " N");
  EXPECT_EQ(a->record.size(), 80u);

  // A line ending after the coordinates reads blank-padded.
  const auto s = parse_atom_line("HETATM 1001 CA    CA A 150      -1.5     2.25   -3.125");
  ASSERT_TRUE(s);
  EXPECT_EQ(s->record_name, "HETATM");
  EXPECT_EQ(s->atom_name, "CA  ");
  EXPECT_EQ(s->residue_name, " CA");
  EXPECT_EQ(s->residue_number, 150);
  EXPECT_DOUBLE_EQ(s->z, -3.125);
  EXPECT_EQ(s->element, "  ");
  EXPECT_EQ(s->record, std::string("HETATM 1001 CA    CA A 150      -1.5     2.25   -3.125") +
                           std::string(26, ' '));

  EXPECT_FALSE(parse_atom_line("ANISOU    1  N   LYS A   1      520    577    940"));
  EXPECT_FALSE(parse_atom_line("TER    1002      LEU A 129"));
  EXPECT_FALSE(parse_atom_line(""));
}

TEST(PdbLine, ResidueNumbers) {
  struct Case {
    const char* field;
    int number;
  };
  // Hybrid-36: "A000" follows 9999; "a000" follows "ZZZZ" = 10000 + 26*36^3 - 1.
  const Case cases[] = {{"   1", 1}, {"  -3", -3}, {"9999", 9999}, {"    ", 0},
                        {"A000", 10000}, {"A001", 10001}, {"a000", 10000 + 26 * 36 * 36 * 36}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    const std::string line = std::string("ATOM      1  CA  GLY A") + c.field + "       1.000   2.000   3.000";
    const auto a = parse_atom_line(line);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->residue_number, c.number);
  }
}

TEST(PdbLine, UnreadableFieldsStopTheRun) {
  const std::string bad_xyz = "ATOM      1  CA  GLY A   1       1.000   x.000   3.000";
  try {
    parse_atom_line(bad_xyz);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.status(), 1);
    EXPECT_EQ(std::string(e.what()),
              "\n ERROR: Error reading (X,Y,Z) in string :\n\n " + bad_xyz + "\n\n");
  }
  // An atom line cut before its coordinates has none to read.
  EXPECT_THROW(parse_atom_line("ATOM      1  CA  GLY A   1"), Error);
  const std::string bad_number = "ATOM      1  CA  GLY A 1x1       1.000   2.000   3.000";
  try {
    parse_atom_line(bad_number);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), "\n ERROR: Error reading string :\n\n " + bad_number + "\n\n");
  }
}

}  // namespace
}  // namespace tessel
