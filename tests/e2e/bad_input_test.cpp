// What users feed the program from everywhere: empty and binary files, cut and garbled atom
// lines, absurd coordinates, degenerate models, long lines, names that are no regular file,
// names with blanks and shell characters, unreadable data and save files, a read-only working
// directory, a full disk, and several runs at once in one directory. Every failure must say what
// was wrong, end with a non-zero status, never crash or hang, and leave earlier results alone.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "output_checks.hpp"
#include "run_program.hpp"
#include "text_pattern.hpp"

namespace tessel_test {
namespace {

namespace fs = std::filesystem;

// Small grids keep each run well under a second: harmonic order 5, the smallest Fibonacci
// grid, 11 curve points.
const std::vector<std::string> kSmallGrid = {"-lm", "5", "-fb", "10", "-ns", "11"};

std::vector<std::string> args_with(std::vector<std::string> files,
                                   const std::vector<std::string>& extra = kSmallGrid) {
  files.insert(files.end(), extra.begin(), extra.end());
  return files;
}

void write_file(const fs::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// An ATOM line in the fixed columns of the format: serial 7-11, name 13-16, residue 18-20,
// chain 22, residue number 23-26, x, y, z in 31-54 (given as the 8-character fields, so that
// tests can put anything there), occupancy, B factor, element 77-78.
std::string atom_line(int serial, const std::string& name, const std::string& x,
                      const std::string& y, const std::string& z, int residue = 1,
                      const std::string& element = " C", const std::string& residue_name = "ALA") {
  char buf[128];
  std::snprintf(buf, sizeof buf, "ATOM  %5d %-4s %3s A%4d    %8s%8s%8s  1.00 20.00          %2s\n",
                serial, name.c_str(), residue_name.c_str(), residue, x.c_str(), y.c_str(),
                z.c_str(), element.c_str());
  return buf;
}

// The coordinate field of a number, F8.3.
std::string f83(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%8.3f", v);
  return buf;
}

// A few residues of a small peptide, 5 heavy atoms each, laid out along x.
std::string peptide(int residues) {
  std::string text;
  int serial = 1;
  const std::array<std::pair<const char*, std::array<double, 3>>, 5> atoms = {{
      {" N  ", {0.0, 1.2, 0.3}}, {" CA ", {1.4, 1.0, 0.0}}, {" C  ", {2.1, 2.3, -0.4}},
      {" O  ", {1.5, 3.4, -0.3}}, {" CB ", {1.8, 0.1, 1.2}}}};
  for (int r = 1; r <= residues; ++r) {
    for (const auto& [name, xyz] : atoms) {
      text += atom_line(serial++, name, f83(xyz[0] + 3.8 * r), f83(xyz[1]), f83(xyz[2]), r,
                        std::string(" ") + name[1]);
    }
  }
  return text + "END\n";
}

// One row "s I σ" of a smooth decaying curve (a Gaussian in s, Rg about 9.5 Å), 1/Å.
std::string smooth_curve_row(double s) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "%.6f %.6e %.6e\n", s, 1000.0 * std::exp(-30.0 * s * s),
                10.0 * std::exp(-30.0 * s * s) + 0.01);
  return buf;
}

// The smooth curve on 0.01, 0.02, ... 0.01·n.
std::string smooth_curve(int n) {
  std::string text;
  for (int i = 1; i <= n; ++i) text += smooth_curve_row(0.01 * i);
  return text;
}

// Bytes from a fixed seed that hold no line beginning with ATOM or HETATM.
std::string binary_junk(std::size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::string junk(size, '\0');
  for (char& c : junk) c = static_cast<char>(rng() & 0xFF);
  for (std::size_t i = 0; i + 1 < junk.size(); ++i)
    if (junk[i] == 'A' || junk[i] == 'H') junk[i] = 'x';
  return junk;
}

// The run ended by itself (no signal, no time-out) with status 1 and the message on standard
// error.
void expect_stopped(const RunResult& r, const std::string& message) {
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.signal, 0) << r.err;
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find(message), std::string::npos) << "standard error: " << r.err;
}

