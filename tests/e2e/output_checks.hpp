// Helpers of the end-to-end tests for reading what a run wrote: lines, counts, labelled-value
// lines and the records of the framed binary files.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tessel_test {

inline bool has_line(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Occurrences of `piece` in `text`, overlapping ones included.
inline int count_of(const std::string& text, const std::string& piece) {
  int n = 0;
  for (auto pos = text.find(piece); pos != std::string::npos; pos = text.find(piece, pos + 1)) ++n;
  return n;
}

// A labelled-value line as the program writes it: a blank, the label, a blank, dots up to
// column 56 of the label's field, " : " and the value.
inline std::string labelled(const std::string& label, const std::string& value) {
  return " " + label + " " + std::string(56 - label.size() - 1, '.') + " : " + value;
}

// The unsigned 4-byte little-endian number at `at`.
inline std::uint32_t le32_at(const std::string& bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i)
    v |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes.at(at + i))) << (8 * i);
  return v;
}

// The record payloads of a framed binary file (4-byte little-endian length before and after
// each); a frame whose two lengths differ, or bytes left over, fail the test.
inline std::vector<std::string> records_of(const std::string& bytes) {
  std::vector<std::string> records;
  std::size_t pos = 0;
  while (pos + 4 <= bytes.size()) {
    const std::uint32_t n = le32_at(bytes, pos);
    records.push_back(bytes.substr(pos + 4, n));
    EXPECT_EQ(le32_at(bytes, pos + 4 + n), n);
    pos += 8 + n;
  }
  EXPECT_EQ(pos, bytes.size());
  return records;
}

}  // namespace tessel_test
