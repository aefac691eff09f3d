// The save file: round trips, the record layout read by an independent reader, refusal of
// damaged or foreign files, the write warning and the log lines after a read.
#include "io/save_file.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <sstream>

#include "io/record_file.hpp"
#include "pdb_test_files.hpp"

namespace tessel {
namespace {

using testing::ScratchDir;

// 0-based position of (l, m) among the stored coefficients, from the file's 1-based
// l(l+1)/2 + m + 1.
std::size_t position(int l, int m) { return static_cast<std::size_t>(l * (l + 1) / 2 + m); }
std::size_t pair_count(int l_max) {
  return static_cast<std::size_t>((l_max + 1) * (l_max + 2) / 2);
}

// Amplitude values that name their own harmonic and s point, so that a misplaced value shows.
std::complex<double> atom_value(int l, int m, int k) { return {100.0 * l + m + 0.125, -(k + 1.0)}; }
std::complex<double> vdw_value(int l, int m, int k) { return {-(l + 1.0) * (k + 1), 0.5 * m}; }
std::complex<double> border_value(int l, int m, int k) { return {0.01 * l, -1e7 * m + k}; }

// A consistent data set; the amplitude of (l, m) at point k is stored at index j + nh·k.
SaveData sample(int l_max, int order, int directions, int n_points, const std::string& name) {
  SaveData d;
  d.l_max = l_max;
  d.fibonacci_order = order;
  d.n_directions = directions;
  d.s_max = 0.37;
  d.n_points = n_points;
  d.structure_name = name;
  d.n_atoms = 1234;
  d.electron_rg = 15.1;
  d.molecular_weight = 14300.5;
  d.envelope_rg = 16.2;
  d.envelope_volume = 23456.7;
  d.envelope_surface = 4321.9;
  d.envelope_radius = 21.3;
  d.envelope_diameter = 48.4;
  d.shell_rg = 17.5;
  d.shell_volume = 8765.6;
  d.shape_rg = 14.7;
  const std::size_t nh = pair_count(l_max);
  for (int k = 0; k < n_points; ++k) d.s.push_back(0.37 * k / std::max(n_points - 1, 1));
  d.atomalm.resize(nh * d.s.size());
  d.vdwalm.resize(nh * d.s.size());
  d.bordalm.resize(nh * d.s.size());
  for (int k = 0; k < n_points; ++k) {
    for (int l = 0; l <= l_max; ++l) {
      for (int m = 0; m <= l; ++m) {
        const std::size_t i = position(l, m) + nh * static_cast<std::size_t>(k);
        d.atomalm[i] = atom_value(l, m, k);
        d.vdwalm[i] = vdw_value(l, m, k);
        d.bordalm[i] = border_value(l, m, k);
      }
    }
  }
  // Values whose bits a lossy path would change.
  d.atomalm.front() = {-0.0, std::numeric_limits<double>::denorm_min()};
  d.vdwalm.back() = {std::numeric_limits<double>::max(), -std::numeric_limits<double>::infinity()};
  d.bordalm[nh / 2] = {std::nextafter(1.0, 2.0), -std::numeric_limits<double>::min()};
  return d;
}

std::string bytes_of(const SaveData& d) {
  std::ostringstream out;
  write_save_data(out, d);
  return out.str();
}

std::span<const std::byte> as_span(const std::string& s) {
  return std::as_bytes(std::span<const char>(s));
}

// Every value read equals the one written, bit for bit: the read data written again gives the
// same bytes (the layout test below shows that every value has its own place in them).
void expect_equal(const SaveData& got, const SaveData& want) {
  EXPECT_EQ(got.structure_name, want.structure_name);
  EXPECT_EQ(got.atomalm, want.atomalm);
  EXPECT_TRUE(bytes_of(got) == bytes_of(want));
}

// ---- an independent reader of the framing, written from the file description --------------

std::uint32_t u32_at(const std::string& b, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b.at(at + i));
  return v;
}

double f64_at(const std::string& b, std::size_t at) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b.at(at + i));
  return std::bit_cast<double>(v);
}

struct RawRecord {
  std::size_t payload_offset;
  std::uint32_t length;
};