// The data rows of an intensity file: 1 + n lines, every value a finite number.
void expect_finite_intensity_file(const fs::path& file, std::size_t points) {
  const std::vector<std::string> lines = read_lines(file);
  ASSERT_EQ(lines.size(), 1 + points) << file;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    SCOPED_TRACE(lines[i]);
    EXPECT_EQ(lines[i].find_first_of("*NnIi"), std::string::npos);  // no ****, NaN, Infinity
    std::istringstream row(lines[i]);
    double v = 0;
    int values = 0;
    while (row >> v) {
      EXPECT_TRUE(std::isfinite(v));
      ++values;
      row.ignore(16, ' ');  // an exponent without its E (0.1-300) ends the number early
    }
    EXPECT_GE(values, 5);
  }
}

bool log_has_ending(const fs::path& log) {
  return read_file(log).find("terminated at") != std::string::npos;
}

// A tmpfs mounted on a directory for the length of a test, where the system allows it.
class TmpfsMount {
 public:
  TmpfsMount(const fs::path& dir, const std::string& options, unsigned long flags = 0)
      : dir_(dir) {
    mounted_ = ::mount("tmpfs", dir.c_str(), "tmpfs", flags, options.c_str()) == 0;
  }
  ~TmpfsMount() {
    if (mounted_) ::umount2(dir_.c_str(), MNT_DETACH);
  }
  TmpfsMount(const TmpfsMount&) = delete;
  TmpfsMount& operator=(const TmpfsMount&) = delete;
  bool mounted() const { return mounted_; }

 private:
  fs::path dir_;
  bool mounted_ = false;
};

// ---------------------------------------------------------------------------------------------
// Structure files

TEST(BadStructure, UnusableFilesStopWithAMessageAndNoResults) {
  struct Case {
    std::string name;
    std::string content;
    std::string message;
  };
  const std::string cut = "ATOM      1  CA  ALA A   1      11.10\n";  // ends inside x
  std::string nul_line = atom_line(1, " CA ", "   1.000", "   2.000", "   3.000");
  nul_line[33] = '\0';
  const std::string kWrongFile = " Wrong PDB file ";
  const std::string kBadXyz = " ERROR: Error reading (X,Y,Z) in string :";
  const Case cases[] = {
      {"empty.pdb", "", kWrongFile},
      {"junk.pdb", binary_junk(65536, 7), kWrongFile},
      {"nolines.pdb", std::string(5000, 'x'), kWrongFile},  // one line without an end
      {"header.pdb", "HEADER    NOTHING HERE\nREMARK   1\nEND\n", kWrongFile},
      {"waters.pdb", atom_line(1, " O  ", f83(1), f83(2), f83(3), 1, " O", "HOH"), kWrongFile},
      {"cut.pdb", cut, kBadXyz},
      {"letters.pdb", atom_line(1, " CA ", "  1.0a0 ", "   2.000", "   3.000"), kBadXyz},
      {"stars.pdb", atom_line(1, " CA ", "********", "   2.000", "   3.000"), kBadXyz},
      {"nan.pdb", atom_line(1, " CA ", "  nan   ", "   2.000", "   3.000"), kBadXyz},
      {"inf.pdb", atom_line(1, " CA ", "   2.000", "     inf", "   3.000"), kBadXyz},
      {"infinity.pdb", atom_line(1, " CA ", "   2.000", "   3.000", "-Infinit"), kBadXyz},
      {"nul.pdb", nul_line, kBadXyz},
      {"binary-xyz.pdb", atom_line(1, " CA ", "\x01\x7f\xff\xfe\x80\x02\x03\x04", "   2.000",
                                   "   3.000"), kBadXyz},
      // Written with an exponent: finite, but squares and sums of such numbers overflow.
      {"e300.pdb", atom_line(1, " CA ", " 1.0e300", f83(0), f83(0)) +
                       atom_line(2, " CA ", "-1.0e300", f83(0), f83(0), 2), kBadXyz},
      {"e99.pdb", atom_line(1, " CA ", "9.99e+99", f83(0), f83(0)), kBadXyz},
      {"e5.pdb", peptide(2) + atom_line(11, " CA ", " 1.0e+05", f83(0), f83(0), 3), kBadXyz},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write_file(dir.path() / c.name, c.content);
    const RunResult r = run_tessel(dir.path(), args_with({c.name}));
    expect_stopped(r, c.message);
    const std::string stem = c.name.substr(0, c.name.size() - 4);
    EXPECT_FALSE(fs::exists(dir.path() / (stem + "00.int")));
    EXPECT_FALSE(fs::exists(dir.path() / (stem + "00.alm")));
    // The log of the stopped job ends with the reason, not with the closing line.
    const fs::path log = dir.path() / (stem + "00.log");
    ASSERT_TRUE(fs::exists(log));
    EXPECT_FALSE(log_has_ending(log));
    EXPECT_NE(read_file(log).find(c.message), std::string::npos);
  }
  // None of the stopped jobs has a line in the summary.
  EXPECT_EQ(count_of(read_file(dir.path() / "tessel_summary.txt"), " Model: "), 0);
}

