// An input stream over text held in memory, without a copy of it (std::istringstream copies),
// that can be rewound like a file.
#pragma once

#include <istream>
#include <streambuf>
#include <string_view>

namespace tessel {

class MemoryBuffer : public std::streambuf {
 public:
  explicit MemoryBuffer(std::string_view text) {
    char* begin = const_cast<char*>(text.data());  // read only: no put area is set
    setg(begin, begin, begin + text.size());
  }

 protected:
  pos_type seekoff(off_type offset, std::ios_base::seekdir dir, std::ios_base::openmode which) override {
    if (!(which & std::ios_base::in)) return pos_type(off_type(-1));
    off_type base = 0;
    if (dir == std::ios_base::cur) base = gptr() - eback();
    if (dir == std::ios_base::end) base = egptr() - eback();
    const off_type target = base + offset;
    if (target < 0 || target > egptr() - eback()) return pos_type(off_type(-1));
    setg(eback(), eback() + target, egptr());
    return pos_type(target);
  }
  pos_type seekpos(pos_type position, std::ios_base::openmode which) override {
    return seekoff(off_type(position), std::ios_base::beg, which);
  }
};

// The stream and its buffer together; the text must outlive it.
class MemoryStream : public std::istream {
 public:
  explicit MemoryStream(std::string_view text) : std::istream(nullptr), buffer_(text) { rdbuf(&buffer_); }

 private:
  MemoryBuffer buffer_;
};

}  // namespace tessel
