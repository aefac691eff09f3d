// Binary record framing: little-endian length markers around each payload.
#include "io/record_file.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

namespace tessel {

namespace {

constexpr std::size_t kBufferSize = std::size_t{1} << 16;
constexpr std::size_t kMarkerSize = 4;

std::uint64_t bits_of(double value) { return std::bit_cast<std::uint64_t>(value); }

}  // namespace

void store_le32(std::int32_t value, std::byte* out) {
  const auto u = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i) out[i] = static_cast<std::byte>((u >> (8 * i)) & 0xffU);
}

void store_le64(double value, std::byte* out) {
  const std::uint64_t u = bits_of(value);
  for (int i = 0; i < 8; ++i) out[i] = static_cast<std::byte>((u >> (8 * i)) & 0xffU);
}

std::int32_t load_le32(const std::byte* in) {
  std::uint32_t u = 0;
  for (int i = 0; i < 4; ++i) u |= std::to_integer<std::uint32_t>(in[i]) << (8 * i);
  return static_cast<std::int32_t>(u);
}

double load_le64(const std::byte* in) {
  std::uint64_t u = 0;
  for (int i = 0; i < 8; ++i) u |= std::to_integer<std::uint64_t>(in[i]) << (8 * i);
  return std::bit_cast<double>(u);
}

// ---- writer ---------------------------------------------------------------------------------

RecordWriter::RecordWriter(std::ostream& out) : out_(out), buffer_(kBufferSize) {}

void RecordWriter::flush_buffer() {
  if (used_ == 0) return;
  out_.write(reinterpret_cast<const char*>(buffer_.data()), static_cast<std::streamsize>(used_));
  used_ = 0;
}

std::byte* RecordWriter::room(std::size_t n) {
  if (used_ + n > buffer_.size()) flush_buffer();
  std::byte* at = buffer_.data() + used_;
  used_ += n;
  return at;
}

std::byte* RecordWriter::payload_room(std::size_t n) {
  if (!open_) throw RecordError("no record is open");
  written_ += n;
  return room(n);
}

void RecordWriter::begin_record(std::uint64_t length) {
  if (open_) throw RecordError("a record is already open");
  if (length > kMaxRecordLength) {
    throw RecordError("record of " + std::to_string(length) + " bytes is too long to frame");
  }
  length_ = length;
  written_ = 0;
  open_ = true;
  store_le32(static_cast<std::int32_t>(length), room(kMarkerSize));
}

void RecordWriter::put_i32(std::int32_t value) {
  store_le32(value, payload_room(4));
}

void RecordWriter::put_f64(double value) {
  store_le64(value, payload_room(8));
}

void RecordWriter::put_bytes(std::span<const std::byte> bytes) {
  if (!open_) throw RecordError("no record is open");
  while (!bytes.empty()) {
    if (used_ == buffer_.size()) flush_buffer();
    const std::size_t n = std::min(bytes.size(), buffer_.size() - used_);
    std::memcpy(buffer_.data() + used_, bytes.data(), n);
    used_ += n;
    written_ += n;
    bytes = bytes.subspan(n);
  }
}

void RecordWriter::put_f64s(std::span<const double> values) {
  for (double v : values) put_f64(v);
}

void RecordWriter::put_complex(std::span<const std::complex<double>> values) {
  for (const std::complex<double>& v : values) {
    put_f64(v.real());
    put_f64(v.imag());
  }
}

void RecordWriter::end_record() {
  if (!open_) throw RecordError("no record is open");
  open_ = false;
  if (written_ != length_) {
    throw RecordError("record announced " + std::to_string(length_) + " bytes, " +
                      std::to_string(written_) + " were written");
  }
  store_le32(static_cast<std::int32_t>(length_), room(kMarkerSize));
  flush_buffer();
  if (!out_) throw RecordError("the stream refused the record");
}

// ---- reader ---------------------------------------------------------------------------------

RecordReader::RecordReader(std::span<const std::byte> bytes)
    : bytes_(bytes), input_left_(bytes.size()) {}

RecordReader::RecordReader(std::istream& in, std::uint64_t size) : in_(&in), input_left_(size) {}