TEST(BadStructure, AFailingRunLeavesEarlierResultsAlone) {
  TempDir dir;
  write_file(dir.path() / "pep.pdb", peptide(4));
  ASSERT_EQ(run_tessel(dir.path(), args_with({"pep.pdb", "-kp"})).status, 0);
  const std::vector<std::string> names = {"pep00.log", "pep00.int", "pep00.alm", "pep00.flm"};
  std::vector<std::string> before;
  for (const std::string& n : names) before.push_back(read_file(dir.path() / n));
  const std::string summary_before = read_file(dir.path() / "tessel_summary.txt");

  // The same name now holds a garbled file; then a prefixless and a prefixed failing run.
  write_file(dir.path() / "pep.pdb", atom_line(1, " CA ", "  x.xxx ", f83(0), f83(0)));
  expect_stopped(run_tessel(dir.path(), args_with({"pep.pdb", "-kp"})),
                 " ERROR: Error reading (X,Y,Z)");
  for (std::size_t i = 0; i < names.size(); ++i) {
    SCOPED_TRACE(names[i]);
    EXPECT_EQ(read_file(dir.path() / names[i]), before[i]);
  }
  EXPECT_TRUE(fs::exists(dir.path() / "pep01.log"));  // the failed run had its own number
  EXPECT_FALSE(fs::exists(dir.path() / "pep01.int"));
  const std::string summary = read_file(dir.path() / "tessel_summary.txt");
  ASSERT_EQ(summary.substr(0, summary_before.size()), summary_before);
  EXPECT_EQ(summary.find(" Model: ", summary_before.size()), std::string::npos);
}

TEST(OddStructures, DegenerateButReadableModelsGiveFiniteResults) {
  struct Case {
    std::string name;
    std::string content;
  };
  std::string identical;
  for (int i = 1; i <= 1000; ++i)
    identical += atom_line(i, " O  ", f83(5), f83(-7), f83(9), i, " O");
  const Case cases[] = {
      {"one.pdb", atom_line(1, " N  ", f83(1), f83(2), f83(3), 1, " N")},
      // A zero-extent model: every atom at the centre.
      {"same.pdb", identical},
      // The largest coordinates an 8-column field holds, far apart: a huge but finite model.
      {"far.pdb", atom_line(1, " N  ", "99999.99", f83(0), f83(0), 1, " N") +
                      atom_line(2, " N  ", "-9999.99", f83(0), f83(0), 2, " N")},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write_file(dir.path() / c.name, c.content);
    const RunResult r = run_tessel(dir.path(), args_with({c.name}));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string stem = c.name.substr(0, c.name.size() - 4);
    expect_finite_intensity_file(dir.path() / (stem + "00.int"), 11);
    EXPECT_TRUE(log_has_ending(dir.path() / (stem + "00.log")));
  }
}

