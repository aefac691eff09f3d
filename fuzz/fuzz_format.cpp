// Fuzz target: the format engine on arbitrary formats and values. The input up to the first NUL
// is the format; the bytes after it give the values, each a tag byte and its contents (8 bytes
// for an integer or a real, a length byte and that many characters for a text). A FormatError
// (a malformed format, a value that does not suit its descriptor) is an expected outcome.
// Checks beyond crashes: an internal write fills exactly its buffer, and a single field of
// width w > 0 is w characters wide.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "io/fortran_format.hpp"
#include "fuzz_check.hpp"

namespace {

using namespace tessel;

constexpr std::size_t kMaxValues = 64;

struct ValueReader {
  std::string_view bytes;

  bool take(void* out, std::size_t n) {
    if (bytes.size() < n) return false;
    std::memcpy(out, bytes.data(), n);
    bytes.remove_prefix(n);
    return true;
  }
};

// Every single-field writer on one number, widths and digits from the tag.
void write_fields(double x, long long i, std::uint8_t tag) {
  const int w = tag % 48;
  const int d = (tag / 48) * 7 % 24;
  const int scale = static_cast<int>(tag % 5) - 2;
  auto width_ok = [&](const std::string& s) { CHECK(w == 0 || s.size() == static_cast<std::size_t>(w)); };
  try {
    width_ok(format_i(i, w, w > 0 ? std::min(d, w) : -1));
    width_ok(format_f(x, w, d));
    if (w > 0) {
      width_ok(format_e(x, w, d, scale));
      width_ok(format_g(x, w, d, scale));
    }
  } catch (const FormatError&) {
  }
  (void)real_text(x);
  (void)int_text(i);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t nul = input.find('\0');
  const std::string_view format_text = input.substr(0, nul);
  ValueReader reader{nul == std::string_view::npos ? std::string_view{} : input.substr(nul + 1)};

  std::vector<std::string> texts;  // storage the text values point into
  texts.reserve(kMaxValues);
  std::vector<FormatValue> values;
  std::uint8_t internal_length = 0;
  reader.take(&internal_length, 1);
  std::uint8_t tag = 0;
  while (values.size() < kMaxValues && reader.take(&tag, 1)) {
    if (tag % 3 == 0) {
      long long v = 0;
      if (!reader.take(&v, sizeof v)) break;
      values.emplace_back(v);
      write_fields(static_cast<double>(v), v, tag);
    } else if (tag % 3 == 1) {
      double v = 0;
      if (!reader.take(&v, sizeof v)) break;
      values.emplace_back(v);
      write_fields(v, static_cast<long long>(tag), tag);
    } else {
      std::uint8_t n = 0;
      if (!reader.take(&n, 1)) break;
      const std::size_t length = std::min<std::size_t>(n % 32, reader.bytes.size());
      texts.emplace_back(reader.bytes.substr(0, length));
      reader.bytes.remove_prefix(length);
      values.emplace_back(std::string_view(texts.back()));
    }
  }
  (void)free_form(values);

  try {
    const Format format(format_text);
    try {
      (void)format.write(values);
    } catch (const FormatError&) {
    }
    try {
      const std::string buffer = format.write_internal(internal_length, values);
      CHECK(buffer.size() == internal_length);
    } catch (const FormatError&) {
    }
  } catch (const FormatError&) {
  }
  return 0;
}
