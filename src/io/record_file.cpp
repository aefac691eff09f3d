// Sequential binary records with 4-byte little-endian length markers.
#include "io/record_file.hpp"

#include <bit>
#include <cstring>

namespace tessel {

namespace {

void append_le(std::string& out, std::uint64_t bits, int n_bytes) {
  for (int i = 0; i < n_bytes; ++i) out.push_back(static_cast<char>((bits >> (8 * i)) & 0xffu));
}

}  // namespace

void RecordPayload::add_int32(std::int32_t value) {
  append_le(bytes_, static_cast<std::uint32_t>(value), 4);
}

void RecordPayload::add_real32(float value) {
  append_le(bytes_, std::bit_cast<std::uint32_t>(value), 4);
}

void RecordPayload::add_real64(double value) {
  append_le(bytes_, std::bit_cast<std::uint64_t>(value), 8);
}

void RecordPayload::add_text(std::string_view text) { bytes_.append(text); }

bool write_record(std::ostream& out, const RecordPayload& payload) {
  if (payload.size() > kMaxRecordPayload) return false;
  std::string marker;
  append_le(marker, static_cast<std::uint32_t>(payload.size()), 4);
  out.write(marker.data(), static_cast<std::streamsize>(marker.size()));
  out.write(payload.bytes().data(), static_cast<std::streamsize>(payload.size()));
  out.write(marker.data(), static_cast<std::streamsize>(marker.size()));
  return static_cast<bool>(out);
}

}  // namespace tessel