TEST(OddStructures, LongLinesAndLineEndsChangeNothing) {
  // The same peptide as a plain file and wrapped in the oddities a reader meets; every variant
  // must give the intensities of the plain file.
  const std::string plain = peptide(6);
  const std::string megabyte(1 << 20, 'x');
  std::string crlf;
  for (char c : plain) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  std::string long_atoms;  // every atom line followed by a megabyte of blanks and junk
  for (const std::string& line : split_lines(plain))
    long_atoms += line + (line.starts_with("ATOM") ? std::string(1 << 20, ' ') + "junk\n" : "\n");
  const std::pair<std::string, std::string> variants[] = {
      {"remark.pdb", "REMARK " + megabyte + "\n" + plain},
      {"longatoms.pdb", long_atoms},
      {"crlf.pdb", crlf},
      {"noend.pdb", plain.substr(0, plain.size() - 1)},  // no line end after the last line
  };
  TempDir dir;
  write_file(dir.path() / "plain.pdb", plain);
  ASSERT_EQ(run_tessel(dir.path(), args_with({"plain.pdb"})).status, 0);
  // The intensity file's first line names the structure; the rows must agree.
  std::vector<std::string> expected = read_lines(dir.path() / "plain00.int");
  expected.erase(expected.begin());
  for (const auto& [name, content] : variants) {
    SCOPED_TRACE(name);
    write_file(dir.path() / name, content);
    const RunResult r = run_tessel(dir.path(), args_with({name}));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string stem = name.substr(0, name.size() - 4);
    std::vector<std::string> rows = read_lines(dir.path() / (stem + "00.int"));
    ASSERT_FALSE(rows.empty());
    rows.erase(rows.begin());
    EXPECT_EQ(rows, expected);
  }
}

// ---------------------------------------------------------------------------------------------
// Names

TEST(BadNames, NamesThatAreNoRegularFileAreRefusedWithoutWaiting) {
  TempDir dir;
  fs::create_directory(dir.path() / "dir.pdb");
  ASSERT_EQ(::mkfifo((dir.path() / "fifo.pdb").c_str(), 0644), 0);
  fs::create_symlink("/dev/zero", dir.path() / "zero.pdb");  // would never end
  fs::create_symlink("nowhere.pdb", dir.path() / "dangling.pdb");
  const std::string names[] = {"dir.pdb", "fifo.pdb", "zero.pdb", "dangling.pdb", "missing.pdb"};
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    // Well within the runner's limit: refusing a name takes no time.
    const RunResult r = run_tessel(dir.path(), {name}, "", 20);
    expect_stopped(r, "error: unable to read input file: " + name);
  }
  // Interactive mode opens the name typed; a FIFO is refused and the name asked again (the end
  // of the answers then ends the run).
  const RunResult r = run_tessel(dir.path(), {}, "0\nfifo.pdb\n", 20);
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find(" Error -- Cannot open PDB file fifo.pdb"), std::string::npos) << r.err;
  EXPECT_EQ(count_of(r.out, " Brookhaven file name "), 2);
}

TEST(BadNames, BlanksAndShellCharactersAreJustCharacters) {
  TempDir dir;
  const std::string name = "my pep $(touch PWNED); `touch PWNED2` & \"q\" 'x' |;.pdb";
  const std::string stem = name.substr(0, name.size() - 4);
  write_file(dir.path() / name, peptide(3));
  const RunResult r = run_tessel(dir.path(), args_with({name, "-kp"}));
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* ext : {"00.log", "00.int", "00.alm", "00.flm"})
    EXPECT_TRUE(fs::exists(dir.path() / (stem + ext))) << ext;
  EXPECT_FALSE(fs::exists(dir.path() / "PWNED"));
  EXPECT_FALSE(fs::exists(dir.path() / "PWNED2"));
  const std::string summary = read_file(dir.path() / "tessel_summary.txt");
  EXPECT_NE(summary.find(" Model: " + name.substr(0, 20) + "  Theoretical Rg:"), std::string::npos)
      << summary;
}

TEST(BadNames, AStemTooLongForTheOutputNamesStopsAtTheLog) {
  // 251 characters and ".pdb" make a name the file system holds; stem + "00.log" it does not.
  TempDir dir;
  const std::string stem(251, 'a');
  write_file(dir.path() / (stem + ".pdb"), peptide(2));
  expect_stopped(run_tessel(dir.path(), args_with({stem + ".pdb"})),
                 " Fatal error: cannot open logfile " + stem + "00.log");
}

// ---------------------------------------------------------------------------------------------
// Settings that carry the arithmetic out of range

