// Formatted text output: parsing of edit-descriptor formats, the field renderers (I, F, E, G,
// A), the format runner with repeat groups and reversion, the labelled-value line and free-form
// lines. Numbers are rounded half away from zero from their exact binary value.
#include "io/fortran_format.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

#include "core/trim.hpp"

namespace tessel {

namespace {

// ---------------------------------------------------------------------------------------
// Decimal digits of a double, correctly rounded.
//
// std::to_chars gives correctly rounded digits, ties to even. The text is first generated
// with four guard digits; only when those read exactly "5000" can the guard rounding hide
// which side of the half-way point the exact value lies, and then the exact expansion (at
// most 767 significant digits, 1074 decimals) is generated instead. Rounding the text by
// hand afterwards therefore never rounds twice.

constexpr int kGuard = 4;
constexpr int kExactScientific = 780;  // more than the 767 significant digits of any double
constexpr int kExactFixed = 1100;      // more than the 1074 decimals of any double
constexpr int kMaxDigits = 200;        // largest d accepted (w up to five times that)
// Most steps and columns one pass through a format may take: nested repeat counts multiply,
// so "(99999(99999'x'))" would otherwise write for minutes.
constexpr double kMaxPassLength = 1e6;

// Adds one unit at the last of the first `keep` digits of `s`. Returns true when the carry
// runs out of the front (all nines), in which case the digits are all '0'.
bool increment(char* s, int keep) {
  for (int i = keep - 1; i >= 0; --i) {
    if (s[i] == '9') {
      s[i] = '0';
    } else {
      ++s[i];
      return false;
    }
  }
  return true;
}

// |a| (finite, > 0) rounded to n significant digits: digits[0..n) and e with
// |a| = 0.digits × 10^e.
int round_significant(double a, int n, char* digits) {
  std::array<char, kExactScientific + 32> buf;
  auto generate = [&](int precision) {
    auto r = std::to_chars(buf.data(), buf.data() + buf.size(), a, std::chars_format::scientific,
                           precision);
    return static_cast<int>(r.ptr - buf.data());
  };
  int precision = n - 1 + kGuard;
  int len = generate(precision);
  // Layout: d.ddd...e±XX
  if (std::equal(buf.data() + 1 + n, buf.data() + 1 + n + kGuard, "5000")) {
    precision = kExactScientific;
    len = generate(precision);
  }
  const char* p = buf.data();
  const char* end = p + len;
  digits[0] = p[0];
  std::copy(p + 2, p + 2 + (n - 1), digits + 1);
  const char next = p[1 + n];  // the first digit dropped
  const char* ep = std::find(p, end, 'e');
  int exponent = 0;
  std::from_chars(ep + (ep[1] == '+' ? 2 : 1), end, exponent);
  int e = exponent + 1;
  if (next >= '5' && increment(digits, n)) {
    digits[0] = '1';
    ++e;
  }
  return e;
}

// |a| (finite) rounded to d decimals (d <= kMaxDigits): integer digits (at least "0") and d
// fraction digits.
void round_fixed(double a, int d, std::string& int_part, std::string& frac) {
  // Guarded text: up to 309 integer digits, the point and d + kGuard decimals.
  std::array<char, 320 + kMaxDigits + kGuard> small;
  std::string exact;
  char* text = small.data();
  auto r = std::to_chars(small.data(), small.data() + small.size(), a, std::chars_format::fixed,
                         d + kGuard);
  int len = static_cast<int>(r.ptr - text);
  if (std::equal(text + len - kGuard, text + len, "5000")) {
    exact.resize(320 + kExactFixed);
    r = std::to_chars(exact.data(), exact.data() + exact.size(), a, std::chars_format::fixed,
                      kExactFixed);
    text = exact.data();
    len = static_cast<int>(r.ptr - text);
  }
  // Drop the point so that the digits run on; keep the integer digits and d decimals.
  const int dot = static_cast<int>(std::find(text, text + len, '.') - text);
  std::copy(text + dot + 1, text + len, text + dot);
  const int keep = dot + d;
  const bool carry = text[keep] >= '5' && increment(text, keep);
  int_part.clear();
  if (carry) int_part.push_back('1');
  int_part.append(text, static_cast<std::size_t>(dot));
  frac.assign(text + dot, static_cast<std::size_t>(d));
}

// ---------------------------------------------------------------------------------------
// Field renderers. Each appends its field to `out`: exactly w characters, or the shortest
// text when w == 0.

void check_digits(int d) {
  if (d < 0 || d > kMaxDigits) throw FormatError("digit count out of range: " + std::to_string(d));
}

void put_stars(std::string& out, int w) {
  out.append(static_cast<std::size_t>(std::max(w, 1)), '*');
}

void put_right(std::string& out, std::string_view text, int w) {
  if (w == 0) {
    out.append(text);
  } else if (static_cast<int>(text.size()) > w) {
    put_stars(out, w);
  } else {
    out.append(static_cast<std::size_t>(w) - text.size(), ' ');
    out.append(text);
  }
}

// NaN and infinities: the longest word that fits, right-aligned, else asterisks.
bool put_non_finite(std::string& out, double x, int w) {
  if (std::isfinite(x)) return false;
  std::string_view text;
  if (std::isnan(x)) {
    text = "NaN";
  } else if (x > 0) {
    text = (w == 0 || w >= 8) ? "Infinity" : "Inf";
  } else {
    text = (w == 0 || w >= 9) ? "-Infinity" : "-Inf";
  }
  put_right(out, text, w);
  return true;
}

// Assembles [-][int].frac right-aligned in w; the zero before the point of a value below one
// is dropped when the field is otherwise too narrow. Returns false when it does not fit.
bool put_fixed_parts(std::string& out, bool negative, std::string_view int_part,
                     std::string_view frac, int w) {
  bool drop_zero = false;
  std::size_t len = (negative ? 1 : 0) + int_part.size() + 1 + frac.size();
  if (w > 0 && len > static_cast<std::size_t>(w) && int_part == "0" && !frac.empty()) {
    drop_zero = true;
    --len;
  }
  if (w > 0 && len > static_cast<std::size_t>(w)) return false;
  if (w > 0) out.append(static_cast<std::size_t>(w) - len, ' ');
  if (negative) out.push_back('-');
  if (!drop_zero) out.append(int_part);
  out.push_back('.');
  out.append(frac);
  return true;
}

void put_f(std::string& out, double x, int w, int d) {
  check_digits(d);
  if (put_non_finite(out, x, w)) return;
  // A negative value that rounds to zero keeps its sign; a negative zero does not.
  const bool negative = x < 0;
  const double a = std::fabs(x);
  // Integer digits alone exceed the field: no need to generate them.
  if (w > 0 && w <= 300 && a >= std::pow(10.0, w)) {
    put_stars(out, w);
    return;
  }
  std::string int_part, frac;
  round_fixed(a, d, int_part, frac);
  if (!put_fixed_parts(out, negative, int_part, frac, w)) put_stars(out, w);
}

// Ew.d with scale factor k and e exponent digits (0: two digits, or three without the
// letter E beyond ±99).
void put_e(std::string& out, double x, int w, int d, int k, int e_digits = 0) {
  check_digits(d);
  if (put_non_finite(out, x, w)) return;
  const int n = k <= 0 ? d + k : d + 1;  // significant digits written
  if (k <= -d || k >= d + 2 || n < 1) {
    put_stars(out, w);
    return;
  }
  const bool negative = x < 0;
  const double a = std::fabs(x);
  std::array<char, kMaxDigits + 2> digits;
  int exponent = 0;
  if (a == 0) {
    std::fill(digits.begin(), digits.begin() + n, '0');
  } else {
    exponent = round_significant(a, n, digits.data()) - k;
  }
  // Exponent text.
  std::array<char, 16> exp_text;
  int exp_len = 0;
  const int abs_exp = std::abs(exponent);
  int exp_width = e_digits > 0 ? e_digits : 2;
  bool letter = true;
  if (e_digits > 0) {
    if (abs_exp >= static_cast<int>(std::pow(10, e_digits))) exp_width = -1;
  } else if (abs_exp > 999) {
    exp_width = -1;
  } else if (abs_exp > 99) {
    exp_width = 3;
    letter = false;
  }
  if (exp_width < 0) {
    put_stars(out, w);
    return;
  }
  if (letter) exp_text[exp_len++] = 'E';
  exp_text[exp_len++] = exponent < 0 ? '-' : '+';
  for (int i = exp_width - 1, v = abs_exp; i >= 0; --i, v /= 10)
    exp_text[exp_len + i] = char('0' + v % 10);
  exp_len += exp_width;

  // Mantissa: k <= 0: 0.(-k zeros)(digits); k > 0: k digits, the point, the rest.
  const bool optional_zero = k <= 0;
  std::size_t len = (negative ? 1 : 0) + static_cast<std::size_t>(n) + 1 +
                    static_cast<std::size_t>(k <= 0 ? -k : 0) + static_cast<std::size_t>(exp_len) +
                    (optional_zero ? 1 : 0);
  bool drop_zero = false;
  if (w > 0 && len > static_cast<std::size_t>(w) && optional_zero) {
    drop_zero = true;
    --len;
  }
  if (w > 0 && len > static_cast<std::size_t>(w)) {
    put_stars(out, w);
    return;
  }
  if (w > 0) out.append(static_cast<std::size_t>(w) - len, ' ');
  if (negative) out.push_back('-');
  if (k <= 0) {
    if (!drop_zero) out.push_back('0');
    out.push_back('.');
    out.append(static_cast<std::size_t>(-k), '0');
    out.append(digits.data(), static_cast<std::size_t>(n));
  } else {
    out.append(digits.data(), static_cast<std::size_t>(k));
    out.push_back('.');
    out.append(digits.data() + k, static_cast<std::size_t>(n - k));
  }
  out.append(exp_text.data(), static_cast<std::size_t>(exp_len));
}

// Gw.d: fixed form with d significant digits in w - 4 characters and four blanks when the
// value rounded to d digits lies in [0.1, 10^d), else the E form (with the scale factor).
void put_g(std::string& out, double x, int w, int d, int k, int e_digits = 0) {
  check_digits(d);
  if (put_non_finite(out, x, w)) return;
  const int trailing = w == 0 ? 0 : (e_digits > 0 ? e_digits + 2 : 4);
  const int fixed_width = w == 0 ? 0 : w - trailing;
  if (d == 0) {
    put_e(out, x, w, d, k, e_digits);
    return;
  }
  const bool negative = x < 0;
  const double a = std::fabs(x);
  std::array<char, kMaxDigits + 2> digits;
  int e = 0;
  if (a == 0) {
    // Zero: d - 1 decimals ("0.000" for d = 4).
    std::fill(digits.begin(), digits.begin() + d, '0');
    e = 1;
  } else {
    e = round_significant(a, d, digits.data());
    if (e < 0 || e > d) {
      put_e(out, x, w, d, k, e_digits);
      return;
    }
  }
  const std::string_view all(digits.data(), static_cast<std::size_t>(d));
  const std::string_view int_part =
      e > 0 ? all.substr(0, static_cast<std::size_t>(e)) : std::string_view("0");
  const std::string_view frac = all.substr(static_cast<std::size_t>(e));
  if (w > 0 && fixed_width < 1) {
    put_stars(out, w);
    return;
  }
  const std::size_t start = out.size();
  if (!put_fixed_parts(out, negative, int_part, frac, fixed_width)) {
    out.resize(start);
    put_stars(out, w);
    return;
  }
  out.append(static_cast<std::size_t>(trailing), ' ');
}

void put_i(std::string& out, long long v, int w, int m) {
  const bool negative = v < 0;
  const unsigned long long u =
      negative ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
  std::array<char, 24> buf;
  int nd = static_cast<int>(std::to_chars(buf.data(), buf.data() + buf.size(), u).ptr - buf.data());
  if (m == 0 && v == 0) nd = 0;  // Iw.0 writes no digit for zero
  const int zeros = std::max(m - nd, 0);
  const int len = (negative ? 1 : 0) + zeros + nd;
  if (w > 0 && len > w) {
    put_stars(out, w);
    return;
  }
  if (w > 0) out.append(static_cast<std::size_t>(w - len), ' ');
  if (negative) out.push_back('-');
  out.append(static_cast<std::size_t>(zeros), '0');
  out.append(buf.data(), static_cast<std::size_t>(nd));
}

void put_a(std::string& out, std::string_view text, int w) {
  if (w < 0) {
    out.append(text);
  } else if (text.size() >= static_cast<std::size_t>(w)) {
    out.append(text.substr(0, static_cast<std::size_t>(w)));
  } else {
    out.append(static_cast<std::size_t>(w) - text.size(), ' ');
    out.append(text);
  }
}

// ---------------------------------------------------------------------------------------
// Parsing.

using Kind = Format::Item::Kind;

class Parser {
 public:
  explicit Parser(std::string_view text) : original_(text) {
    // Blanks are insignificant outside quoted literals.
    char quote = 0;
    for (char c : text) {
      if (quote) {
        s_.push_back(c);
        if (c == quote) quote = 0;  // a doubled quote reopens at once
      } else if (c == '\'' || c == '"') {
        quote = c;
        s_.push_back(c);
      } else if (c != ' ' && c != '\t') {
        s_.push_back(c);
      }
    }
  }

