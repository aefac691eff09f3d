// The save file: writing, checked reading and the log lines after a read.
#include "io/save_file.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <system_error>

#include "core/harmonic_tables.hpp"
#include "core/trim.hpp"
#include "io/fortran_format.hpp"
#include "io/record_file.hpp"

namespace tessel {

namespace {

constexpr std::uint64_t kRecord1Length = 4 + 4 + 4 + 8 + 4 + kSavedNameLength + 4;  // 1052
constexpr std::uint64_t kRecord2Length = 7 * 8;
constexpr std::uint64_t kRecord3Length = 3 * 8;
constexpr int kMaxSavedPoints = kMaxCurvePoints;
constexpr double kShellWidth = 3.0;  // Å, the fixed thickness of the hydration shell

// Fibonacci number F(order + 1), F(1) = F(2) = 1: the directions of a grid of that order.
long long fibonacci_directions(int order) {
  long long previous = 1;
  long long current = 1;
  for (int k = 2; k <= order; ++k) {
    const long long next = previous + current;
    previous = current;
    current = next;
  }
  return current;
}

// Payload of record 4 for a sound L and ns: 8·ns + 3·16·nh·ns; at most about 1.2e9 bytes
// (L = 99, ns = 5000), which the 4-byte marker can state.
std::uint64_t record4_length(int l_max, int n_points) {
  const auto nh = static_cast<std::uint64_t>(harmonic_count(l_max));
  const auto ns = static_cast<std::uint64_t>(n_points);
  return 8 * ns + 48 * nh * ns;
}

// The reason why record 1's values cannot belong to a save file, or empty when they can.
std::string header_fault(const SaveData& d) {
  if (d.l_max < 0 || d.l_max > kMaxHarmonicOrder) {
    return "harmonic order " + std::to_string(d.l_max) + " outside 0.." +
           std::to_string(kMaxHarmonicOrder);
  }
  if (d.fibonacci_order < kMinFibonacciOrder || d.fibonacci_order > kMaxFibonacciOrder) {
    return "grid order " + std::to_string(d.fibonacci_order) + " outside " +
           std::to_string(kMinFibonacciOrder) + ".." + std::to_string(kMaxFibonacciOrder);
  }
  if (d.n_directions != fibonacci_directions(d.fibonacci_order)) {
    return std::to_string(d.n_directions) + " directions do not match grid order " +
           std::to_string(d.fibonacci_order);
  }
  if (!std::isfinite(d.s_max) || d.s_max <= 0.0) return "maximum s is not a positive number";
  if (d.n_points < 1 || d.n_points > kMaxSavedPoints) {
    return std::to_string(d.n_points) + " points outside 1.." + std::to_string(kMaxSavedPoints);
  }
  if (d.n_atoms < 0) return "negative number of atoms";
  return {};
}

// A record of exactly `length` bytes: the leading marker is checked against it before
// anything is read.
void begin_exact_record(RecordReader& reader, std::uint64_t length, int number) {
  const std::uint64_t found = reader.begin_record(length);
  if (found != length) {
    throw SaveFormatError("record " + std::to_string(number) + " has " + std::to_string(found) +
                          " bytes, expected " + std::to_string(length));
  }
}

SaveData read_records(RecordReader& reader) {
  SaveData d;
  try {
    begin_exact_record(reader, kRecord1Length, 1);
    d.l_max = reader.get_i32();
    d.fibonacci_order = reader.get_i32();
    d.n_directions = reader.get_i32();
    d.s_max = reader.get_f64();
    d.n_points = reader.get_i32();
    std::string name(kSavedNameLength, ' ');
    reader.get_bytes(std::as_writable_bytes(std::span<char>(name)));
    d.n_atoms = reader.get_i32();
    reader.end_record();
    if (name.find('\0') != std::string::npos) throw SaveFormatError("NUL byte in the name");
    d.structure_name = trim_right(name);
    if (std::string fault = header_fault(d); !fault.empty()) throw SaveFormatError(fault);

    begin_exact_record(reader, kRecord2Length, 2);
    for (double* v : {&d.electron_rg, &d.molecular_weight, &d.envelope_rg, &d.envelope_volume,
                      &d.envelope_surface, &d.envelope_radius, &d.envelope_diameter}) {
      *v = reader.get_f64();
    }
    reader.end_record();

    begin_exact_record(reader, kRecord3Length, 3);
    for (double* v : {&d.shell_rg, &d.shell_volume, &d.shape_rg}) *v = reader.get_f64();
    reader.end_record();

    // The marker has been checked against the bytes left, so the sizes below are backed by data.
    begin_exact_record(reader, record4_length(d.l_max, d.n_points), 4);
    const auto ns = static_cast<std::size_t>(d.n_points);
    const std::size_t count = static_cast<std::size_t>(harmonic_count(d.l_max)) * ns;
    d.s.resize(ns);
    reader.get_f64s(d.s);
    for (auto* array : {&d.atomalm, &d.vdwalm, &d.bordalm}) {
      array->resize(count);
      reader.get_complex(*array);
    }
    reader.end_record();
  } catch (const RecordError& e) {
    throw SaveFormatError(e.what());
  }
  if (reader.input_left() != 0) {
    throw SaveFormatError(std::to_string(reader.input_left()) + " bytes after the last record");
  }
  return d;
}

}  // namespace

void write_save_data(std::ostream& out, const SaveData& d) {
  if (std::string fault = header_fault(d); !fault.empty()) throw std::invalid_argument(fault);
  if (d.structure_name.size() > kSavedNameLength) {
    throw std::invalid_argument("structure name longer than " + std::to_string(kSavedNameLength));
  }
  if (d.structure_name.find('\0') != std::string::npos) {
    throw std::invalid_argument("NUL byte in the structure name");
  }
  const auto ns = static_cast<std::size_t>(d.n_points);
  const std::size_t count = static_cast<std::size_t>(harmonic_count(d.l_max)) * ns;
  if (d.s.size() != ns || d.atomalm.size() != count || d.vdwalm.size() != count ||
      d.bordalm.size() != count) {
    throw std::invalid_argument("save data arrays do not match L and the number of points");
  }

  RecordWriter writer(out);
  writer.begin_record(kRecord1Length);
  writer.put_i32(d.l_max);
  writer.put_i32(d.fibonacci_order);
  writer.put_i32(d.n_directions);
  writer.put_f64(d.s_max);
  writer.put_i32(d.n_points);
  std::string name = d.structure_name;
  name.resize(kSavedNameLength, ' ');
  writer.put_bytes(std::as_bytes(std::span<const char>(name)));
  writer.put_i32(d.n_atoms);
  writer.end_record();

  writer.begin_record(kRecord2Length);
  for (double v : {d.electron_rg, d.molecular_weight, d.envelope_rg, d.envelope_volume,
                   d.envelope_surface, d.envelope_radius, d.envelope_diameter}) {
    writer.put_f64(v);
  }
  writer.end_record();

  writer.begin_record(kRecord3Length);
  for (double v : {d.shell_rg, d.shell_volume, d.shape_rg}) writer.put_f64(v);
  writer.end_record();

  writer.begin_record(record4_length(d.l_max, d.n_points));
  writer.put_f64s(d.s);
  writer.put_complex(d.atomalm);
  writer.put_complex(d.vdwalm);
  writer.put_complex(d.bordalm);
  writer.end_record();
}

void write_save_file(const std::filesystem::path& file, const SaveData& data) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out) throw SaveFileWriteError(file.string());
  try {
    write_save_data(out, data);
  } catch (const RecordError&) {
    throw SaveFileWriteError(file.string());
  }
  out.close();
  if (!out) throw SaveFileWriteError(file.string());
}

