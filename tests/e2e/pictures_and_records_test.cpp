// Pictures (--plot) and job records (--json) of whole runs: each picture is a valid file of its
// kind (the PNG read back with cairo shows the fitted curve where the top panel is), the record
// parses and its numbers agree with what the log prints to the printed digits, its curves with
// the .fit and .int columns; without the options nothing else changes; the interactive record
// describes the fit written to the .fit file; re-runs for several data files draw their own.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "output_checks.hpp"
#include "run_program.hpp"

namespace tessel_test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const std::string kModel = "3kfo-fill_model.pdb";
const std::string kCurve = "nup133_23922_merge.dat";
const std::string kBase = "3kfo-fill_model00";

std::string trimmed(const std::string& text) {
  const auto b = text.find_first_not_of(' ');
  if (b == std::string::npos) return {};
  return text.substr(b, text.find_last_not_of(' ') - b + 1);
}

// True when `value` agrees with a printed number (F, E or I form) to its printed digits: it is
// within half a unit of the printed number's last digit.
bool agrees(double value, const std::string& printed_text) {
  const std::string printed = trimmed(printed_text);
  if (printed.empty() || printed.find_first_not_of("0123456789+-.Ee") != std::string::npos) return false;
  const auto e = printed.find_first_of("Ee");
  const std::string mantissa = printed.substr(0, e);
  const int exponent = e == std::string::npos ? 0 : std::stoi(printed.substr(e + 1));
  const auto dot = mantissa.find('.');
  const int decimals = dot == std::string::npos ? 0 : static_cast<int>(mantissa.size() - dot - 1);
  const double unit = std::pow(10.0, exponent - decimals);
  return std::abs(value - std::stod(printed)) <= 0.5 * unit * (1.0 + 1e-9);
}

#define EXPECT_AGREES(value, printed) EXPECT_TRUE(agrees(value, printed)) << (value) << " printed as " << (printed)

// The value of the first labelled line (dot leader, " : ") with this label.
std::string labelled_value(const std::vector<std::string>& lines, const std::string& label) {
  for (const std::string& l : lines) {
    const auto colon = l.find(" : ");
    if (colon != std::string::npos && trimmed(l.substr(0, l.find(" ..", 0))) == trimmed(label))
      return l.substr(colon + 3);
  }
  return "(missing " + label + ")";
}

// The structural report's pairs (A, G10.4, A, G10.4) by label with blanks collapsed.
std::map<std::string, std::string> structural_pairs(const std::vector<std::string>& lines) {
  std::map<std::string, std::string> pairs;
  auto collapse = [](const std::string& s) {
    std::string out;
    for (char c : trimmed(s))
      if (c != ' ' || (!out.empty() && out.back() != ' ')) out += c;
    return out;
  };
  for (const std::string& l : lines) {
    const auto first = l.find(':');
    if (first == std::string::npos || l.find("..") != std::string::npos) continue;  // labelled lines
    const auto second = l.find(':', first + 1);
    if (second == std::string::npos || second < first + 11) {
      pairs[collapse(l.substr(0, first))] = l.substr(first + 1);  // " Number of residuals :  222"
      continue;
    }
    pairs[collapse(l.substr(0, first))] = l.substr(first + 1, 10);
    pairs[collapse(l.substr(first + 11, second - first - 11))] = l.substr(second + 1);
  }
  return pairs;
}

std::vector<std::vector<std::string>> rows_of(const fs::path& file) {
  std::vector<std::vector<std::string>> rows;
  const std::vector<std::string> lines = read_lines(file);
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::istringstream in(lines[i]);
    std::vector<std::string> row;
    for (std::string field; in >> field;) row.push_back(field);
    rows.push_back(row);
  }
  return rows;
}

cairo_status_t read_bytes(void* closure, unsigned char* data, unsigned int length) {
  auto& in = *static_cast<std::istringstream*>(closure);
  in.read(reinterpret_cast<char*>(data), length);
  return in.gcount() == static_cast<std::streamsize>(length) ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_READ_ERROR;
}