TEST(BadSettings, IntensitiesBeyondTheRangeOfNumbersAreNotWritten) {
  // Each setting passes the option checks, but squares or products of it overflow: a maximum s
  // of 1e160 (s² > 1e308), a solvent density of ±1e300, a shell contrast of 1e160.
  const std::vector<std::string> settings[] = {
      {"-sm", "1e160"}, {"-dns", "1e300"}, {"-dns", "-1e300"}, {"-dro", "1e160"}};
  TempDir dir;
  write_file(dir.path() / "pep.pdb", peptide(3));
  for (const auto& setting : settings) {
    SCOPED_TRACE(setting[0] + " " + setting[1]);
    std::vector<std::string> args = {"pep.pdb", "-p", "p", "-ns", "3", "-kp"};
    args.insert(args.end(), setting.begin(), setting.end());
    expect_stopped(run_tessel(dir.path(), args), " Error -- The intensity is out of the range");
    EXPECT_FALSE(fs::exists(dir.path() / "p.int"));
    EXPECT_FALSE(fs::exists(dir.path() / "p.alm"));
  }
  // Large but representable settings still give a result.
  const RunResult r = run_tessel(dir.path(), {"pep.pdb", "-p", "q", "-ns", "3", "-sm", "1e100"});
  ASSERT_EQ(r.status, 0) << r.err;
  expect_finite_intensity_file(dir.path() / "q.int", 3);
}

// ---------------------------------------------------------------------------------------------
// Experimental curves and save files

TEST(BadCurve, UnusableCurvesStopWithAMessage) {
  TempDir dir;
  write_file(dir.path() / "pep.pdb", peptide(4));
  std::string one_point = "0.05 100 1\n";
  std::string all_nan;
  for (int i = 0; i < 20; ++i) all_nan += "nan nan nan\n";
  std::string descending;
  for (int i = 20; i > 0; --i) descending += std::to_string(0.01 * i) + " 100 1\n";
  std::string silent;  // zero intensity with zero error: every point dropped
  for (int i = 1; i <= 20; ++i) silent += std::to_string(0.01 * i) + " 0 0\n";
  const std::pair<std::string, std::string> cases[] = {
      {"empty.dat", ""},
      {"junk.dat", binary_junk(65536, 11)},
      {"text.dat", "Sample: nothing measured\nq I err\n"},
      {"one.dat", one_point},
      {"nan.dat", all_nan},
      {"descending.dat", descending},  // one point kept, the rest out of order
      {"silent.dat", silent},
  };
  for (const auto& [name, content] : cases) {
    SCOPED_TRACE(name);
    write_file(dir.path() / name, content);
    const RunResult r = run_tessel(dir.path(), args_with({"pep.pdb", name}));
    expect_stopped(r, " Error reading SAXS data file");
  }
}

TEST(OddCurve, LongAndDirtyCurvesAreReadWithWarnings) {
  const auto row = smooth_curve_row;
  std::string many;  // 100,000 points: the first 5000 are kept
  for (int i = 0; i < 100000; ++i) many += row(0.01 + 0.44 * i / 100000.0);
  std::string dirty = "Sample with a " + std::string(1 << 20, '-') + " long comment\n";
  for (int i = 0; i < 40; ++i) {
    dirty += row(0.01 + 0.01 * i);
    if (i == 10) dirty += "nan 5 1\n0.115 inf 1\n0.116 5 -inf\n";
  }
  struct Case {
    std::string name;
    std::string content;
    std::string warning;
  };
  const Case cases[] = {
      {"many.dat", many, "Warning: truncating input data to length:"},
      {"dirty.dat", dirty, "Warning: skipping non-finite data point"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    write_file(dir.path() / "pep.pdb", peptide(4));
    write_file(dir.path() / c.name, c.content);
    const RunResult r = run_tessel(dir.path(), args_with({"pep.pdb", c.name}));
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find(c.warning), std::string::npos) << r.err;
    const std::string fit = read_file(dir.path() / "pep00.fit");
    EXPECT_FALSE(fit.empty());
    EXPECT_EQ(fit.find("NaN"), std::string::npos);
  }
}

