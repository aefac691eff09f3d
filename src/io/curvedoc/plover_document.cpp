// The curve-document library: ASCII column files read into documents of curves.
#include "io/curvedoc/plover_document.hpp"

#include <algorithm>
#include <charconv>
#include <climits>
#include <filesystem>
#include <fstream>
#include <limits>
#include <system_error>

namespace tessel {

struct PloverData {
  CurvePoint point;
  PloverData* next = nullptr;
};

struct PloverCurve {
  std::vector<PloverData> points;
  PloverCurve* next = nullptr;
};

struct PloverDocument {
  std::vector<PloverCurve> curves;
};

namespace {

constexpr std::string_view kSeparators = " \t,;\v\f";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr long kExponentCap = 100000;  // any larger decimal exponent over- or underflows anyway

bool is_separator(char c) { return kSeparators.find(c) != std::string_view::npos; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool equals_ignoring_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return (x >= 'A' && x <= 'Z' ? x - 'A' + 'a' : x) == y;
         });
}

bool is_ascii_format(std::string_view format) {
  return format.empty() || equals_ignoring_case(format, "dat") || equals_ignoring_case(format, "ascii");
}

}  // namespace

bool parse_number(std::string_view field, double& value) {
  const std::size_t n = field.size();
  std::size_t i = 0;
  bool negative = false;
  if (i < n && (field[i] == '+' || field[i] == '-')) {
    negative = field[i] == '-';
    ++i;
  }
  const std::string_view word = field.substr(i);
  if (equals_ignoring_case(word, "nan")) {
    value = std::numeric_limits<double>::quiet_NaN();
    return true;
  }
  if (equals_ignoring_case(word, "inf") || equals_ignoring_case(word, "infinity")) {
    value = negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    return true;
  }

  // Mantissa; remember where its first significant digit stands relative to the point.
  std::size_t digits = 0;
  long leading = 0;  // decimal position of the first non-zero digit (1 = units, 0 = tenths, ...)
  bool nonzero = false;
  while (i < n && is_digit(field[i])) {
    if (field[i] != '0') nonzero = true;
    if (nonzero) ++leading;
    ++digits;
    ++i;
  }
  if (i < n && field[i] == '.') {
    ++i;
    while (i < n && is_digit(field[i])) {
      if (!nonzero) {
        if (field[i] != '0') {
          nonzero = true;
        } else {
          --leading;
        }
      }
      ++digits;
      ++i;
    }
  }
  if (digits == 0) return false;
  const std::size_t mantissa_end = i;
  long exponent = 0;
  if (i < n && (field[i] == 'e' || field[i] == 'E' || field[i] == 'd' || field[i] == 'D')) {
    ++i;
    bool exponent_negative = false;
    if (i < n && (field[i] == '+' || field[i] == '-')) {
      exponent_negative = field[i] == '-';
      ++i;
    }
    const std::size_t start = i;
    while (i < n && is_digit(field[i])) {
      exponent = std::min(exponent * 10 + (field[i] - '0'), kExponentCap);
      ++i;
    }
    if (i == start) return false;
    if (exponent_negative) exponent = -exponent;
  }
  if (i != n) return false;

  // std::from_chars takes no '+' and no D exponent: hand it "-mantissa" and "e<exponent>".
  std::string text;
  text.reserve(n + 1);
  if (negative) text.push_back('-');
  const std::size_t mantissa_start = (n > 0 && (field[0] == '+' || field[0] == '-')) ? 1 : 0;
  text.append(field.substr(mantissa_start, mantissa_end - mantissa_start));
  if (mantissa_end < n) {
    text.push_back('e');
    text.append(field.substr(mantissa_end + 1));
  }
  double parsed = 0.0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (result.ec == std::errc::result_out_of_range) {
    // The magnitude is 10^(leading − 1 + exponent) to within a factor of ten.
    const bool huge = nonzero && leading - 1 + exponent >= 0;
    const double magnitude = huge ? std::numeric_limits<double>::infinity() : 0.0;
    value = negative ? -magnitude : magnitude;
    return true;
  }
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return false;
  value = parsed;
  return true;
}

LineKind classify_line(std::string_view line, CurvePoint& point) {
  double v[3] = {0.0, 0.0, 0.0};
  std::size_t fields = 0;
  std::size_t i = 0;
  const std::size_t n = line.size();
  while (true) {
    while (i < n && is_separator(line[i])) ++i;
    if (i == n) break;
    const std::size_t start = i;
    while (i < n && !is_separator(line[i])) ++i;
    double x = 0.0;
    if (!parse_number(line.substr(start, i - start), x)) return LineKind::kText;
    if (fields < 3) v[fields] = x;
    ++fields;
  }
  if (fields == 0) return LineKind::kBlank;
  if (fields < 2) return LineKind::kText;
  point = CurvePoint{v[0], v[1], v[2]};
  return LineKind::kNumeric;
}

