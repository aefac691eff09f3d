// The net partial amplitudes file (.alm) and the envelope-coefficients file (.flm).
#include "io/amplitude_files.hpp"

#include <bit>
#include <fstream>
#include <system_error>
#include <vector>

#include "core/trim.hpp"
#include "io/fortran_format.hpp"
#include "io/record_file.hpp"

namespace tessel {

namespace {

constexpr std::size_t kFlmTitleLength = 80;

void store_le_real32(float value, std::byte* out) {
  store_le32(std::bit_cast<std::int32_t>(value), out);
}

std::size_t pair_count(int l_max) {
  return static_cast<std::size_t>(l_max + 1) * static_cast<std::size_t>(l_max + 2) / 2;
}

}  // namespace

int write_alm(std::ostream& out, std::string_view title, int l_max, std::span<const double> s,
              std::span<const std::complex<double>> alm) {
  const std::string_view text = trim(title);
  const std::size_t ns = s.size();
  const std::size_t nh = pair_count(l_max);
  if (alm.size() < nh * ns) return kAlmWriteFailed;
  try {
    RecordWriter writer(out);
    writer.begin_record(4);
    writer.put_i32(static_cast<std::int32_t>(text.size()));
    writer.end_record();

    writer.begin_record(text.size() + 8);
    writer.put_bytes(std::as_bytes(std::span<const char>(text.data(), text.size())));
    writer.put_i32(l_max);
    writer.put_i32(static_cast<std::int32_t>(ns));
    writer.end_record();

    // Single precision, little-endian, a record at a time.
    std::vector<std::byte> buffer(8 * ns);
    for (std::size_t i = 0; i < ns; ++i) store_le_real32(static_cast<float>(s[i]), &buffer[4 * i]);
    writer.begin_record(4 * ns);
    writer.put_bytes(std::span<const std::byte>(buffer.data(), 4 * ns));
    writer.end_record();

    for (std::size_t j = 0; j < nh; ++j) {
      for (std::size_t i = 0; i < ns; ++i) {
        const std::complex<double> a = alm[j + nh * i];
        store_le_real32(static_cast<float>(a.real()), &buffer[8 * i]);
        store_le_real32(static_cast<float>(a.imag()), &buffer[8 * i + 4]);
      }
      writer.begin_record(8 * ns);
      writer.put_bytes(buffer);
      writer.end_record();
    }
  } catch (const RecordError&) {
    return kAlmWriteFailed;
  }
  out.flush();
  return out ? kAlmOk : kAlmWriteFailed;
}

int LOALMS(const std::filesystem::path& file, std::string_view title, int l_max,
           std::span<const double> s, std::span<const std::complex<double>> alm,
           std::ostream& console) {
  const std::string name = file.string();
  const std::string_view shown = trim(name);
  if (shown.empty()) {
    console << " LOALMS ---E- Error opening data file \" \".\n";
    return kAlmCannotOpen;
  }
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out) {
    console << " LOALMS ---E- Error opening data file \"" << shown << "\".\n";
    return kAlmCannotOpen;
  }
  const int status = write_alm(out, title, l_max, s, alm);
  out.close();
  if (status != kAlmOk || !out) {
    // A file cut short (a full disk) would pass for a whole one.
    std::error_code ec;
    std::filesystem::remove(file, ec);
    console << " LOALMS ---E-: Fatal error in Alms file.\n";
    return kAlmWriteFailed;
  }
  return kAlmOk;
}

std::string flm_title(std::string_view structure_name, std::string_view time_stamp) {
  std::string title = " Envelope function from  ";
  title += trim(structure_name);
  title += "     ";
  title += time_stamp;
  title.resize(kFlmTitleLength, ' ');
  return title;
}

bool write_flm(std::ostream& out, std::string_view title, const EnvelopeCoefficients& coeffs,
               double radius) {
  static const Format title_format("(a77)");
  static const Format header_format("(3i5,f15.6)");
  static const Format line_format("(2i5,2f15.6,2i5)");

  std::string padded(title);
  padded.resize(kFlmTitleLength, ' ');
  out << title_format(padded);

  long long lines = 0;
  const std::size_t nh = std::min(pair_count(coeffs.l_env), coeffs.present.size());
  for (std::size_t j = 0; j < nh; ++j)
    if (coeffs.present[j] == 1) ++lines;
  out << header_format(kFlmHeaderNumber, coeffs.l_env, lines, radius);

  for (int l = 0; l <= coeffs.l_env; ++l) {
    for (int m = 0; m <= l; ++m) {
      const std::size_t j = static_cast<std::size_t>(l * (l + 1) / 2 + m);
      if (j >= nh || coeffs.present[j] != 1) continue;
      const std::complex<double> c = coeffs.values[j];
      out << line_format(l, m, c.real(), c.imag(), 1, m > 0 ? 1 : 0);
    }
  }
  out.flush();
  return static_cast<bool>(out);
}

std::optional<std::string> LOFLMS(const std::string& file, std::string_view title,
                                  const EnvelopeCoefficients& coeffs, double radius,
                                  std::ostream& console,
                                  const std::function<std::string()>& ask_new_name) {
  static const Format open_error("( ' LOASAV: Error  --  cannot open file  ', A )");
  std::string name = file;
  for (;;) {
    std::ofstream out(name, std::ios::trunc);
    if (out) {
      const bool written = write_flm(out, title, coeffs, radius);
      out.close();
      if (written && out) return name;
      // A file cut short (a full disk) would pass for a whole one.
      std::error_code ec;
      std::filesystem::remove(name, ec);
      console << " Warning: error saving data to the file " << name << '\n';
      return std::nullopt;
    }
    console << open_error(name);
    if (!ask_new_name) {
      console << " Warning: error saving data to the file " << name << '\n';
      return std::nullopt;
    }
    name = ask_new_name();
  }
}

}  // namespace tessel
