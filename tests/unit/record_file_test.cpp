// Binary record framing: the bytes the writer produces and the reader's refusals.
#include "io/record_file.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace tessel {
namespace {

std::vector<unsigned char> bytes_of(const std::string& s) { return {s.begin(), s.end()}; }

std::string text_of(const std::vector<unsigned char>& b) { return {b.begin(), b.end()}; }

// Runs `body` on a reader over the bytes held in memory and on one over a stream.
template <class Body>
void with_both_readers(const std::string& bytes, Body body) {
  {
    SCOPED_TRACE("buffer");
    RecordReader reader(std::as_bytes(std::span<const char>(bytes)));
    body(reader);
  }
  {
    SCOPED_TRACE("stream");
    std::istringstream in(bytes);
    RecordReader reader(in, bytes.size());
    body(reader);
  }
}

TEST(RecordFile, WriterFramesLittleEndian) {
  std::ostringstream out;
  RecordWriter writer(out);
  writer.begin_record(12);
  writer.put_i32(-2);
  writer.put_f64(1.0);
  writer.end_record();
  writer.begin_record(0);
  writer.end_record();
  // 12 = 0C; -2 = FFFFFFFE; 1.0 = 3FF0000000000000 (sign 0, exponent 1023, mantissa 0).
  const std::vector<unsigned char> expected = {
      0x0C, 0, 0, 0,  0xFE, 0xFF, 0xFF, 0xFF,  0, 0, 0, 0, 0, 0, 0xF0, 0x3F,  0x0C, 0, 0, 0,
      0, 0, 0, 0,  0, 0, 0, 0};
  EXPECT_EQ(bytes_of(out.str()), expected);
}

TEST(RecordFile, WriterRefusesBrokenRecords) {
  struct Case {
    const char* name;
    void (*act)(RecordWriter&);
  };
  const Case cases[] = {
      {"payload shorter than announced",
       [](RecordWriter& w) { w.begin_record(8); w.put_i32(1); w.end_record(); }},
      {"payload longer than announced",
       [](RecordWriter& w) { w.begin_record(4); w.put_f64(1); w.end_record(); }},
      {"value outside a record", [](RecordWriter& w) { w.put_i32(1); }},
      {"end without a record", [](RecordWriter& w) { w.end_record(); }},
      {"length beyond the marker", [](RecordWriter& w) { w.begin_record(0x80000000ULL); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::ostringstream out;
    RecordWriter writer(out);
    EXPECT_THROW(c.act(writer), RecordError);
  }
}

TEST(RecordFile, ReaderSkipsTheUnreadRestOfARecord) {
  // Two records: 8 bytes (ints 1, 2) and 4 bytes (int 3).
  const std::string bytes = text_of({8, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 8, 0, 0, 0,
                                     4, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0});
  with_both_readers(bytes, [](RecordReader& reader) {
    EXPECT_EQ(reader.begin_record(8), 8U);
    EXPECT_EQ(reader.get_i32(), 1);
    reader.end_record();
    EXPECT_EQ(reader.begin_record(8), 4U);
    EXPECT_EQ(reader.get_i32(), 3);
    reader.end_record();
    EXPECT_EQ(reader.input_left(), 0U);
  });
}

TEST(RecordFile, ReaderRefusesBadFraming) {
  struct Case {
    const char* name;
    std::vector<unsigned char> bytes;
    std::uint64_t max_length;
    int reads;  // int32 values read before end_record
  };
  const Case cases[] = {
      {"empty input", {}, 100, 0},
      {"marker cut short", {4, 0}, 100, 0},
      {"negative length", {0xFC, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0xFC, 0xFF, 0xFF, 0xFF}, 100, 0},
      {"length above the caller's maximum", {8, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 8, 0, 0, 0}, 4, 0},
      {"length beyond the input", {0xFF, 0xFF, 0xFF, 0x7F, 1, 0, 0, 0}, 0x7FFFFFFF, 0},
      {"trailing marker missing", {4, 0, 0, 0, 1, 0, 0, 0}, 100, 0},
      {"trailing marker differs", {4, 0, 0, 0, 1, 0, 0, 0, 5, 0, 0, 0}, 100, 1},
      {"trailing marker of the next record's size", {4, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0}, 100, 1},
      {"read beyond the payload", {4, 0, 0, 0, 1, 0, 0, 0, 4, 0, 0, 0}, 100, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    with_both_readers(text_of(c.bytes), [&](RecordReader& reader) {
      EXPECT_THROW(
          {
            reader.begin_record(c.max_length);
            for (int i = 0; i < c.reads; ++i) reader.get_i32();
            reader.end_record();
          },
          RecordError);
    });
  }
}

}  // namespace
}  // namespace tessel