TEST(OddCurve, AllZeroIntensitiesGiveNoNumbersThatAreNone) {
  // A flat zero curve with proper errors passes the filter; whatever the fit makes of it, it
  // must not write NaN or infinities, and a refusal must say why.
  TempDir dir;
  write_file(dir.path() / "pep.pdb", peptide(4));
  std::string zeros;
  for (int i = 1; i <= 40; ++i) zeros += std::to_string(0.01 * i) + " 0 1\n";
  write_file(dir.path() / "zeros.dat", zeros);
  const RunResult r = run_tessel(dir.path(), args_with({"pep.pdb", "zeros.dat"}));
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.signal, 0);
  if (r.status == 0) {
    const std::string fit = read_file(dir.path() / "pep00.fit");
    EXPECT_FALSE(fit.empty());
    EXPECT_EQ(fit.find_first_of("*"), std::string::npos) << fit;
    EXPECT_EQ(fit.find("NaN"), std::string::npos) << fit;
    EXPECT_EQ(fit.find("Inf"), std::string::npos) << fit;
  } else {
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(r.err.empty());
  }
}

TEST(BadSaveFile, UnreadableSaveFilesStopTheJob) {
  // Record 1 framed as the format has it, claiming the largest grid, and nothing after it.
  auto int32 = [](std::int32_t v) {
    std::string b(4, '\0');
    for (std::size_t k = 0; k < 4; ++k) b[k] = static_cast<char>((v >> (8 * k)) & 0xFF);
    return b;
  };
  std::string record1 = int32(99) + int32(18) + int32(4181) + std::string(8, '\0') + int32(5000) +
                        std::string(1024, ' ') + int32(1000);
  const std::string truncated = int32(1052) + record1 + int32(1052);
  const std::pair<std::string, std::string> cases[] = {
      {"empty.sav", ""},
      {"junk.sav", binary_junk(4096, 3)},
      {"huge.sav", int32(0x7FFFFFFF) + binary_junk(64, 5)},  // a record of 2 GiB announced
      {"negative.sav", int32(-8) + binary_junk(64, 5)},
      {"truncated.sav", truncated},
  };
  TempDir dir;
  for (const auto& [name, content] : cases) {
    SCOPED_TRACE(name);
    write_file(dir.path() / name, content);
    const RunResult r = run_tessel(dir.path(), {name});
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE((r.out + r.err).find(name), std::string::npos) << r.out << r.err;
    EXPECT_EQ(r.out.find("saved to file"), std::string::npos);
  }
}

// ---------------------------------------------------------------------------------------------
// The working directory

TEST(BadDirectory, ReadOnlyWorkingDirectoryStopsAtTheLog) {
  TempDir dir;
  write_file(dir.path() / "pep.pdb", peptide(3));
  const fs::path work = dir.path() / "ro";
  fs::create_directory(work);
  TmpfsMount mount(work, "size=64k", MS_RDONLY);
  if (!mount.mounted()) GTEST_SKIP() << "cannot mount a read-only tmpfs here";
  const RunResult r = run_tessel(work, args_with({(dir.path() / "pep.pdb").string()}));
  expect_stopped(r, " Fatal error: cannot open logfile pep00.log");
  EXPECT_NE(r.err.find(" Warning: error saving data to the file tessel_summary.txt"),
            std::string::npos);
}