void CurveTextParser::feed(std::string_view bytes) {
  // CR and LF both end a line: CRLF gives an extra blank line, which changes nothing.
  std::size_t i = 0;
  while (i < bytes.size()) {
    const std::size_t end = bytes.find_first_of("\r\n", i);
    const std::size_t stop = end == std::string_view::npos ? bytes.size() : end;
    if (!line_too_long_) {
      if (line_.size() + (stop - i) > kMaxLineBytes) {
        line_too_long_ = true;
        line_.clear();
      } else {
        line_.append(bytes.substr(i, stop - i));
      }
    }
    if (end == std::string_view::npos) break;
    end_line();
    i = end + 1;
  }
}

void CurveTextParser::end_line() {
  std::string_view line = line_;
  if (first_line_ && line.substr(0, kByteOrderMark.size()) == kByteOrderMark) line.remove_prefix(kByteOrderMark.size());
  first_line_ = false;
  CurvePoint point;
  const LineKind kind = line_too_long_ ? LineKind::kText : classify_line(line, point);
  line_.clear();
  line_too_long_ = false;
  if (kind == LineKind::kNumeric) {
    run_.push_back(point);
  } else if (kind == LineKind::kText) {
    if (run_.size() >= 2) curves_.push_back(std::move(run_));
    run_.clear();
  }
}

std::vector<CurvePoints> CurveTextParser::finish() {
  if (!line_.empty() || line_too_long_) end_line();
  if (run_.size() >= 2) curves_.push_back(std::move(run_));
  run_.clear();
  first_line_ = true;
  return std::move(curves_);
}

std::vector<CurvePoints> parse_curve_text(std::string_view text) {
  CurveTextParser parser;
  parser.feed(text);
  return parser.finish();
}

PloverDocument* plover_document_create() { return new PloverDocument; }

int plover_document_read(PloverDocument* document, const char* file_name, const char* format) {
  if (document == nullptr || file_name == nullptr) return kPloverBadArgument;
  document->curves.clear();
  if (format != nullptr && !is_ascii_format(format)) return kPloverUnknownFormat;
  std::error_code ec;
  if (*file_name == '\0' || std::filesystem::is_directory(file_name, ec)) return kPloverCannotOpen;
  std::ifstream in(file_name, std::ios::binary);
  if (!in) return kPloverCannotOpen;

  CurveTextParser parser;
  std::vector<char> buffer(std::size_t{1} << 16);
  std::size_t total = 0;
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    total += got;
    if (total > kMaxFileBytes) return kPloverTooLarge;
    parser.feed(std::string_view(buffer.data(), got));
  }
  if (in.bad()) return kPloverReadFailed;
  std::vector<CurvePoints> curves = parser.finish();
  if (curves.empty()) return kPloverNoCurve;

  document->curves.resize(curves.size());
  for (std::size_t c = 0; c < curves.size(); ++c) {
    std::vector<PloverData>& points = document->curves[c].points;
    points.resize(curves[c].size());
    for (std::size_t k = 0; k < points.size(); ++k) {
      points[k].point = curves[c][k];
      points[k].next = k + 1 < points.size() ? &points[k + 1] : nullptr;
    }
    document->curves[c].next = c + 1 < curves.size() ? &document->curves[c + 1] : nullptr;
  }
  return kPloverOk;
}

PloverCurve* plover_document_curve(PloverDocument* document) {
  return document != nullptr && !document->curves.empty() ? &document->curves.front() : nullptr;
}

PloverCurve* plover_curve_next(PloverCurve* curve) { return curve != nullptr ? curve->next : nullptr; }

int plover_curve_data_count(PloverCurve* curve) {
  if (curve == nullptr) return 0;
  return static_cast<int>(std::min<std::size_t>(curve->points.size(), INT_MAX));
}

PloverData* plover_curve_data(PloverCurve* curve) {
  return curve != nullptr && !curve->points.empty() ? &curve->points.front() : nullptr;
}

double plover_data_x(PloverData* point) { return point != nullptr ? point->point.x : 0.0; }
double plover_data_y(PloverData* point) { return point != nullptr ? point->point.y : 0.0; }
double plover_data_y_err(PloverData* point) { return point != nullptr ? point->point.y_err : 0.0; }
PloverData* plover_data_next(PloverData* point) { return point != nullptr ? point->next : nullptr; }

void plover_document_free(PloverDocument* document) { delete document; }

}  // namespace tessel
