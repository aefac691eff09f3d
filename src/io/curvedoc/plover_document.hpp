// The curve-document library: reads experimental scattering curves from ASCII column files
// and hands them out through document, curve and data-point handles.
//
// What the reader accepts (one file, any of these mixed):
// - Lines end with LF, CRLF or CR. A UTF-8 byte-order mark at the start is skipped.
// - Fields are separated by any run of blanks, tabs, commas or semicolons (so a decimal
//   comma is not understood: "0,5" is two fields).
// - A numeric row is a line of at least two fields that are all numbers: an optional sign,
//   digits with an optional decimal point, an optional exponent written with E, e, D or d
//   ("0.228050E-01", ".10D+01", "3e-5"), or nan / inf / infinity in any case (kept, so the
//   caller can reject them). Columns: s, I, σ; a missing third column gives σ = 0; further
//   columns are ignored.
// - A blank line (nothing but separators) is ignored everywhere.
// - Every other line is a text line: titles, sample descriptions, column headings,
//   "key: value" lines, lines starting with '#', footers, binary junk, and lines longer than
//   kMaxLineBytes.
// - A curve is a run of numeric rows that no text line interrupts (blank lines inside the run
//   do not end it). A run of a single row is not a curve (a lone pair of numbers between text
//   lines is header material such as a wavelength and a distance). A document holds one
//   curve per such run, in file order; text lines between runs separate the curves.
// - Reading fails when the file cannot be opened, cannot be read to its end, is larger than
//   kMaxFileBytes, or holds no curve.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tessel {

struct CurvePoint {
  double x = 0.0;      // s
  double y = 0.0;      // I
  double y_err = 0.0;  // σ (0 when the file has no error column)
};
using CurvePoints = std::vector<CurvePoint>;

// Status of plover_document_read.
enum PloverStatus : int {
  kPloverOk = 0,
  kPloverCannotOpen = 1,     // missing, unreadable or a directory
  kPloverReadFailed = 2,     // an input error before the end of the file
  kPloverNoCurve = 3,        // no run of at least two numeric rows
  kPloverTooLarge = 4,       // larger than kMaxFileBytes
  kPloverUnknownFormat = 5,  // a format other than "" (choose), "dat" or "ascii"
  kPloverBadArgument = 6,    // null document or file name
};

inline constexpr std::size_t kMaxLineBytes = std::size_t{4} << 20;   // longer lines are text
inline constexpr std::size_t kMaxFileBytes = std::size_t{64} << 20;  // no curve file is larger

enum class LineKind { kBlank, kNumeric, kText };

// Classifies one line (without its line end); for a numeric row, fills point.
LineKind classify_line(std::string_view line, CurvePoint& point);

// Reads one field as a number under the rules above; false when it is not one. Values beyond
// the range of double become ±infinity, values below it ±0.
bool parse_number(std::string_view field, double& value);

// Splits text into curves, fed in pieces of any size.
class CurveTextParser {
 public:
  void feed(std::string_view bytes);
  // Ends the last line and returns the curves found.
  std::vector<CurvePoints> finish();

 private:
  void end_line();

  std::string line_;
  bool line_too_long_ = false;
  bool first_line_ = true;
  CurvePoints run_;
  std::vector<CurvePoints> curves_;
};

std::vector<CurvePoints> parse_curve_text(std::string_view text);

// Handles (null-safe: a null argument gives a null handle, a count of 0 or a value of 0).
// A null handle ends a list. Curve and point handles stay valid until the document
// is freed or read again.
struct PloverDocument;
struct PloverCurve;
struct PloverData;

PloverDocument* plover_document_create();
// Reads a file into the document, replacing what it held. format: "" or null lets the
// library choose; "dat" and "ascii" name the only format there is. Returns a PloverStatus;
// on failure the document is left empty.
int plover_document_read(PloverDocument* document, const char* file_name, const char* format);
PloverCurve* plover_document_curve(PloverDocument* document);
PloverCurve* plover_curve_next(PloverCurve* curve);
int plover_curve_data_count(PloverCurve* curve);
PloverData* plover_curve_data(PloverCurve* curve);
double plover_data_x(PloverData* point);
double plover_data_y(PloverData* point);
double plover_data_y_err(PloverData* point);
PloverData* plover_data_next(PloverData* point);
void plover_document_free(PloverDocument* document);

}  // namespace tessel