// Splits the bytes into records, checking each trailing marker and that nothing is left over.
std::vector<RawRecord> split_records(const std::string& b) {
  std::vector<RawRecord> records;
  std::size_t at = 0;
  while (at < b.size()) {
    const std::uint32_t length = u32_at(b, at);
    EXPECT_EQ(u32_at(b, at + 4 + length), length) << "record " << records.size() + 1;
    records.push_back({at + 4, length});
    at += 8 + static_cast<std::size_t>(length);
  }
  EXPECT_EQ(at, b.size());
  return records;
}

// ---- round trips and layout ----------------------------------------------------------------

TEST(SaveFile, RoundTripKeepsEveryValue) {
  struct Case {
    int l_max, order, directions, n_points;
    const char* name;
  };
  // Directions F(order + 1): 2584 for order 17, 89 for 10, 4181 for 18.
  const Case cases[] = {
      {15, 17, 2584, 51, "lyz.pdb"},
      {7, 10, 89, 3, "/data/models/1abc.ent"},
      {0, 18, 4181, 1, "x.pdb"},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SaveData d = sample(c.l_max, c.order, c.directions, c.n_points, c.name);
    const auto file = dir.path() / "round.sav";
    write_save_file(file, d);
    expect_equal(read_save_file(file), d);
    const std::string bytes = bytes_of(d);
    expect_equal(read_save_data(as_span(bytes)), d);
  }
}

TEST(SaveFile, RecordLengthsAndLayout) {
  struct Case {
    int l_max, n_points;
    std::uint32_t record4;  // 8·ns + 48·nh·ns
  };
  const Case cases[] = {
      {15, 51, 8 * 51 + 48 * 136 * 51},  // 333336
      {7, 3, 8 * 3 + 48 * 36 * 3},       // 5208
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("L = " + std::to_string(c.l_max));
    const SaveData d = sample(c.l_max, 17, 2584, c.n_points, "lyz.pdb");
    const std::string b = bytes_of(d);
    const std::vector<RawRecord> r = split_records(b);
    ASSERT_EQ(r.size(), 4U);
    EXPECT_EQ(r[0].length, 1052U);
    EXPECT_EQ(r[1].length, 56U);
    EXPECT_EQ(r[2].length, 24U);
    EXPECT_EQ(r[3].length, c.record4);

    // Record 1: L, order, directions, s_max, ns, name, atoms.
    const std::size_t p1 = r[0].payload_offset;
    EXPECT_EQ(u32_at(b, p1), static_cast<std::uint32_t>(c.l_max));
    EXPECT_EQ(u32_at(b, p1 + 4), 17U);
    EXPECT_EQ(u32_at(b, p1 + 8), 2584U);
    EXPECT_EQ(f64_at(b, p1 + 12), 0.37);
    EXPECT_EQ(u32_at(b, p1 + 20), static_cast<std::uint32_t>(c.n_points));
    EXPECT_EQ(u32_at(b, p1 + 1048), 1234U);

    // Records 2 and 3 in their documented order.
    const double rec2[] = {15.1, 14300.5, 16.2, 23456.7, 4321.9, 21.3, 48.4};
    for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(f64_at(b, r[1].payload_offset + 8 * i), rec2[i]);
    const double rec3[] = {17.5, 8765.6, 14.7};
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(f64_at(b, r[2].payload_offset + 8 * i), rec3[i]);

    // Record 4: s, then the three arrays with the harmonic index varying fastest.
    const std::size_t p4 = r[3].payload_offset;
    const std::size_t nh = pair_count(c.l_max);
    const auto ns = static_cast<std::size_t>(c.n_points);
    EXPECT_EQ(f64_at(b, p4 + 8 * (ns - 1)), d.s.back());
    const std::size_t array_bytes = 16 * nh * ns;
    const int l = c.l_max, m = c.l_max / 2, k = c.n_points - 1;
    const std::size_t cell = 16 * (position(l, m) + nh * static_cast<std::size_t>(k));
    const std::size_t a = p4 + 8 * ns + cell;
    EXPECT_EQ(std::complex<double>(f64_at(b, a), f64_at(b, a + 8)), atom_value(l, m, k));
    const std::size_t v = a + array_bytes;
    EXPECT_EQ(std::complex<double>(f64_at(b, v), f64_at(b, v + 8)), vdw_value(l, m, k));
    const std::size_t w = v + array_bytes;
    EXPECT_EQ(std::complex<double>(f64_at(b, w), f64_at(b, w + 8)), border_value(l, m, k));
  }
}

