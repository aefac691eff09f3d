// The binding over the curve-document library: an owned document, reading by file name, and
// whole curves copied out as three columns.
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "io/curvedoc/plover_document.hpp"

namespace tessel {

// Status of document_curve_data when the document has no curve of the index asked for.
inline constexpr int kMissingCurveStatus = 99;

struct PloverDocumentDeleter {
  void operator()(PloverDocument* document) const { plover_document_free(document); }
};
// A document that frees itself.
using CurveDocument = std::unique_ptr<PloverDocument, PloverDocumentDeleter>;

// One curve's points in file order (0-based).
struct CurveColumns {
  std::vector<double> x;
  std::vector<double> y;
  std::vector<double> y_err;
};

CurveDocument document_create();

// Reads a file into the document. Trailing blanks of the name are removed; format "" lets
// the library choose. Returns the library's status (0 = success); a name with a NUL byte
// cannot be opened.
int document_read(CurveDocument& document, std::string_view file_name, std::string_view format = {});

// Copies curve curve_index (1 = the first) into columns; 0, or kMissingCurveStatus when the
// document has no such curve (columns then empty).
int document_curve_data(const CurveDocument& document, CurveColumns& columns, int curve_index = 1);

void document_free(CurveDocument& document);

}  // namespace tessel