  std::vector<Format::Item> parse() {
    if (s_.empty() || s_.front() != '(') fail("it does not start with '('");
    pos_ = 1;
    parse_list(0);
    if (pos_ != s_.size()) fail("text after the closing parenthesis");
    if (pass_length(0, items_.size()) > kMaxPassLength) fail("it expands too far");
    return std::move(items_);
  }

 private:
  [[noreturn]] void fail(const std::string& why) const {
    throw FormatError("invalid format \"" + std::string(original_) + "\": " + why);
  }

  // Steps plus columns of one pass over items [first, last): each item is a step, and it may
  // write its literal, move over its columns or fill its fields; groups multiply by their
  // repeat count. A text field without width counts no columns (its value sets them).
  double pass_length(std::size_t first, std::size_t last) const {
    double length = 0;
    for (std::size_t i = first; i < last && length <= kMaxPassLength; ++i) {
      const Format::Item& it = items_[i];
      double columns = 0;
      switch (it.kind) {
        case Kind::group_begin: {
          const auto end = static_cast<std::size_t>(it.w);
          length += it.repeat * (1 + pass_length(i + 1, end));
          i = end;
          continue;
        }
        case Kind::literal: columns = static_cast<double>(it.literal.size()); break;
        case Kind::skip:
        case Kind::tab: columns = it.w; break;
        case Kind::slash: columns = 1; break;
        case Kind::text:
        case Kind::integer:
        case Kind::fixed:
        case Kind::exponential:
        case Kind::general: columns = std::max(it.w, 0); break;
        default: break;
      }
      length += it.repeat * (1 + columns);
    }
    return length;
  }