TEST(BadDirectory, FullDiskIsNeverReportedAsSuccess) {
  TempDir dir;
  write_file(dir.path() / "pep.pdb", peptide(30));
  const fs::path structure = dir.path() / "pep.pdb";
  // The files of a complete run, for their sizes.
  const fs::path roomy = dir.path() / "roomy";
  fs::create_directory(roomy);
  ASSERT_EQ(run_tessel(roomy, {structure.string(), "-kp"}).status, 0);
  const std::string earlier_log = read_file(roomy / "pep00.log");
  const auto alm_size = fs::file_size(roomy / "pep00.alm");
  const std::size_t flm_lines = read_lines(roomy / "pep00.flm").size();

  bool any_mounted = false;
  bool any_failure = false;
  for (const char* size : {"8k", "12k", "16k", "24k", "40k", "64k", "256k"}) {
    SCOPED_TRACE(size);
    const fs::path work = dir.path() / (std::string("disk") + size);
    fs::create_directory(work);
    TmpfsMount mount(work, std::string("size=") + size);
    if (!mount.mounted()) continue;
    any_mounted = true;
    write_file(work / "pep00.log", earlier_log);  // an earlier run's log
    const RunResult r = run_tessel(work, {structure.string(), "-kp"});
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(read_file(work / "pep00.log"), earlier_log);
    const std::string said = r.out + r.err;
    if (said.find(" Fatal error: cannot open logfile pep01.log") != std::string::npos) {
      EXPECT_EQ(r.status, 1);
      any_failure = true;
      continue;
    }
    // Whatever was written is whole; a file that could not be written is absent and named.
    bool failed = false;
    if (fs::exists(work / "pep01.int")) {
      expect_finite_intensity_file(work / "pep01.int", 51);
    } else {
      failed = true;
      EXPECT_NE(said.find("error saving data to the file pep01.int"), std::string::npos);
    }
    if (fs::exists(work / "pep01.alm")) {
      EXPECT_EQ(fs::file_size(work / "pep01.alm"), alm_size);
    } else {
      failed = true;
      EXPECT_NE(said.find(" LOALMS ---E-"), std::string::npos);
    }
    if (fs::exists(work / "pep01.flm")) {
      EXPECT_EQ(read_lines(work / "pep01.flm").size(), flm_lines);
    } else {
      failed = true;
      EXPECT_NE(said.find("error saving data to the file pep01.flm"), std::string::npos);
    }
    if (!log_has_ending(work / "pep01.log")) {
      failed = true;
      EXPECT_NE(said.find("pep01.log"), std::string::npos);
    }
    if (read_file(work / "tessel_summary.txt").find(" Model: ") == std::string::npos) {
      failed = true;
      EXPECT_NE(said.find("error saving data to the file tessel_summary.txt"), std::string::npos);
    }
    EXPECT_EQ(r.status, failed ? 1 : 0) << said;
    any_failure = any_failure || failed;
  }
  if (!any_mounted) GTEST_SKIP() << "cannot mount a small tmpfs here";
  EXPECT_TRUE(any_failure);  // the smallest disks cannot hold the results
}

