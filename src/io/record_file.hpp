// Sequential binary records: each payload is framed by its length in bytes as a 4-byte
// little-endian integer before and after it. Numbers are written little-endian whatever the
// byte order of the machine.
#pragma once

#include <complex>
#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

namespace tessel {

// The payload of one record, built item by item.
class RecordPayload {
 public:
  void add_int32(std::int32_t value);
  void add_real32(float value);
  void add_real64(double value);
  void add_text(std::string_view text);  // the characters as they are, no terminator

  const std::string& bytes() const { return bytes_; }
  std::size_t size() const { return bytes_.size(); }
  void clear() { bytes_.clear(); }
  void reserve(std::size_t n) { bytes_.reserve(n); }

 private:
  std::string bytes_;
};

// Largest payload the 4-byte length can frame.
inline constexpr std::size_t kMaxRecordPayload = 0x7fffffff;

// Writes length, payload, length. False when the payload is too long to frame or the stream
// fails.
bool write_record(std::ostream& out, const RecordPayload& payload);

}  // namespace tessel
