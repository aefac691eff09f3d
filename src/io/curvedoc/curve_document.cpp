// The binding over the curve-document library.
#include "io/curvedoc/curve_document.hpp"

#include <string>

#include "core/trim.hpp"

namespace tessel {

CurveDocument document_create() { return CurveDocument(plover_document_create()); }

int document_read(CurveDocument& document, std::string_view file_name, std::string_view format) {
  const std::string name(trim_right(file_name));
  if (name.find('\0') != std::string::npos) return kPloverCannotOpen;
  const std::string format_text(format);
  return plover_document_read(document.get(), name.c_str(), format_text.c_str());
}

int document_curve_data(const CurveDocument& document, CurveColumns& columns, int curve_index) {
  columns = CurveColumns{};
  PloverCurve* curve = plover_document_curve(document.get());
  for (int i = 1; i < curve_index && curve != nullptr; ++i) curve = plover_curve_next(curve);
  if (curve == nullptr || curve_index < 1) return kMissingCurveStatus;
  const int count = plover_curve_data_count(curve);
  const std::size_t n = count > 0 ? static_cast<std::size_t>(count) : 0;
  columns.x.reserve(n);
  columns.y.reserve(n);
  columns.y_err.reserve(n);
  for (PloverData* point = plover_curve_data(curve); point != nullptr && columns.x.size() < n;
       point = plover_data_next(point)) {
    columns.x.push_back(plover_data_x(point));
    columns.y.push_back(plover_data_y(point));
    columns.y_err.push_back(plover_data_y_err(point));
  }
  return 0;
}

void document_free(CurveDocument& document) { document.reset(); }

}  // namespace tessel
