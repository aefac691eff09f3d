// Writing and reading the envelope file.
#include "io/envelope_file.hpp"

#include <cmath>
#include <fstream>
#include <system_error>

#include "io/record_file.hpp"

namespace tessel {

namespace {
constexpr int kMinOrder = 10;
constexpr int kMaxOrder = 18;
constexpr std::uint64_t kHeaderLength = 8;
}  // namespace

std::filesystem::path envelope_file_for(const std::filesystem::path& save_file) {
  std::filesystem::path p = save_file;
  p.replace_extension(".env");
  return p;
}

bool write_envelope_file(const std::filesystem::path& file, int fibonacci_order,
                         std::span<const double> radius) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  try {
    RecordWriter writer(out);
    writer.begin_record(kHeaderLength);
    writer.put_i32(fibonacci_order);
    writer.put_i32(static_cast<std::int32_t>(radius.size()));
    writer.end_record();
    writer.begin_record(8 * static_cast<std::uint64_t>(radius.size()));
    writer.put_f64s(radius);
    writer.end_record();
  } catch (const RecordError&) {
    return false;
  }
  out.close();
  return static_cast<bool>(out);
}

std::vector<double> read_envelope_file(const std::filesystem::path& file, int fibonacci_order,
                                       int directions) {
  const std::string name = file.string();
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(file, ec);
  if (ec)
    throw EnvelopeFileError(name,
                            "The extended fit of a save file needs the envelope file that a run with --fit "
                            "extended writes beside it");
  std::ifstream in(file, std::ios::binary);
  if (!in) throw EnvelopeFileError(name, "Cannot open the envelope file");
  const std::string bad = "The envelope file does not belong to the save file or is damaged";
  try {
    RecordReader reader(in, size);
    if (reader.begin_record(kHeaderLength) != kHeaderLength) throw EnvelopeFileError(name, bad);
    const int order = reader.get_i32();
    const int n = reader.get_i32();
    reader.end_record();
    if (order < kMinOrder || order > kMaxOrder || order != fibonacci_order || n != directions || n < 1)
      throw EnvelopeFileError(name, bad);
    const std::uint64_t length = 8 * static_cast<std::uint64_t>(n);
    if (reader.begin_record(length) != length) throw EnvelopeFileError(name, bad);
    std::vector<double> radius(static_cast<std::size_t>(n));
    reader.get_f64s(radius);
    reader.end_record();
    if (reader.input_left() != 0) throw EnvelopeFileError(name, bad);
    for (const double r : radius) {
      if (!std::isfinite(r) || r < 0.0) throw EnvelopeFileError(name, bad);
    }
    return radius;
  } catch (const RecordError&) {
    throw EnvelopeFileError(name, bad);
  }
}

}  // namespace tessel