// Where the pixels of one colour lie in a PNG picture.
struct ColourSpread {
  int width = 0, height = 0;
  int count = 0;
  int top = 1 << 30, bottom = -1, left = 1 << 30, right = -1;
};
ColourSpread spread_of(const std::string& png, unsigned red, unsigned green, unsigned blue) {
  std::istringstream in(png);
  cairo_surface_t* image = cairo_image_surface_create_from_png_stream(read_bytes, &in);
  ColourSpread s;
  if (cairo_surface_status(image) == CAIRO_STATUS_SUCCESS) {
    cairo_surface_flush(image);
    s.width = cairo_image_surface_get_width(image);
    s.height = cairo_image_surface_get_height(image);
    const int stride = cairo_image_surface_get_stride(image);
    const unsigned char* data = cairo_image_surface_get_data(image);
    for (int y = 0; y < s.height; ++y) {
      for (int x = 0; x < s.width; ++x) {
        std::uint32_t p = 0;
        std::memcpy(&p, data + y * stride + x * 4, 4);
        const auto near = [](unsigned a, unsigned b) { return (a > b ? a - b : b - a) <= 2; };
        if (!near((p >> 16) & 0xff, red) || !near((p >> 8) & 0xff, green) || !near(p & 0xff, blue)) continue;
        ++s.count;
        s.top = std::min(s.top, y);
        s.bottom = std::max(s.bottom, y);
        s.left = std::min(s.left, x);
        s.right = std::max(s.right, x);
      }
    }
  }
  cairo_surface_destroy(image);
  return s;
}

// A simple well-formedness check of XML: every start tag is closed in order, comments,
// declarations and self-closing tags aside.
bool well_formed_xml(const std::string& text) {
  std::vector<std::string> open;
  std::size_t pos = 0;
  while ((pos = text.find('<', pos)) != std::string::npos) {
    const std::size_t end = text.find('>', pos);
    if (end == std::string::npos) return false;
    const std::string tag = text.substr(pos + 1, end - pos - 1);
    pos = end + 1;
    if (tag.empty() || tag[0] == '?' || tag[0] == '!' || tag.back() == '/') continue;
    const std::string name = tag.substr(tag[0] == '/' ? 1 : 0, tag.find_first_of(" \t\n/", 1) - (tag[0] == '/' ? 1 : 0));
    if (tag[0] != '/') {
      open.push_back(name);
    } else if (open.empty() || open.back() != name) {
      return false;
    } else {
      open.pop_back();
    }
  }
  return open.empty();
}

// The lines of a text without those that contain any of the pieces.
std::string without_lines(const std::string& text, const std::vector<std::string>& pieces) {
  std::string out;
  for (const std::string& line : split_lines(text)) {
    bool drop = false;
    for (const std::string& p : pieces) drop = drop || line.find(p) != std::string::npos;
    if (!drop) out += line + '\n';
  }
  return out;
}