SaveData read_save_data(std::span<const std::byte> bytes) {
  RecordReader reader(bytes);
  return read_records(reader);
}

SaveData read_save_file(const std::filesystem::path& file) {
  const std::string name = file.string();
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(file, ec);
  if (ec) throw SaveFileReadError(name, "cannot find the size: " + ec.message());
  std::ifstream in(file, std::ios::binary);
  if (!in) throw SaveFileReadError(name, "cannot open the file");
  RecordReader reader(in, size);
  try {
    return read_records(reader);
  } catch (const SaveFormatError& e) {
    throw SaveFileReadError(name, e.what());
  }
}

void apply_save_settings(const SaveData& data, RunSettings& settings) {
  settings.l_max = data.l_max;
  settings.fibonacci_order = data.fibonacci_order;
  settings.s_max = data.s_max;
  settings.n_points = data.n_points;
}

std::string save_file_report(const SaveData& d, std::string_view save_file_name) {
  static const Format kLine("( A )");
  static const Format kPair("( A, G10.4, A, G10.4)");
  const std::string blank = kLine(" ");
  std::string text;
  text += blank;
  text += labelled_line(" Information read from file", save_file_name);
  text += blank;

  text += blank;
  text += kLine(" --------  Real space resolution and grid  --------");
  text += labelled_line(" Maximum order of harmonic", d.l_max);
  text += labelled_line(" Order of Fibonacci grid", d.fibonacci_order);
  text += labelled_line(" Total number of directions", d.n_directions);
  text += blank;

  text += blank;
  text += kLine(" ------------  Reciprocal space grid  -------------");
  text += labelled_line(" Maximum scattering angle", d.s.empty() ? d.s_max : d.s.back());
  text += labelled_line(" Number of angular points", d.n_points);
  text += blank;

  text += blank;
  text += kLine(" --- Structural parameters (sizes in angstroms) --- ");
  text += labelled_line(" PDB file name", d.structure_name);
  text += labelled_line(" Number of atoms", d.n_atoms);
  text += blank;

  text += blank;
  text += kPair(" Electron   Rg   :", d.electron_rg, "   Envelope   Rg      :", d.envelope_rg);
  text += kPair(" Shape      Rg   :", d.shape_rg, "   Envelope  volume   :", d.envelope_volume);
  text += kPair(" Shell    volume :", d.shell_volume, "   Envelope  surface  :",
                d.envelope_surface);
  text += kPair(" Shell      Rg   :", d.shell_rg, "   Envelope  radius   :", d.envelope_radius);
  text += kPair(" Shell    width  :", kShellWidth, "   Envelope  diameter :",
                d.envelope_diameter);
  text += blank;
  return text;
}

}  // namespace tessel