TEST(SaveFile, StructureNameIsBlankPaddedAndReadBackTrimmed) {
  const std::string names[] = {"lyz.pdb", "dir with blanks/my model.pdb", std::string(1024, 'n'),
                               ""};
  for (const std::string& name : names) {
    SCOPED_TRACE(name.substr(0, 40));
    const std::string b = bytes_of(sample(2, 17, 2584, 2, name));
    const std::string field = b.substr(4 + 24, 1024);
    EXPECT_EQ(field, name + std::string(1024 - name.size(), ' '));
    EXPECT_EQ(read_save_data(as_span(b)).structure_name, name);
  }
  // Trailing blanks of the name as given do not survive; inner ones do.
  const std::string b = bytes_of(sample(2, 17, 2584, 2, "a b.pdb   "));
  EXPECT_EQ(read_save_data(as_span(b)).structure_name, "a b.pdb");
}

// ---- refusals ------------------------------------------------------------------------------

void put_u32(std::string& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.at(at + i) = static_cast<char>((v >> (8 * i)) & 0xFF);
}

void put_f64(std::string& b, std::size_t at, double x) {
  const std::uint64_t v = std::bit_cast<std::uint64_t>(x);
  for (int i = 0; i < 8; ++i) b.at(at + i) = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Offsets in a file: record 1's leading marker at 0, L at 4, grid order at 8, directions at 12,
// s_max at 16, ns at 24, name at 28, atoms at 1052, trailing marker at 1056; record 2 from 1060.
constexpr std::size_t kAtL = 4, kAtOrder = 8, kAtDirections = 12, kAtSmax = 16, kAtNs = 24,
                      kAtName = 28, kAtAtoms = 1052, kAtTrail1 = 1056, kAtRecord2 = 1060;
constexpr std::size_t kAtRecord4 = kAtRecord2 + 64 + 32;

TEST(SaveFile, DamagedOrForeignFilesAreRefused) {
  // L = 7, ns = 3: record 4 has 5208 bytes; the file 1060 + 64 + 32 + 5216 = 6372 bytes.
  const std::string good = bytes_of(sample(7, 17, 2584, 3, "lyz.pdb"));
  ASSERT_EQ(good.size(), 6372U);
  std::mt19937 random(12345);
  std::string noise(6372, '\0');
  for (char& ch : noise) ch = static_cast<char>(random() & 0xFF);

  struct Case {
    std::string name;
    std::string bytes;
    std::string reason;  // part of the reason the reader gives
  };
  std::vector<Case> cases;
  auto patched = [&](std::string name, std::string reason, auto patch) {
    std::string b = good;
    patch(b);
    cases.push_back({std::move(name), std::move(b), std::move(reason)});
  };
  cases.push_back({"empty file", "", "no record"});
  cases.push_back({"a PDB text",
                   "HEADER    HYDROLASE    09-JUL-93   1LYZ\n"
                   "ATOM      1  N   LYS A   1       3.294  10.164  10.266  1.00 11.18           N\n",
                   "length"});
  cases.push_back({"random bytes", noise, ""});
  cases.push_back({"record 4 cut short", good.substr(0, good.size() - 100), "bytes left"});
  cases.push_back({"last marker missing", good.substr(0, good.size() - 4), "bytes left"});
  cases.push_back({"only record 1", good.substr(0, kAtRecord2), "no record"});
  cases.push_back({"one byte too many", good + '\0', "after the last record"});
  cases.push_back({"record 4 twice", good + good.substr(kAtRecord4), "after the last record"});
  patched("record 1 markers disagree", "trailing record marker",
          [](std::string& b) { put_u32(b, kAtTrail1, 1051); });
  patched("record 1 of another length", "record 1 has",
          [](std::string& b) { put_u32(b, 0, 1048); });
  patched("negative marker", "negative", [](std::string& b) { put_u32(b, 0, 0xFFFFFFF0U); });
  patched("record 2 markers disagree", "trailing record marker",
          [](std::string& b) { put_u32(b, kAtRecord2 + 60, 57); });
  patched("record 4 markers disagree", "trailing record marker",
          [&](std::string& b) { put_u32(b, good.size() - 4, 5200); });
  patched("absurd L", "harmonic order", [](std::string& b) { put_u32(b, kAtL, 0x7FFFFFFF); });
  patched("negative L", "harmonic order", [](std::string& b) { put_u32(b, kAtL, 0xFFFFFFFFU); });
  patched("L that does not match record 4", "record 4 has",
          [](std::string& b) { put_u32(b, kAtL, 8); });
  patched("ns beyond 5000", "points", [](std::string& b) { put_u32(b, kAtNs, 5001); });
  patched("absurd ns", "points", [](std::string& b) { put_u32(b, kAtNs, 0x7FFFFFFF); });
  patched("ns that does not match record 4", "record 4 has",
          [](std::string& b) { put_u32(b, kAtNs, 4); });
  patched("grid order 19", "grid order", [](std::string& b) { put_u32(b, kAtOrder, 19); });
  patched("directions off by one", "directions",
          [](std::string& b) { put_u32(b, kAtDirections, 2583); });
  patched("s_max zero", "maximum s", [](std::string& b) { put_f64(b, kAtSmax, 0.0); });
  patched("s_max NaN", "maximum s",
          [](std::string& b) { put_f64(b, kAtSmax, std::numeric_limits<double>::quiet_NaN()); });
  patched("negative atom count", "atoms",
          [](std::string& b) { put_u32(b, kAtAtoms, 0xFFFFFFFFU); });
  patched("NUL in the name", "NUL", [](std::string& b) { b[kAtName + 3] = '\0'; });
  // A header claiming the largest sound record 4 (L = 99, ns = 5000: 1212040000 bytes) in front
  // of a small file: refused before the arrays are allocated.
  patched("huge record 4 claimed", "bytes left", [](std::string& b) {
    put_u32(b, kAtL, 99);
    put_u32(b, kAtNs, 5000);
    put_u32(b, kAtRecord4, 8 * 5000 + 48 * 5050 * 5000);
  });

  ScratchDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      read_save_data(as_span(c.bytes));
      ADD_FAILURE() << "accepted from memory";
    } catch (const SaveFormatError& e) {
      EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
    }
    const auto file = dir.write("damaged.sav", c.bytes);
    try {
      read_save_file(file);
      ADD_FAILURE() << "accepted from a file";
    } catch (const SaveFileReadError& e) {
      EXPECT_EQ(std::string(e.what()), " Error opening or reading file " + file.string());
      EXPECT_NE(e.reason().find(c.reason), std::string::npos) << e.reason();
    }
  }
}

