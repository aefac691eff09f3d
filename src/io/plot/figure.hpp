// What a picture shows, as plain data: panels stacked over one shared s axis, each with curves,
// point sets with error bars, reference lines and a legend, under a title of a few lines. The
// renderer (figure_renderer.hpp) draws it; fit_figures.hpp fills it for a fit or a prediction.
//
// Texts may carry sub- and superscripts: "I_{exp}", "10^{-3}", "Å^{3}".
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "io/plot/plot_axes.hpp"

namespace tessel {

enum class PictureFormat { png, svg, pdf };

// "png", "svg" or "pdf" (as typed, lower case); nothing for any other word.
std::optional<PictureFormat> picture_format(std::string_view name);
// ".png", ".svg" or ".pdf".
std::string_view picture_extension(PictureFormat format);

struct Colour {
  double red = 0.0, green = 0.0, blue = 0.0;  // 0 to 1
};

enum class LineStyle { solid, dashed, dotted, dash_dot };
enum class SeriesStyle { line, points };

// One curve or point set. Points whose x or y is not finite (or y ≤ 0 on a logarithmic axis)
// are left out; a line breaks there.
struct Series {
  std::string label;              // legend entry; empty: not in the legend
  std::vector<double> x, y;
  std::vector<double> y_error;    // error bars ±σ when not empty (one per point)
  SeriesStyle style = SeriesStyle::line;
  Colour colour;
  double width = 1.0;             // line width, or marker radius, pt
  LineStyle dash = LineStyle::solid;
  Colour error_colour{0.6, 0.6, 0.6};
};

struct Panel {
  std::string y_label;
  AxisKind y_kind = AxisKind::linear;
  double height_share = 1.0;          // of the height the panels share
  std::vector<Series> series;          // drawn in order (later ones on top)
  std::vector<double> reference_lines;  // thin dashed horizontal lines at these y values
  bool legend = false;                 // legend in the upper right corner
  bool symmetric_y = false;            // y range symmetric about 0
};

struct Figure {
  double width = 324.0;              // pt (1/72 inch)
  double height = 288.0;             // pt
  std::vector<std::string> title;    // lines above the panels
  std::string x_label;
  std::vector<Panel> panels;         // top to bottom, sharing the x axis
};

// A text split into runs of normal, superscript (+1) and subscript (−1) characters.
struct TextRun {
  std::string text;
  int shift = 0;
};
// Splits "a_{b}c^{d}" into "a", "b" (−1), "c", "d" (+1). A '_' or '^' not followed by '{', and
// an unclosed brace, are kept as plain text.
std::vector<TextRun> split_markup(std::string_view text);

}  // namespace tessel
