// Formatted text output: edit-descriptor formats such as "(5E14.6)" or "( 1x, A, ': ', $ )",
// the labelled-value line of the log and the rendering of reals inside it.
// Every text the program writes goes through these routines.
#pragma once

#include <concepts>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

namespace tessel {

// One value handed to a formatted write.
using FormatValue = std::variant<long long, double, std::string_view>;

class FormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A compiled format: parsed once, applied to any number of value lists.
class Format {
 public:
  // Parses a parenthesised format; throws FormatError when it is malformed. Items: 'text'
  // (or "text"; a doubled quote stands for one), A, Aw, Iw, Iw.m, Fw.d, Ew.d, Ew.dEe, Gw.d,
  // Gw.dEe, kP (acts on the E and G items after it), nX, Tn, TLn, TRn, /, :, $ and repeat
  // counts r on data descriptors, '/' and groups r(...). Letters in either case; blanks outside
  // literals do not count; commas between items may be left out.
  explicit Format(std::string_view text);

  // Applies the format. Each line ends with '\n', except the last when the format ends
  // with '$' (that line also keeps its trailing blanks). Trailing blanks of every other line
  // are removed. Output stops at the first data descriptor with no value left; values left
  // at the end of the format start a new line from the last top-level group (or the whole
  // format). Throws FormatError when a value does not suit its descriptor (a number for A,
  // a real for I, a text for a number).
  std::string write(std::span<const FormatValue> values) const;

  // Internal write into a buffer of fixed length: blank-filled beyond the written
  // characters, cut at the length. A second line (through '/' or reuse of the format)
  // throws FormatError.
  std::string write_internal(std::size_t length, std::span<const FormatValue> values) const;

  template <class... Args>
  std::string operator()(const Args&... args) const {
    const FormatValue values[] = {to_value(args)..., FormatValue{0LL}};
    return write(std::span<const FormatValue>(values, sizeof...(Args)));
  }

  template <class T>
  static FormatValue to_value(const T& v) {
    if constexpr (std::is_same_v<T, bool>) {
      static_assert(!std::is_same_v<T, bool>, "no logical values in formats");
    } else if constexpr (std::is_same_v<T, char>) {
      return FormatValue{std::string_view(&v, 1)};  // one character is a text
    } else if constexpr (std::integral<T>) {
      return FormatValue{static_cast<long long>(v)};
    } else if constexpr (std::floating_point<T>) {
      return FormatValue{static_cast<double>(v)};
    } else {
      return FormatValue{std::string_view(v)};
    }
  }

  // One parsed item. Repeat counts of single descriptors stay on the item; a parenthesised
  // group becomes a group_begin/group_end pair.
  struct Item {
    enum class Kind : unsigned char {
      literal,      // 'text'
      text,         // A, Aw (w < 0: the whole text)
      integer,      // Iw, Iw.m, I0 (d = m, or -1)
      fixed,        // Fw.d
      exponential,  // Ew.d, Ew.dEe (e = exponent digits, 0: two, or three without the letter)
      general,      // Gw.d, Gw.dEe
      skip,         // nX, TRn (w = n)
      tab,          // Tn (w = n, 1-based column)
      tab_left,     // TLn (w = n)
      slash,        // /
      colon,        // :  (stop here when no value is left)
      dollar,       // $  (leave the last line open)
      scale,        // kP (d = k)
      group_begin,  // r( (repeat = r, w = index of the matching group_end)
      group_end     // )  (w = index of the matching group_begin)
    };
    Kind kind = Kind::literal;
    int repeat = 1;
    int w = 0;
    int d = 0;
    int e = 0;
    std::string literal;
  };

 private:
  std::vector<Item> items_;
  std::size_t reversion_ = 0;     // where a format restarts when values remain at its end
  bool reversion_has_data_ = false;
  friend struct FormatRunner;
};

// Single fields, as the descriptors write them (w = 0 means the shortest width). A number
// too wide for w is w asterisks. Values are rounded from their exact binary value, exact
// halves away from zero (0.125 in F5.2 is " 0.13"). A negative value that rounds to zero keeps
// its minus sign ("-0.00"); a negative zero is written as zero. NaN and infinities are written
// as NaN, Infinity, -Infinity (or Inf, -Inf when narrower), right-aligned, else asterisks.
// Exponents beyond ±99 take three digits and lose the letter E (0.100000+101).
std::string format_i(long long value, int w, int m = -1);                   // Iw, Iw.m, I0
std::string format_f(double value, int w, int d);                           // Fw.d, F0.d
std::string format_e(double value, int w, int d, int scale = 0);            // Ew.d, kPEw.d
std::string format_g(double value, int w, int d, int scale = 0);            // Gw.d, G0.d, kPGw.d

// Shortest integer text (I0).
std::string int_text(long long value);

// A double as the labelled-value line shows it: 0.0 for zero, else 1PG24.4 above 0.1 in
// magnitude and 1PG24.3 otherwise, blanks removed (0.5000, 15.00, 2584., 1.2345E+04).
std::string real_text(double value);

// The labelled-value line, ending with '\n': one extra blank, then in a buffer of 256
// columns (integers) or 128 (reals, texts; longer values are cut) the label without its
// trailing blanks, a blank, dots to column 56, a blank, the colon in column 58 (column n + 1
// for a label of n >= 57 characters), a blank and the value; trailing blanks removed.
std::string labelled_line(std::string_view label, std::string_view value);
std::string labelled_line(std::string_view label, long long value);
std::string labelled_line(std::string_view label, int value);
std::string labelled_line(std::string_view label, double value);
std::string labelled_line(std::string_view label, const char* value);
std::string labelled_line(std::string_view label, const std::string& value);

// Other integer types (counts of type std::size_t and the like) as integers.
template <std::integral T>
  requires(!std::is_same_v<T, bool> && !std::is_same_v<T, char> && !std::is_same_v<T, int> &&
           !std::is_same_v<T, long long>)
std::string labelled_line(std::string_view label, T value) {
  return labelled_line(label, static_cast<long long>(value));
}

// Free-form write of one line: a leading blank, items separated by single blanks, trailing
// blanks removed, '\n' at the end. Integers in their shortest form, texts as given. A double
// gets its shortest round-trip digits padded with zeros to 15 significant digits, in fixed
// notation for 0.1 <= |x| < 1e15 (0.500000000000000, 1234.50000000000) and as
// d.ddddddddddddddE±XX otherwise (1.00000000000000E-05); zero is 0.0.
std::string free_form(std::span<const FormatValue> values);

template <class... Args>
std::string free_form_line(const Args&... args) {
  const FormatValue values[] = {Format::to_value(args)..., FormatValue{0LL}};
  return free_form(std::span<const FormatValue>(values, sizeof...(Args)));
}

}  // namespace tessel