  bool at_digit() const {
    return pos_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_]));
  }

  int number() {
    if (!at_digit()) fail("a number is missing");
    long v = 0;
    while (at_digit()) {
      v = v * 10 + (s_[pos_++] - '0');
      if (v > 100000) fail("a number is too large");
    }
    return static_cast<int>(v);
  }

  char upper_at() const {
    return pos_ < s_.size() ? static_cast<char>(std::toupper(static_cast<unsigned char>(s_[pos_])))
                            : '\0';
  }

  void add(Kind kind, int repeat = 1, int w = 0, int d = 0, int e = 0) {
    Format::Item item;
    item.kind = kind;
    item.repeat = repeat;
    item.w = w;
    item.d = d;
    item.e = e;
    items_.push_back(std::move(item));
  }

  void parse_literal() {
    const char quote = s_[pos_++];
    std::string text;
    for (;;) {
      if (pos_ >= s_.size()) fail("an unterminated literal");
      const char c = s_[pos_++];
      if (c == quote) {
        if (pos_ < s_.size() && s_[pos_] == quote) {
          text.push_back(quote);
          ++pos_;
        } else {
          break;
        }
      } else {
        text.push_back(c);
      }
    }
    Format::Item item;
    item.kind = Kind::literal;
    item.literal = std::move(text);
    items_.push_back(std::move(item));
  }

  // w.d with w <= limit, d required.
  void width_digits(int& w, int& d) {
    w = number();
    if (pos_ >= s_.size() || s_[pos_] != '.') fail("'.d' is missing");
    ++pos_;
    d = number();
    if (w > kMaxDigits * 5 || d > kMaxDigits) fail("a field is too wide");
  }

  void parse_list(int depth) {
    if (depth > 20) fail("groups nested too deeply");
    for (;;) {
      while (pos_ < s_.size() && s_[pos_] == ',') ++pos_;
      if (pos_ >= s_.size()) fail("a closing parenthesis is missing");
      const char c = s_[pos_];
      if (c == ')') {
        ++pos_;
        return;
      }
      if (c == '\'' || c == '"') {
        parse_literal();
        continue;
      }
      bool has_number = false;
      bool negative = false;
      int count = 1;
      if (c == '+' || c == '-') {
        negative = c == '-';
        ++pos_;
        if (!at_digit()) fail("a sign without a number");
      }
      if (at_digit()) {
        has_number = true;
        count = number();
      }
      const char letter = upper_at();
      if (letter == 'P') {
        if (!has_number) fail("P without a scale factor");
        ++pos_;
        add(Kind::scale, 1, 0, negative ? -count : count);
        continue;
      }
      if (negative || c == '+') fail("a signed number outside kP");
      if (has_number && count == 0) fail("a zero repeat count");
      ++pos_;
      switch (letter) {
        case '(': {
          const auto begin = items_.size();
          add(Kind::group_begin, count);
          parse_list(depth + 1);
          const auto end = items_.size();
          add(Kind::group_end, 1, static_cast<int>(begin));
          items_[begin].w = static_cast<int>(end);
          if (depth == 0) last_top_group_ = begin;
          break;
        }
        case 'A': {
          int w = -1;
          if (at_digit()) w = number();
          if (w == 0) fail("A0 is not a width");
          add(Kind::text, count, w);
          break;
        }
        case 'I': {
          const int w = number();
          int m = -1;
          if (pos_ < s_.size() && s_[pos_] == '.') {
            ++pos_;
            m = number();
          }
          if (w > 0 && m > w) fail("Iw.m with m > w");
          add(Kind::integer, count, w, m);
          break;
        }
        case 'F': {
          int w = 0, d = 0;
          width_digits(w, d);
          add(Kind::fixed, count, w, d);
          break;
        }
        case 'E':
        case 'G': {
          int w = 0, d = 0, e = 0;
          width_digits(w, d);
          if (upper_at() == 'E' && pos_ + 1 < s_.size() &&
              std::isdigit(static_cast<unsigned char>(s_[pos_ + 1]))) {
            ++pos_;
            e = number();
            if (e == 0 || e > 4) fail("exponent digits out of range");
          }
          add(letter == 'E' ? Kind::exponential : Kind::general, count, w, d, e);
          break;
        }
        case 'X':
          add(Kind::skip, 1, count);
          break;
        case 'T': {
          const char next = upper_at();
          if (next == 'L' || next == 'R') ++pos_;
          const int n = number();
          if (next == 'L') {
            add(Kind::tab_left, 1, n);
          } else if (next == 'R') {
            add(Kind::skip, 1, n);
          } else {
            if (n < 1) fail("T0 is not a column");
            add(Kind::tab, 1, n);
          }
          break;
        }
        case '/':
          add(Kind::slash, count);
          break;
        case ':':
          if (has_number) fail("a repeat count on ':'");
          add(Kind::colon);
          break;
        case '$':
          if (has_number) fail("a repeat count on '$'");
          add(Kind::dollar);
          break;
        default:
          fail(std::string("unknown descriptor '") + s_[pos_ - 1] + "'");
      }
    }
  }

 public:
  std::size_t reversion() const { return last_top_group_ == npos ? 0 : last_top_group_; }

 private:
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);
  std::string_view original_;
  std::string s_;
  std::size_t pos_ = 0;
  std::vector<Format::Item> items_;
  std::size_t last_top_group_ = npos;
};