TEST(SaveFile, EveryShortenedFileIsRefused) {
  // L = 0, ns = 1: 1060 + 64 + 32 + (56 + 8) = 1220 bytes.
  const std::string good = bytes_of(sample(0, 17, 2584, 1, "a.pdb"));
  ASSERT_EQ(good.size(), 1220U);
  for (std::size_t n = 0; n < good.size(); ++n) {
    EXPECT_THROW(read_save_data(as_span(good.substr(0, n))), SaveFormatError) << n << " bytes";
  }
}

TEST(SaveFile, MissingOrUnreadableFileIsRefused) {
  ScratchDir dir;
  const std::filesystem::path paths[] = {dir.path() / "absent.sav", dir.path()};
  for (const auto& p : paths) {
    SCOPED_TRACE(p.string());
    try {
      read_save_file(p);
      ADD_FAILURE() << "accepted";
    } catch (const SaveFileReadError& e) {
      EXPECT_EQ(std::string(e.what()), " Error opening or reading file " + p.string());
    }
  }
}

// ---- writing -------------------------------------------------------------------------------

TEST(SaveFile, WriteFailureGivesTheWarning) {
  ScratchDir dir;
  std::vector<std::filesystem::path> paths = {dir.path() / "no such folder" / "lyz00.sav"};
  if (std::filesystem::exists("/dev/full")) paths.emplace_back("/dev/full");  // writes fail
  const SaveData d = sample(15, 17, 2584, 51, "lyz.pdb");
  for (const auto& p : paths) {
    SCOPED_TRACE(p.string());
    try {
      write_save_file(p, d);
      ADD_FAILURE() << "no failure";
    } catch (const SaveFileWriteError& e) {
      EXPECT_EQ(std::string(e.what()), " Warning: Error writing file " + p.string());
    }
  }
}