TEST(PicturesAndRecords, FitPngAndRecordAgreeWithLogAndFitFile) {
  TempDir with, plain;
  for (const TempDir* d : {&with, &plain}) {
    d->copy_data(kModel);
    d->copy_data(kCurve);
  }
  const RunResult r = run_tessel(with.path(), {kModel, kCurve, "--plot", "png", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  const RunResult p = run_tessel(plain.path(), {kModel, kCurve});
  ASSERT_EQ(p.status, 0) << p.err;

  // Listed and announced like the other files; nothing else changes.
  EXPECT_NE(r.out.find(" " + kBase + ".png -- picture of the fit       (PNG)\n"), std::string::npos);
  EXPECT_NE(r.out.find(" " + kBase + ".json -- job record               (JSON)\n"), std::string::npos);
  EXPECT_NE(r.out.find("\nPicture        saved to file " + kBase + ".png\n"), std::string::npos);
  EXPECT_NE(r.out.find("\nJob record     saved to file " + kBase + ".json\n"), std::string::npos);
  EXPECT_EQ(without_lines(r.out, {kBase + ".png", kBase + ".json"}), p.out);
  // The logs differ only in the new files' lines and the time stamps.
  const std::vector<std::string> stamps = {"started  at", "terminated at"};
  EXPECT_EQ(without_lines(read_file(with.path() / (kBase + ".log")), {kBase + ".png", kBase + ".json", stamps[0], stamps[1]}),
            without_lines(read_file(plain.path() / (kBase + ".log")), stamps));
  EXPECT_EQ(read_file(with.path() / (kBase + ".fit")), read_file(plain.path() / (kBase + ".fit")));
  EXPECT_FALSE(fs::exists(plain.path() / (kBase + ".png")));
  EXPECT_FALSE(fs::exists(plain.path() / (kBase + ".json")));

  // The picture: 324 × 300 pt at 300 dpi; the fitted curve (vermillion, 213/94/0) runs across
  // the top panel, above the residual panel in the lowest part of the picture.
  const ColourSpread fit = spread_of(read_file(with.path() / (kBase + ".png")), 213, 94, 0);
  EXPECT_EQ(fit.width, 1350);
  EXPECT_EQ(fit.height, 1250);
  EXPECT_GT(fit.count, 3000);
  EXPECT_GT(fit.right - fit.left, fit.width * 2 / 3);
  EXPECT_LT(fit.bottom, fit.height * 7 / 10);
  EXPECT_GT(fit.top, fit.height / 10);  // below the title

  // The record against the log: labelled lines, structural report and the search's line.
  const json j = json::parse(read_file(with.path() / (kBase + ".json")));
  const std::vector<std::string> log = read_lines(with.path() / (kBase + ".log"));
  EXPECT_EQ(j["schema_version"], 1);
  EXPECT_EQ(j["mode"], "fit");
  EXPECT_EQ(j["command_line"], json({TESSEL_EXE, kModel, kCurve, "--plot", "png", "--json"}));
  EXPECT_EQ(j["inputs"]["data_file"], kCurve);
  const std::pair<const char*, json> labelled[] = {
      {" Maximum order of harmonics", j["grid"]["harmonic_order"]},
      {" Order of Fibonacci grid", j["grid"]["fibonacci_order"]},
      {" Total number of directions", j["grid"]["directions"]},
      {" Maximum scattering angle", j["grid"]["s_max_per_A"]},
      {" Number of angular points", j["grid"]["points"]},
      {" Number of atoms read", j["structure"]["atoms_read"]},
      {" Number of C", j["structure"]["atoms_per_element"]["C"]},
      {" Number of S", j["structure"]["atoms_per_element"]["S"]},
      {" Maximum angle in the data file", j["data"]["max_s_in_file"]},
      {" Number of experimental points", j["data"]["points_read"]},
      {" Angular units multiplied by", j["data"]["unit_factor"]},
      {" Number of points after regridding", j["data"]["points_after_regridding"]},
      {"Solvent density", j["fit"]["solvent_density_e_per_A3"]},
      {"Rg ( Atoms - Excluded volume + Shell )", j["derived"]["rg_combined_A"]},
      {"Rg from the slope of net intensity", j["derived"]["rg_slope_A"]},
      {"Average electron density", j["derived"]["average_electron_density_e_per_A3"]},
  };
  for (const auto& [label, value] : labelled) EXPECT_AGREES(value.get<double>(), labelled_value(log, label));
  EXPECT_AGREES(j["fit"]["points_used"].get<double>(), labelled_value(split_lines(r.out), " Number of experimental points used"));

  const json& s = j["structure"];
  std::map<std::string, std::string> pairs = structural_pairs(log);
  const std::pair<const char*, const char*> report[] = {
      {"Electron Rg", "rg_electron_A"},       {"Shape Rg", "rg_shape_A"},
      {"Shell volume", "shell_volume_A3"},    {"Shell Rg", "shell_rg_A"},
      {"Shell width", "shell_width_A"},       {"Envelope Rg", "envelope_rg_A"},
      {"Envelope volume", "envelope_volume_A3"}, {"Envelope surface", "envelope_surface_A2"},
      {"Envelope radius", "envelope_radius_A"},  {"Envelope diameter", "envelope_diameter_A"},
      {"Molecular weight", "molecular_weight_Da"}, {"Dry volume", "dry_volume_A3"},
      {"Displaced volume", "displaced_volume_A3"}, {"Average atomic rad.", "average_atomic_radius_A"},
      {"Number of residuals", "residues"}};
  for (const auto& [label, key] : report) {
    ASSERT_TRUE(pairs.count(label)) << label;
    EXPECT_AGREES(s[key].get<double>(), pairs[label]) << label;
  }

  // " 0.000 0.075   1.40 1.80  29929.  34782. 0.299|0.030 1.700  34458.  1.193 0.443": fixed
  // columns 2F6.3, 2X, 2F5.2, 2F8.0, F6.3, '|', F5.3, F6.3, F8.0, F7.3, F6.3.
  const auto line = std::find_if(log.begin(), log.end(), [](const std::string& l) { return l.size() > 47 && l[46] == '|' && l[47] != ' '; });
  ASSERT_NE(line, log.end());
  const std::pair<int, int> columns[] = {{0, 6}, {6, 6}, {14, 5}, {19, 5}, {24, 8}, {32, 8}, {40, 6},
                                         {47, 5}, {52, 6}, {58, 8}, {66, 7}, {73, 6}};
  const json& search = j["search"];
  const json& f = j["fit"];
  const json values[] = {search["shell_contrast_e_per_A3"][0], search["shell_contrast_e_per_A3"][1],
                         search["atomic_radius_A"][0], search["atomic_radius_A"][1],
                         search["excluded_volume_A3"][0], search["excluded_volume_A3"][1],
                         search["s_max_fit_per_A"], f["shell_contrast_e_per_A3"], f["atomic_radius_A"],
                         f["excluded_volume_A3"], f["chi2"], f["hydration"]};
  for (int k = 0; k < 12; ++k) EXPECT_AGREES(values[k].get<double>(), line->substr(columns[k].first, columns[k].second));
  EXPECT_FALSE(f["constant_fitted"].get<bool>());
  EXPECT_EQ(f["constant"].get<double>(), 0.0);

  // The curve arrays equal the measured rows of the .fit file (after the rows of the model that
  // lead from s = 0 to the first point); the residual is (I_exp − I_fit)/σ.
  const std::vector<std::vector<std::string>> rows = rows_of(with.path() / (kBase + ".fit"));
  const json& c = j["curves"]["fit"];
  const std::size_t n = c["s_per_A"].size();
  ASSERT_EQ(n, 456u);
  ASSERT_GE(rows.size(), n);
  const std::size_t first = rows.size() - n;
  for (std::size_t i = 0; i < n; ++i) {
    const char* keys[] = {"s_per_A", "i_exp", "sigma", "i_fit"};
    for (int k = 0; k < 4; ++k) EXPECT_AGREES(c[keys[k]][i].get<double>(), rows[first + i][k]);
    const double sigma = c["sigma"][i].get<double>();
    EXPECT_NEAR(c["residual"][i].get<double>(), (c["i_exp"][i].get<double>() - c["i_fit"][i].get<double>()) / sigma, 1e-12);
  }
  std::vector<std::string> outputs;
  for (const json& o : j["outputs"]) outputs.push_back(o["file"].get<std::string>());
  EXPECT_EQ(outputs, (std::vector<std::string>{kBase + ".log", kBase + ".fit", kBase + ".png", kBase + ".json"}));
  EXPECT_TRUE(j["warnings"].empty());
}

TEST(PicturesAndRecords, PredictionSvgPdfAndIntensityColumns) {
  TempDir dir;
  dir.copy_data("6lyz.pdb");
  const RunResult svg = run_tessel(dir.path(), {"6lyz.pdb", "--plot", "svg", "--json", "-p", "svg"});
  ASSERT_EQ(svg.status, 0) << svg.err;
  const RunResult pdf = run_tessel(dir.path(), {"6lyz.pdb", "--plot=pdf", "-p", "pdf"});
  ASSERT_EQ(pdf.status, 0) << pdf.err;
  EXPECT_NE(svg.out.find(" svg.svg -- picture of the intensity (SVG)\n"), std::string::npos);

  const std::string picture = read_file(dir.path() / "svg.svg");
  EXPECT_EQ(picture.rfind("<?xml", 0), 0u);
  EXPECT_NE(picture.find("<svg"), std::string::npos);
  EXPECT_TRUE(well_formed_xml(picture));
  const std::string document = read_file(dir.path() / "pdf.pdf");
  EXPECT_EQ(document.rfind("%PDF-", 0), 0u);
  EXPECT_EQ(document.substr(document.find_last_not_of("\r\n") - 4, 5), "%%EOF");
  EXPECT_FALSE(fs::exists(dir.path() / "pdf.json"));

  const json j = json::parse(read_file(dir.path() / "svg.json"));
  EXPECT_EQ(j["mode"], "prediction");
  const std::vector<std::string> log = read_lines(dir.path() / "svg.log");
  EXPECT_AGREES(j["prediction"]["solvent_density_e_per_A3"].get<double>(), labelled_value(log, "Solvent density"));
  EXPECT_AGREES(j["prediction"]["excluded_volume_A3"].get<double>(), labelled_value(log, "Excluded Volume"));
  EXPECT_AGREES(j["prediction"]["average_atomic_volume_A3"].get<double>(), labelled_value(log, "Average atomic volume"));
  // The columns of the .int file: s, I, atoms, G²·E, δρ²·B.
  const std::vector<std::vector<std::string>> rows = rows_of(dir.path() / "svg.int");
  const json& c = j["curves"]["intensity"];
  ASSERT_EQ(rows.size(), 51u);
  ASSERT_EQ(c["s_per_A"].size(), 51u);
  const char* keys[] = {"s_per_A", "intensity", "atoms", "excluded_volume", "shell"};
  for (std::size_t i = 0; i < rows.size(); ++i)
    for (int k = 0; k < 5; ++k) EXPECT_AGREES(c[keys[k]][i].get<double>(), rows[i][static_cast<std::size_t>(k)]);
}

TEST(PicturesAndRecords, OptionErrorsHelpAndSeveralDataFiles) {
  TempDir dir;
  dir.copy_data(kModel);
  dir.copy_data(kCurve);
  fs::copy_file(dir.path() / kCurve, dir.path() / "second.dat");
  const RunResult bad = run_tessel(dir.path(), {kModel, "--plot", "gif"});
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.err, "error: expected png, svg or pdf for option 'plot', got 'gif'\n");
  const RunResult help = run_tessel(dir.path(), {"--help-extra"});
  EXPECT_EQ(help.status, 0);
  for (const char* option : {"\n  --plot FORMAT   ", "\n  --json          ", "\n  --help-extra    "})
    EXPECT_NE(help.out.find(option), std::string::npos) << option;

  // Two data files: the job predicts (run 00) and the re-runs fit each file (runs 01 and 02),
  // each with its own picture and record, kept although -kp was not given.
  const RunResult r = run_tessel(dir.path(), {kModel, kCurve, "second.dat", "--plot", "png", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(dir.path() / "3kfo-fill_model00.sav"));
  for (const char* run : {"00", "01", "02"}) {
    const std::string base = std::string("3kfo-fill_model") + run;
    EXPECT_TRUE(fs::exists(dir.path() / (base + ".png"))) << base;
    const json j = json::parse(read_file(dir.path() / (base + ".json")));
    EXPECT_EQ(j["mode"], std::string(run) == "00" ? "prediction" : "fit");
  }
  // The re-runs start from the save file, which holds the grid.
  const json last = json::parse(read_file(dir.path() / "3kfo-fill_model02.json"));
  EXPECT_EQ(last["inputs"]["data_file"], "second.dat");
  EXPECT_EQ(last["inputs"]["save_file"], "3kfo-fill_model00.sav");
  EXPECT_EQ(last["grid"]["directions"], 2584);
}

// Interactive mode started with --json: the record holds the last fit, the one in the .fit file
// (parameters given by hand after the search).
TEST(PicturesAndRecords, InteractiveRecordDescribesTheWrittenFit) {
  TempDir dir;
  dir.copy_data(kModel);
  dir.copy_data(kCurve);
  // Option 0, the model, Enter for the grids, no hydrogens, fit: yes; the curve with its
  // defaults; plot: no; another set: yes; minimize again: no; δρ 0.04, Ra 1.6, volume 33000;
  // plot: no; another set: no.
  const std::string answers = "0\n3kfo-fill_model\n\n\n\n\n\n\n" + kCurve + "\n\n\n\nN\nY\nN\n0.04\n1.6\n33000\nN\nN\n";
  const RunResult r = run_tessel(dir.path(), {"--json"}, answers);
  ASSERT_EQ(r.status, 0) << r.err;
  const json j = json::parse(read_file(dir.path() / (kBase + ".json")));
  EXPECT_TRUE(j["interactive"].get<bool>());
  EXPECT_EQ(j["fit"]["shell_contrast_e_per_A3"].get<double>(), 0.04);
  EXPECT_EQ(j["fit"]["atomic_radius_A"].get<double>(), 1.6);
  EXPECT_DOUBLE_EQ(j["fit"]["excluded_volume_A3"].get<double>(), 33000.0);
  // " ... Chi^2:" F6.3 ends the header of the .fit file.
  const std::string header = read_lines(dir.path() / (kBase + ".fit"))[0];
  EXPECT_AGREES(j["fit"]["chi2"].get<double>(), header.substr(header.rfind(':') + 1));
  EXPECT_FALSE(fs::exists(dir.path() / (kBase + ".png")));
}

}  // namespace
}  // namespace tessel_test
