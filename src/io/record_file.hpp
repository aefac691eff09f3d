// Binary record framing of the save and amplitude files: every record is its payload length as a
// 4-byte signed little-endian integer, the payload, and the same length again, with nothing
// between records. Numbers inside a payload are little-endian too (32-bit integers, IEEE 754
// doubles), whatever the byte order of the host.
#pragma once

#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <istream>
#include <ostream>
#include <span>
#include <stdexcept>
#include <vector>

namespace tessel {

// A record that cannot be written or read as framed; what() says which check failed.
class RecordError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Largest payload the 4-byte marker can state.
inline constexpr std::uint64_t kMaxRecordLength = 0x7fffffff;

// Writes framed records to a binary stream. Each record is announced with its payload length,
// filled with the put_ calls and closed with end_record(), which throws RecordError when the
// payload written differs from the length announced or the stream has failed. Bytes go through
// a small buffer, so a record of any size needs no copy of its payload in memory.
class RecordWriter {
 public:
  explicit RecordWriter(std::ostream& out);
  RecordWriter(const RecordWriter&) = delete;
  RecordWriter& operator=(const RecordWriter&) = delete;

  // Starts a record of `length` payload bytes (at most kMaxRecordLength) and writes its
  // leading marker.
  void begin_record(std::uint64_t length);
  void put_i32(std::int32_t value);
  void put_f64(double value);
  void put_bytes(std::span<const std::byte> bytes);
  void put_f64s(std::span<const double> values);
  // Each value as its real part, then its imaginary part.
  void put_complex(std::span<const std::complex<double>> values);
  // Writes the trailing marker and hands the bytes to the stream.
  void end_record();

 private:
  std::byte* room(std::size_t n);          // n more bytes at the end of the buffer
  std::byte* payload_room(std::size_t n);  // the same, counted as payload of the open record
  void flush_buffer();

  std::ostream& out_;
  std::vector<std::byte> buffer_;
  std::size_t used_ = 0;
  std::uint64_t length_ = 0;     // of the open record
  std::uint64_t written_ = 0;    // payload bytes of the open record so far
  bool open_ = false;
};

// Reads framed records from a byte buffer or from a stream of known size. A record is opened
// with begin_record(), which checks the leading marker before anything is read or allocated: it
// must not be negative, not exceed the caller's maximum, and the payload with its trailing
// marker must fit in what is left of the input. The get_ calls cannot read beyond the payload,
// and end_record() skips what is left of it and checks that the trailing marker repeats the
// leading one. Every failure throws RecordError.
class RecordReader {
 public:
  explicit RecordReader(std::span<const std::byte> bytes);
  // `size` is the number of bytes the stream holds from its current position.
  RecordReader(std::istream& in, std::uint64_t size);
  RecordReader(const RecordReader&) = delete;
  RecordReader& operator=(const RecordReader&) = delete;

  // Opens the next record and returns its payload length.
  std::uint64_t begin_record(std::uint64_t max_length);
  std::int32_t get_i32();
  double get_f64();
  void get_bytes(std::span<std::byte> out);
  void get_f64s(std::span<double> out);
  void get_complex(std::span<std::complex<double>> out);
  void end_record();

  // Payload bytes not yet read from the open record.
  std::uint64_t payload_left() const { return payload_left_; }
  // Bytes of the input after the current position.
  std::uint64_t input_left() const { return input_left_; }

 private:
  void take(std::byte* out, std::size_t n);   // from the payload
  void fetch(std::byte* out, std::size_t n);  // from the input
  std::int32_t fetch_marker();

  std::span<const std::byte> bytes_;  // buffer input
  std::istream* in_ = nullptr;        // stream input
  std::uint64_t input_left_ = 0;
  std::uint64_t length_ = 0;          // of the open record
  std::uint64_t payload_left_ = 0;
  bool open_ = false;
};

// Little-endian encoding of single values, as the records hold them.
void store_le32(std::int32_t value, std::byte* out);
void store_le64(double value, std::byte* out);
std::int32_t load_le32(const std::byte* in);
double load_le64(const std::byte* in);

}  // namespace tessel