bool is_data(Kind k) {
  return k == Kind::text || k == Kind::integer || k == Kind::fixed || k == Kind::exponential ||
         k == Kind::general;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Running a format.

struct FormatRunner {
  FormatRunner(const Format& f, std::span<const FormatValue> v, bool to_buffer)
      : format(f), values(v), internal(to_buffer) {}

  const Format& format;
  std::span<const FormatValue> values;
  bool internal;         // one line only, returned untrimmed
  std::string out;       // finished lines
  std::string line;      // the line being built
  std::string scratch;   // a field written left of the line's end (after T or TL)
  std::size_t pos = 0;   // next column, 0-based
  std::size_t next = 0;  // next value
  int scale = 0;
  bool open_end = false;  // '$' met since the last line end

  void end_line() {
    if (internal) throw FormatError("an internal write cannot start a second line");
    out.append(trim_right(line));
    out.push_back('\n');
    line.clear();
    pos = 0;
    open_end = false;
  }

  // Where a field is written: straight onto the line's end, or into scratch to be copied over.
  std::string& target() {
    if (pos > line.size()) line.resize(pos, ' ');
    if (pos == line.size()) return line;
    scratch.clear();
    return scratch;
  }

  void commit(std::string& t) {
    if (&t == &line) {
      pos = line.size();
      return;
    }
    if (pos + t.size() > line.size()) line.resize(pos + t.size(), ' ');
    line.replace(pos, t.size(), t);
    pos += t.size();
  }

  [[noreturn]] static void mismatch(const char* descriptor, const FormatValue& v) {
    const char* got = std::holds_alternative<long long>(v) ? "an integer"
                      : std::holds_alternative<double>(v)  ? "a real"
                                                           : "a text";
    throw FormatError(std::string("the ") + descriptor + " descriptor cannot write " + got);
  }

  void put_value(const Format::Item& it, const FormatValue& v) {
    std::string& t = target();
    switch (it.kind) {
      case Kind::text:
        if (const auto* s = std::get_if<std::string_view>(&v)) {
          put_a(t, *s, it.w);
        } else {
          mismatch("A", v);
        }
        break;
      case Kind::integer:
        if (const auto* i = std::get_if<long long>(&v)) {
          put_i(t, *i, it.w, it.d);
        } else {
          mismatch("I", v);
        }
        break;
      case Kind::fixed:
      case Kind::exponential:
      case Kind::general: {
        double x = 0;
        if (const auto* dv = std::get_if<double>(&v)) {
          x = *dv;
        } else if (const auto* i = std::get_if<long long>(&v)) {
          if (it.kind == Kind::general) {  // G of an integer writes it as Iw
            put_i(t, *i, it.w, -1);
            break;
          }
          x = static_cast<double>(*i);
        } else {
          mismatch(it.kind == Kind::fixed ? "F" : it.kind == Kind::exponential ? "E" : "G", v);
        }
        if (it.kind == Kind::fixed) {
          put_f(t, x, it.w, it.d);
        } else if (it.kind == Kind::exponential) {
          put_e(t, x, it.w, it.d, scale, it.e);
        } else {
          put_g(t, x, it.w, it.d, scale, it.e);
        }
        break;
      }
      default:
        break;
    }
    commit(t);
  }

  void run() {
    const auto& items = format.items_;
    std::vector<std::pair<std::size_t, int>> groups;  // (group_begin index, passes left)
    std::size_t pc = 0;
    for (;;) {
      if (pc == items.size()) {
        if (next == values.size()) break;
        if (!format.reversion_has_data_) {
          throw FormatError("values are left but the format has no descriptor to write them");
        }
        end_line();
        groups.clear();
        pc = format.reversion_;
        continue;
      }
      const Format::Item& it = items[pc];
      switch (it.kind) {
        case Kind::group_begin:
          groups.emplace_back(pc, it.repeat);
          ++pc;
          break;
        case Kind::group_end:
          if (--groups.back().second > 0) {
            pc = groups.back().first + 1;
          } else {
            groups.pop_back();
            ++pc;
          }
          break;
        case Kind::literal: {
          std::string& t = target();
          t.append(it.literal);
          commit(t);
          ++pc;
          break;
        }
        case Kind::skip:
          pos += static_cast<std::size_t>(it.w);
          ++pc;
          break;
        case Kind::tab:
          pos = static_cast<std::size_t>(it.w - 1);
          ++pc;
          break;
        case Kind::tab_left:
          pos = pos > static_cast<std::size_t>(it.w) ? pos - static_cast<std::size_t>(it.w) : 0;
          ++pc;
          break;
        case Kind::slash:
          for (int r = 0; r < it.repeat; ++r) end_line();
          ++pc;
          break;
        case Kind::colon:
          if (next == values.size()) return finish();
          ++pc;
          break;
        case Kind::dollar:
          open_end = true;
          ++pc;
          break;
        case Kind::scale:
          scale = it.d;
          ++pc;
          break;
        default:  // data descriptors
          for (int r = 0; r < it.repeat; ++r) {
            if (next == values.size()) return finish();
            put_value(it, values[next++]);
          }
          ++pc;
          break;
      }
    }
    finish();
  }

  void finish() {
    if (internal) return;
    if (open_end) {
      if (pos > line.size()) line.resize(pos, ' ');  // blanks of a trailing X stay on an open line
      out.append(line);
    } else {
      out.append(trim_right(line));
      out.push_back('\n');
    }
  }
};

Format::Format(std::string_view text) {
  Parser parser(text);
  items_ = parser.parse();
  reversion_ = parser.reversion();
  reversion_has_data_ = std::any_of(items_.begin() + static_cast<std::ptrdiff_t>(reversion_),
                                    items_.end(), [](const Item& it) { return is_data(it.kind); });
}

std::string Format::write(std::span<const FormatValue> values) const {
  FormatRunner runner(*this, values, false);
  runner.run();
  return std::move(runner.out);
}

std::string Format::write_internal(std::size_t length, std::span<const FormatValue> values) const {
  FormatRunner runner(*this, values, true);
  runner.run();
  std::string buffer = std::move(runner.line);
  buffer.resize(length, ' ');
  return buffer;
}

// ---------------------------------------------------------------------------------------
// Single fields.

namespace {

void check_width(int w) {
  if (w < 0) throw FormatError("negative field width: " + std::to_string(w));
}

}  // namespace

std::string format_i(long long value, int w, int m) {
  check_width(w);
  std::string s;
  put_i(s, value, w, m);
  return s;
}

std::string format_f(double value, int w, int d) {
  check_width(w);
  std::string s;
  put_f(s, value, w, d);
  return s;
}

std::string format_e(double value, int w, int d, int scale) {
  check_width(w);
  std::string s;
  put_e(s, value, w, d, scale);
  return s;
}

std::string format_g(double value, int w, int d, int scale) {
  check_width(w);
  std::string s;
  put_g(s, value, w, d, scale);
  return s;
}

std::string int_text(long long value) { return format_i(value, 0); }

std::string real_text(double value) {
  if (value == 0) return "0.0";
  // 1PG24.4 above 0.1 in magnitude, 1PG24.3 otherwise; the shortest width gives the same
  // text without the surrounding blanks.
  return format_g(value, 0, std::fabs(value) > 0.1 ? 4 : 3, 1);
}

// ---------------------------------------------------------------------------------------
// Labelled-value line.
//
//  column:  1        label (leading blank kept)  n+1 blank, n+2..56 dots, 57 blank,
//           58 colon, 59 blank, 60 value        (colon at n+1 for labels of 57 or more)

namespace {

std::string labelled(std::string_view label, std::string_view value, std::size_t buffer_length) {
  constexpr std::size_t kDotsEnd = 56;  // last dot column, 1-based
  constexpr std::size_t kColon = 58;
  std::string buf(buffer_length, ' ');
  label = trim_right(label);
  const std::size_t n = label.size();
  buf.replace(0, std::min(n, buffer_length), label.substr(0, std::min(n, buffer_length)));
  for (std::size_t col = n + 2; col <= kDotsEnd; ++col) buf[col - 1] = '.';
  const std::size_t colon = std::max(kColon, n + 1);
  if (colon <= buffer_length) buf[colon - 1] = ':';
  const std::size_t value_at = colon + 1;  // 0-based index of column colon + 2
  if (value_at < buffer_length) {
    const std::size_t room = buffer_length - value_at;
    buf.replace(value_at, std::min(room, value.size()),
                value.substr(0, std::min(room, value.size())));
  }
  std::string line;
  line.reserve(buffer_length + 2);
  line.push_back(' ');
  line.append(trim_right(buf));
  line.push_back('\n');
  return line;
}

constexpr std::size_t kIntegerLine = 256;
constexpr std::size_t kRealLine = 128;

}  // namespace

std::string labelled_line(std::string_view label, std::string_view value) {
  return labelled(label, trim_right(value), kRealLine);
}
std::string labelled_line(std::string_view label, long long value) {
  return labelled(label, int_text(value), kIntegerLine);
}
std::string labelled_line(std::string_view label, int value) {
  return labelled_line(label, static_cast<long long>(value));
}
std::string labelled_line(std::string_view label, double value) {
  return labelled(label, real_text(value), kRealLine);
}
std::string labelled_line(std::string_view label, const char* value) {
  return labelled_line(label, std::string_view(value));
}
std::string labelled_line(std::string_view label, const std::string& value) {
  return labelled_line(label, std::string_view(value));
}

// ---------------------------------------------------------------------------------------
// Free-form lines.
//
// A double is written with its shortest round-trip digits, padded with zeros to 15
// significant digits: fixed notation for 0.1 <= |x| < 1e15 (at least one digit after the
// point), else d.dddddddddddddd E±XX. Zero is 0.0; NaN and infinities as words.

namespace {

void put_free_real(std::string& out, double x) {
  if (put_non_finite(out, x, 0)) return;
  if (x == 0) {
    out.append("0.0");
    return;
  }
  constexpr int kMinDigits = 15;
  std::array<char, 40> buf;
  const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), std::fabs(x),
                               std::chars_format::scientific);
  const std::string_view text(buf.data(), static_cast<std::size_t>(r.ptr - buf.data()));
  const auto epos = text.find('e');
  std::string digits;
  digits.push_back(text[0]);
  if (epos > 1) digits.append(text.substr(2, epos - 2));
  int exponent = 0;
  std::from_chars(text.data() + epos + (text[epos + 1] == '+' ? 2 : 1), text.data() + text.size(),
                  exponent);
  if (digits.size() < kMinDigits) digits.append(kMinDigits - digits.size(), '0');
  if (x < 0) out.push_back('-');
  if (exponent >= -1 && exponent < 15) {
    if (exponent == -1) {
      out.append("0.");
      out.append(digits);
    } else {
      const auto int_len = static_cast<std::size_t>(exponent + 1);
      out.append(digits, 0, int_len);
      out.push_back('.');
      if (digits.size() > int_len) {
        out.append(digits, int_len);
      } else {
        out.push_back('0');
      }
    }
  } else {
    out.push_back(digits[0]);
    out.push_back('.');
    out.append(digits, 1);
    out.push_back('E');
    out.push_back(exponent < 0 ? '-' : '+');
    const int a = std::abs(exponent);
    if (a < 10) out.push_back('0');
    std::array<char, 8> e;
    out.append(e.data(), static_cast<std::size_t>(
                             std::to_chars(e.data(), e.data() + e.size(), a).ptr - e.data()));
  }
}

}  // namespace

std::string free_form(std::span<const FormatValue> values) {
  std::string line(1, ' ');
  bool first = true;
  for (const FormatValue& v : values) {
    if (!first) line.push_back(' ');
    first = false;
    if (const auto* i = std::get_if<long long>(&v)) {
      put_i(line, *i, 0, -1);
    } else if (const auto* d = std::get_if<double>(&v)) {
      put_free_real(line, *d);
    } else {
      line.append(std::get<std::string_view>(v));
    }
  }
  std::string result(trim_right(line));
  result.push_back('\n');
  return result;
}

}  // namespace tessel
