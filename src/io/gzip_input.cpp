// Whole files into memory, gzip streams decompressed with zlib.
#include "io/gzip_input.hpp"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <limits>
#include <system_error>

#include "core/errors.hpp"
#include "io/structure_open_error.hpp"

namespace tessel {

namespace {

constexpr std::size_t kChunk = std::size_t{1} << 18;  // output bytes added per inflate call
// The size the last member's trailer announces is trusted for the first allocation only up to
// this multiple of the compressed size (deflate expands text by up to about 1000 times).
constexpr std::size_t kTrustedExpansion = 64;

[[noreturn]] void fail(std::string_view file_name, std::string_view problem) {
  throw Error(" Error -- Cannot read compressed file " + std::string(file_name) + ": " +
                  std::string(problem),
              1);
}

bool is_gzip_member_start(std::string_view bytes) {
  return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1f &&
         static_cast<unsigned char>(bytes[1]) == 0x8b;
}

// An inflate state released on every way out.
class Inflater {
 public:
  explicit Inflater(std::string_view file_name) {
    if (inflateInit2(&stream_, 16 + MAX_WBITS) != Z_OK) fail(file_name, "zlib cannot start");
  }
  ~Inflater() { inflateEnd(&stream_); }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;
  z_stream& stream() { return stream_; }

 private:
  z_stream stream_{};
};

}  // namespace

std::string gunzip(std::string_view compressed, std::string_view file_name) {
  if (compressed.empty()) fail(file_name, "the file is empty");
  if (!is_gzip_member_start(compressed)) fail(file_name, "not in gzip format");

  std::string out;
  // The last four bytes hold the (last member's) uncompressed size modulo 2^32.
  if (compressed.size() >= 18) {
    std::uint32_t announced = 0;
    for (int i = 0; i < 4; ++i)
      announced |= std::uint32_t{static_cast<unsigned char>(compressed[compressed.size() - 4 + i])}
                   << (8 * i);
    out.reserve(std::min<std::size_t>(announced, compressed.size() * kTrustedExpansion));
  }

  Inflater inflater(file_name);
  z_stream& z = inflater.stream();
  std::size_t fed = 0;  // bytes of `compressed` handed to zlib so far
  for (;;) {            // one member per round
    int status = Z_OK;
    do {
      if (z.avail_in == 0 && fed < compressed.size()) {
        // zlib counts in 32-bit units: at most that much at a time.
        const std::size_t n =
            std::min<std::size_t>(compressed.size() - fed, std::numeric_limits<uInt>::max());
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data() + fed));
        z.avail_in = static_cast<uInt>(n);
        fed += n;
      }
      const std::size_t before = out.size();
      out.resize(before + kChunk);
      z.next_out = reinterpret_cast<Bytef*>(out.data() + before);
      z.avail_out = static_cast<uInt>(kChunk);
      status = inflate(&z, Z_NO_FLUSH);
      out.resize(before + kChunk - z.avail_out);
      // Z_BUF_ERROR: no progress for want of input, which may still come.
    } while (status == Z_OK || (status == Z_BUF_ERROR && z.avail_in == 0 && fed < compressed.size()));
    if (status == Z_MEM_ERROR) fail(file_name, "out of memory");
    if (status == Z_DATA_ERROR || status == Z_NEED_DICT) fail(file_name, "the gzip data is corrupted");
    if (status != Z_STREAM_END) fail(file_name, "the gzip data ends early (the file is truncated)");
    // Another member may follow; zero bytes padding the end are passed over.
    const std::size_t used = fed - z.avail_in;
    const std::string_view rest = compressed.substr(used);
    if (rest.find_first_not_of('\0') == std::string_view::npos) break;
    if (!is_gzip_member_start(rest)) fail(file_name, "data after the end of the gzip stream");
    if (inflateReset(&z) != Z_OK) fail(file_name, "zlib cannot restart");
    fed = used;
    z.avail_in = 0;
  }
  out.shrink_to_fit();
  return out;
}

std::string read_whole_file(const std::filesystem::path& file) {
  std::error_code ec;
  // Only a regular file is read: a FIFO would wait for a writer, a device may never end.
  if (!std::filesystem::is_regular_file(file, ec)) throw StructureOpenError(file.string());
  std::ifstream in(file, std::ios::binary);
  if (!in) throw StructureOpenError(file.string());
  std::string bytes;
  const auto size = std::filesystem::file_size(file, ec);
  if (!ec) bytes.reserve(static_cast<std::size_t>(size));
  char buffer[1 << 16];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad()) throw StructureOpenError(file.string());
  return bytes;
}

std::string read_structure_bytes(const std::filesystem::path& file, bool gzip) {
  std::string bytes = read_whole_file(file);
  if (!gzip) return bytes;
  return gunzip(bytes, file.string());
}

}  // namespace tessel