void RecordReader::fetch(std::byte* out, std::size_t n) {
  if (n > input_left_) throw RecordError("the input ends inside a record");
  if (in_ != nullptr) {
    in_->read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(n));
    if (static_cast<std::size_t>(in_->gcount()) != n) {
      throw RecordError("the input ends inside a record");
    }
  } else {
    std::memcpy(out, bytes_.data(), n);
    bytes_ = bytes_.subspan(n);
  }
  input_left_ -= n;
}

std::int32_t RecordReader::fetch_marker() {
  std::array<std::byte, kMarkerSize> marker{};
  fetch(marker.data(), marker.size());
  return load_le32(marker.data());
}

std::uint64_t RecordReader::begin_record(std::uint64_t max_length) {
  if (open_) throw RecordError("a record is already open");
  if (input_left_ == 0) throw RecordError("no record left in the input");
  if (input_left_ < kMarkerSize) throw RecordError("the input ends inside a record marker");
  const std::int32_t marker = fetch_marker();
  if (marker < 0) throw RecordError("negative record length " + std::to_string(marker));
  const auto length = static_cast<std::uint64_t>(marker);
  if (length > max_length) {
    throw RecordError("record length " + std::to_string(length) + " exceeds the maximum " +
                      std::to_string(max_length));
  }
  if (length + kMarkerSize > input_left_) {
    throw RecordError("record length " + std::to_string(length) + " exceeds the " +
                      std::to_string(input_left_) + " bytes left");
  }
  length_ = length;
  payload_left_ = length;
  open_ = true;
  return length;
}

void RecordReader::take(std::byte* out, std::size_t n) {
  if (!open_) throw RecordError("no record is open");
  if (n > payload_left_) throw RecordError("read beyond the end of the record");
  fetch(out, n);
  payload_left_ -= n;
}

std::int32_t RecordReader::get_i32() {
  std::array<std::byte, 4> b{};
  take(b.data(), b.size());
  return load_le32(b.data());
}

double RecordReader::get_f64() {
  std::array<std::byte, 8> b{};
  take(b.data(), b.size());
  return load_le64(b.data());
}

void RecordReader::get_bytes(std::span<std::byte> out) { take(out.data(), out.size()); }

void RecordReader::get_f64s(std::span<double> out) {
  if (out.size() > payload_left_ / 8) throw RecordError("read beyond the end of the record");
  std::array<std::byte, 8 * 1024> chunk{};
  constexpr std::size_t kPerChunk = chunk.size() / 8;
  while (!out.empty()) {
    const std::size_t n = std::min(out.size(), kPerChunk);
    take(chunk.data(), 8 * n);
    for (std::size_t i = 0; i < n; ++i) out[i] = load_le64(chunk.data() + 8 * i);
    out = out.subspan(n);
  }
}

void RecordReader::get_complex(std::span<std::complex<double>> out) {
  if (out.size() > payload_left_ / 16) throw RecordError("read beyond the end of the record");
  std::array<std::byte, 16 * 512> chunk{};
  constexpr std::size_t kPerChunk = chunk.size() / 16;
  while (!out.empty()) {
    const std::size_t n = std::min(out.size(), kPerChunk);
    take(chunk.data(), 16 * n);
    for (std::size_t i = 0; i < n; ++i) {
      out[i] = {load_le64(chunk.data() + 16 * i), load_le64(chunk.data() + 16 * i + 8)};
    }
    out = out.subspan(n);
  }
}

void RecordReader::end_record() {
  if (!open_) throw RecordError("no record is open");
  // Skip what the caller did not read.
  std::array<std::byte, 4096> sink{};
  while (payload_left_ > 0) {
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(payload_left_, sink.size()));
    take(sink.data(), n);
  }
  open_ = false;
  const std::int32_t marker = fetch_marker();
  if (static_cast<std::int64_t>(marker) != static_cast<std::int64_t>(length_)) {
    throw RecordError("trailing record marker " + std::to_string(marker) +
                      " differs from the leading " + std::to_string(length_));
  }
}

}  // namespace tessel