TEST(SaveFile, WriterRefusesDataThatWouldNotReadBack) {
  struct Case {
    const char* name;
    void (*spoil)(SaveData&);
  };
  const Case cases[] = {
      {"L 100", [](SaveData& d) { d.l_max = 100; }},
      {"ns 0", [](SaveData& d) { d.n_points = 0; }},
      {"directions of another order", [](SaveData& d) { d.n_directions = 89; }},
      {"s_max zero", [](SaveData& d) { d.s_max = 0.0; }},
      {"name of 1025 characters", [](SaveData& d) { d.structure_name.assign(1025, 'a'); }},
      {"NUL in the name", [](SaveData& d) { d.structure_name += '\0'; }},
      {"s grid too short", [](SaveData& d) { d.s.pop_back(); }},
      {"amplitudes of another L", [](SaveData& d) { d.vdwalm.resize(pair_count(14) * 3); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SaveData d = sample(7, 17, 2584, 3, "lyz.pdb");
    c.spoil(d);
    std::ostringstream out;
    EXPECT_THROW(write_save_data(out, d), std::invalid_argument);
    EXPECT_TRUE(out.str().empty());
  }
}

TEST(SaveFile, RewritingReplacesTheFile) {
  ScratchDir dir;
  const auto file = dir.path() / "lyz00.sav";
  write_save_file(file, sample(15, 17, 2584, 51, "big.pdb"));
  const SaveData small = sample(1, 10, 89, 2, "small.pdb");
  write_save_file(file, small);
  expect_equal(read_save_file(file), small);
  EXPECT_EQ(std::filesystem::file_size(file), bytes_of(small).size());
}

// ---- the log lines after a read ------------------------------------------------------------

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(SaveFile, ReportAfterReading) {
  SaveData d = sample(15, 17, 2584, 3, "/data/lyz.pdb");
  d.s = {0.0, 0.2, 0.45};  // the reported maximum is the last point, not s_max (0.37)
  d.n_atoms = 1001;
  d.electron_rg = 15.0;
  d.envelope_rg = 16.5;
  d.shape_rg = 14.25;
  d.envelope_volume = 23457.0;
  d.shell_volume = 8000.0;
  d.envelope_surface = 4321.6;
  d.shell_rg = 0.125;
  d.envelope_radius = 0.05;
  d.envelope_diameter = 123456.0;

  // Labelled lines: one blank, the label (leading blank kept) in columns 1.., a blank, dots to
  // column 56, " : " with the colon in column 58, the value. So a label of n characters gets
  // 55 − n dots.
  auto labelled = [](const std::string& label, int dots, const std::string& value) {
    return " " + label + " " + std::string(static_cast<std::size_t>(dots), '.') + " : " + value;
  };
  // "( A, G10.4, A, G10.4)": G10.4 is a fixed field of 6 with 4 significant digits and 4
  // blanks for 0.1 <= |x| < 1e4 (15.00, 14.25, 8000., 0.1250, 3.000, 4322.), else E10.4
  // (0.2346E+05, 0.5000E-01, 0.1235E+06); the line's trailing blanks go.
  const std::vector<std::string> expected = {
      "",
      labelled(" Information read from file", 28, "lyz00.sav"),
      "",
      "",
      " --------  Real space resolution and grid  --------",
      labelled(" Maximum order of harmonic", 29, "15"),
      labelled(" Order of Fibonacci grid", 31, "17"),
      labelled(" Total number of directions", 28, "2584"),
      "",
      "",
      " ------------  Reciprocal space grid  -------------",
      labelled(" Maximum scattering angle", 30, "0.4500"),
      labelled(" Number of angular points", 30, "3"),
      "",
      "",
      " --- Structural parameters (sizes in angstroms) ---",
      labelled(" PDB file name", 41, "/data/lyz.pdb"),
      labelled(" Number of atoms", 39, "1001"),
      "",
      "",
      " Electron   Rg   : 15.00       Envelope   Rg      : 16.50",
      " Shape      Rg   : 14.25       Envelope  volume   :0.2346E+05",
      " Shell    volume : 8000.       Envelope  surface  : 4322.",
      " Shell      Rg   :0.1250       Envelope  radius   :0.5000E-01",
      " Shell    width  : 3.000       Envelope  diameter :0.1235E+06",
      "",
  };
  const std::string text = save_file_report(d, "lyz00.sav");
  EXPECT_EQ(text.back(), '\n');
  const std::vector<std::string> got = lines_of(text);
  ASSERT_EQ(got.size(), expected.size());
  for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], expected[i]) << "line " << i + 1;
}

}  // namespace
}  // namespace tessel