TEST(BadDirectory, FilesThatCannotBeWrittenFailTheRunWithoutLeavingPieces) {
  // Output names that are links to /dev/full: they open like files, but every write fails as on
  // a full disk (no mount needed). Each case: the job runs to its end, names the file, leaves no
  // piece of a result file behind, and the run ends with status 1.
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  struct Case {
    std::string full;     // the file that cannot be written
    std::string message;  // what the run says about it
  };
  const Case cases[] = {
      {"p.int", " Warning: error saving data to the file p.int"},
      {"p.alm", " LOALMS ---E-: Fatal error in Alms file."},
      {"p.flm", " Warning: error saving data to the file p.flm"},
      {"p.fit", " Warning: error saving data to the file p.fit"},
      {"p.sav", " Warning: Error writing file p.sav"},
      {"p.log", " Warning: error saving data to the file p.log"},
      {"tessel_summary.txt", " Warning: error saving data to the file tessel_summary.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.full);
    TempDir dir;
    write_file(dir.path() / "pep.pdb", peptide(3));
    write_file(dir.path() / "c.dat", smooth_curve(40));
    fs::create_symlink("/dev/full", dir.path() / c.full);
    // With keep on and one data file a job writes every kind of result file.
    const RunResult r = run_tessel(dir.path(), args_with({"pep.pdb", "c.dat", "-p", "p", "-kp"}));
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE((r.out + r.err).find(c.message), std::string::npos) << r.out << r.err;
    // The text and amplitude files are whole or absent (a link written through is removed; a
    // save file cut short stays, and its reader refuses it).
    for (const char* name : {"p.int", "p.alm", "p.flm", "p.fit", "p.sav"}) {
      if (name != c.full) {
        EXPECT_TRUE(fs::is_regular_file(dir.path() / name)) << name;
      } else if (c.full != "p.sav") {
        EXPECT_FALSE(fs::exists(fs::symlink_status(dir.path() / name))) << name;
      }
    }
    if (c.full != "p.int") expect_finite_intensity_file(dir.path() / "p.int", 11);
  }
}

TEST(BadCurve, AFailedFitOfAFurtherDataFileFailsTheRun) {
  // Two data files: each is fitted by a run of its own on the job's save file. The one that
  // cannot be read fails its run; the parent names it and ends with status 1, the other fit is
  // written all the same.
  TempDir dir;
  write_file(dir.path() / "pep.pdb", peptide(3));
  write_file(dir.path() / "good.dat", smooth_curve(40));
  write_file(dir.path() / "junk.dat", binary_junk(4096, 13));
  const RunResult r = run_tessel(dir.path(), args_with({"pep.pdb", "good.dat", "junk.dat"}));
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_NE(r.err.find(" Error reading SAXS data file"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(" Warning: the fit of junk.dat failed (exit status 1)"), std::string::npos)
      << r.err;
  int fits = 0;
  for (const auto& entry : fs::directory_iterator(dir.path()))
    if (entry.path().extension() == ".fit") ++fits;
  EXPECT_EQ(fits, 1);

  // Both curves readable: no warning, status 0.
  TempDir fine;
  write_file(fine.path() / "pep.pdb", peptide(3));
  write_file(fine.path() / "a.dat", smooth_curve(40));
  write_file(fine.path() / "b.dat", smooth_curve(30));
  const RunResult ok = run_tessel(fine.path(), args_with({"pep.pdb", "a.dat", "b.dat"}));
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_EQ(ok.err.find("Warning: the fit of"), std::string::npos) << ok.err;
}

// ---------------------------------------------------------------------------------------------
// Several runs at once

TEST(ConcurrentRuns, EightRunsOnOneStemTakeDistinctNumbersAndWholeSummaryLines) {
  TempDir dir;
  write_file(dir.path() / "pep.pdb", peptide(8));
  constexpr int kRuns = 8;
  std::vector<RunResult> results(kRuns);
  {
    std::vector<std::thread> threads;
    for (int i = 0; i < kRuns; ++i)
      threads.emplace_back([&, i] {
        results[static_cast<std::size_t>(i)] = run_tessel(dir.path(), args_with({"pep.pdb"}));
      });
    for (std::thread& t : threads) t.join();
  }
  // The log each run announced: " pep0N.log -- TESSEL log-file ...".
  std::set<std::string> logs;
  for (const RunResult& r : results) {
    ASSERT_EQ(r.status, 0) << r.err;
    for (const std::string& line : split_lines(r.out))
      if (line.find(".log -- TESSEL log-file") != std::string::npos)
        logs.insert(line.substr(1, line.find(" -- ") - 1));
  }
  EXPECT_EQ(logs.size(), static_cast<std::size_t>(kRuns));
  for (int i = 0; i < kRuns; ++i) {
    const std::string log = "pep0" + std::to_string(i) + ".log";
    SCOPED_TRACE(log);
    EXPECT_EQ(logs.count(log), 1u);
    // Each log was written by one run alone: one header and one closing line.
    const std::string text = read_file(dir.path() / log);
    EXPECT_EQ(count_of(text, "  T E S S E L    Version 2.8.3  -- 04/10/12\n"), 1);
    EXPECT_EQ(count_of(text, "terminated at"), 1);
    expect_finite_intensity_file(dir.path() / ("pep0" + std::to_string(i) + ".int"), 11);
  }
  // Every summary line is whole: four header lines and one model line per run, in any order.
  int headers = 0, models = 0;
  for (const std::string& line : read_lines(dir.path() / "tessel_summary.txt")) {
    SCOPED_TRACE(line);
    if (line.empty()) continue;
    if (line.starts_with(" Created by TESSEL v. 28 on ")) {
      EXPECT_TRUE(is_time_stamp(line.substr(28)));
      ++headers;
    } else if (line.starts_with(" Batch: ")) {
      EXPECT_EQ(line, std::string(" Batch: ") + TESSEL_EXE + " pep.pdb -lm 5 -fb 10 -ns 11");
    } else {
      EXPECT_TRUE(matches(line, " Model: pep.pdb               Theoretical Rg:****.##"));
      ++models;
    }
  }
  EXPECT_EQ(headers, kRuns);
  EXPECT_EQ(models, kRuns);
}

}  // namespace
}  // namespace tessel_test
