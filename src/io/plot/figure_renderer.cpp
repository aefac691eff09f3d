// Draws a Figure with cairo: title, stacked panels over a shared x axis, ticks and their labels,
// axis labels, curves, points with error bars, reference lines and legends.
#include "io/plot/figure_renderer.hpp"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>

namespace tessel {

namespace {

constexpr const char* kFontFamily = "DejaVu Sans";
// Font sizes, pt.
constexpr double kTitleSize = 8.5;
constexpr double kLabelSize = 9.5;
constexpr double kTickSize = 8.5;
constexpr double kLegendSize = 8.0;
// Sub- and superscripts: their size and shift as shares of the font size.
constexpr double kScriptScale = 0.7;
constexpr double kSuperscriptRise = 0.4;
constexpr double kSubscriptDrop = 0.2;
// Geometry, pt.
constexpr double kOuterMargin = 6.0;
constexpr double kPanelGap = 5.0;
constexpr double kMajorTick = 4.0;
constexpr double kMinorTick = 2.2;
constexpr double kTickLabelGap = 3.0;
constexpr double kAxisLabelGap = 5.0;
constexpr double kFrameWidth = 0.7;
constexpr double kLegendSample = 18.0;
constexpr double kLegendPadding = 4.0;
constexpr double kPointsPerInch = 72.0;

using SurfacePtr = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
using ContextPtr = std::unique_ptr<cairo_t, decltype(&cairo_destroy)>;

cairo_status_t write_to_stream(void* closure, const unsigned char* data, unsigned int length) {
  auto& out = *static_cast<std::ostream*>(closure);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(length));
  return out ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

enum class Align { start, middle, end };

struct Rect {
  double left = 0, top = 0, width = 0, height = 0;
  double right() const { return left + width; }
  double bottom() const { return top + height; }
};

class Painter {
 public:
  explicit Painter(cairo_t* cr) : cr_(cr) {
    cairo_select_font_face(cr_, kFontFamily, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  }

  void colour(const Colour& c) { cairo_set_source_rgb(cr_, c.red, c.green, c.blue); }

  // Width of a marked-up text at a font size.
  double text_width(std::string_view markup, double size) {
    double width = 0.0;
    for (const TextRun& run : split_markup(markup)) width += run_advance(run, size);
    return width;
  }

  // Writes a marked-up text with its baseline at y, aligned at x.
  void text(std::string_view markup, double size, double x, double y, Align align) {
    const double width = text_width(markup, size);
    double pen = align == Align::start ? x : align == Align::middle ? x - width / 2 : x - width;
    for (const TextRun& run : split_markup(markup)) {
      const double run_size = run.shift == 0 ? size : size * kScriptScale;
      const double rise = run.shift > 0 ? -kSuperscriptRise * size : run.shift < 0 ? kSubscriptDrop * size : 0.0;
      cairo_set_font_size(cr_, run_size);
      cairo_move_to(cr_, pen, y + rise);
      cairo_show_text(cr_, run.text.c_str());
      pen += run_advance(run, size);
    }
  }

  // A text turned a quarter to the left (reading upwards), centred at (x, y) along its baseline.
  void vertical_text(std::string_view markup, double size, double x, double y) {
    cairo_save(cr_);
    cairo_translate(cr_, x, y);
    cairo_rotate(cr_, -std::numbers::pi / 2);
    text(markup, size, 0.0, 0.0, Align::middle);
    cairo_restore(cr_);
  }

  // Height above the baseline of capital letters at a size (for centring).
  double cap_height(double size) {
    cairo_set_font_size(cr_, size);
    cairo_text_extents_t e;
    cairo_text_extents(cr_, "H", &e);
    return -e.y_bearing;
  }

  void line(double x0, double y0, double x1, double y1) {
    cairo_move_to(cr_, x0, y0);
    cairo_line_to(cr_, x1, y1);
    cairo_stroke(cr_);
  }

  void dash(LineStyle style, double width) {
    const double w = std::max(width, 0.5);
    switch (style) {
      case LineStyle::solid: cairo_set_dash(cr_, nullptr, 0, 0); break;
      case LineStyle::dashed: {
        const double d[] = {5.0 * w, 2.5 * w};
        cairo_set_dash(cr_, d, 2, 0);
        break;
      }
      case LineStyle::dotted: {
        const double d[] = {0.0, 2.2 * w};  // round caps make dots of zero-length dashes
        cairo_set_dash(cr_, d, 2, 0);
        break;
      }
      case LineStyle::dash_dot: {
        const double d[] = {6.0 * w, 2.6 * w, 0.4 * w, 2.6 * w};
        cairo_set_dash(cr_, d, 4, 0);
        break;
      }
    }
    cairo_set_line_cap(cr_, style == LineStyle::solid ? CAIRO_LINE_CAP_BUTT : CAIRO_LINE_CAP_ROUND);
  }

  cairo_t* context() const { return cr_; }

 private:
  double run_advance(const TextRun& run, double size) {
    cairo_set_font_size(cr_, run.shift == 0 ? size : size * kScriptScale);
    cairo_text_extents_t e;
    cairo_text_extents(cr_, run.text.c_str(), &e);
    return e.x_advance;
  }

  cairo_t* cr_;
};

bool drawable(const AxisMap& axis, double value) {
  return std::isfinite(value) && (axis.kind != AxisKind::log10 || value > 0.0);
}

AxisRange x_range(const Figure& figure) {
  AxisRange extent{INFINITY, -INFINITY};
  for (const Panel& panel : figure.panels) {
    for (const Series& series : panel.series) {
      const AxisRange e = data_extent(series.x);
      extent.low = std::min(extent.low, e.low);
      extent.high = std::max(extent.high, e.high);
    }
  }
  return linear_range(extent.low, extent.high, 0.02);
}

AxisRange y_range(const Panel& panel) {
  const bool log = panel.y_kind == AxisKind::log10;
  AxisRange extent{INFINITY, -INFINITY};
  for (const Series& series : panel.series) {
    const AxisRange e = data_extent(series.y, log);
    extent.low = std::min(extent.low, e.low);
    extent.high = std::max(extent.high, e.high);
  }
  if (log) return log_range(extent.low, extent.high, 0.05);
  if (panel.symmetric_y) {
    const double m = std::max(std::abs(extent.low), std::abs(extent.high));
    return linear_range(-m, m, 0.08);
  }
  return linear_range(extent.low, extent.high, 0.06);
}

std::vector<Tick> ticks_for(AxisKind kind, const AxisRange& range, int target) {
  return kind == AxisKind::log10 ? log_ticks(range) : linear_ticks(range, target);
}

std::string label_markup(const TickLabel& label) {
  return label.exponent.empty() ? label.text : label.text + "^{" + label.exponent + "}";
}

void draw_series(Painter& p, const Series& s, const AxisMap& x, const AxisMap& y) {
  cairo_t* cr = p.context();
  const std::size_t n = std::min(s.x.size(), s.y.size());
  if (!s.y_error.empty()) {
    p.colour(s.error_colour);
    cairo_set_line_width(cr, 0.5);
    p.dash(LineStyle::solid, 0.5);
    for (std::size_t i = 0; i < n && i < s.y_error.size(); ++i) {
      if (!drawable(x, s.x[i]) || !drawable(y, s.y[i]) || !std::isfinite(s.y_error[i])) continue;
      const double sigma = std::abs(s.y_error[i]);
      const double px = x.to_page(s.x[i]);
      const double low = s.y[i] - sigma;
      // Below zero on a logarithmic axis the bar reaches the bottom of the panel.
      const double page_low = drawable(y, low) ? y.to_page(low) : y.start;
      p.line(px, page_low, px, y.to_page(s.y[i] + sigma));
    }
  }
  p.colour(s.colour);
  if (s.style == SeriesStyle::points) {
    for (std::size_t i = 0; i < n; ++i) {
      if (!drawable(x, s.x[i]) || !drawable(y, s.y[i])) continue;
      cairo_new_sub_path(cr);
      cairo_arc(cr, x.to_page(s.x[i]), y.to_page(s.y[i]), s.width, 0.0, 2 * std::numbers::pi);
    }
    cairo_fill(cr);
    return;
  }
  cairo_set_line_width(cr, s.width);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  p.dash(s.dash, s.width);
  bool open = false;
  for (std::size_t i = 0; i < n; ++i) {
    if (!drawable(x, s.x[i]) || !drawable(y, s.y[i])) {
      open = false;
      continue;
    }
    if (open) {
      cairo_line_to(cr, x.to_page(s.x[i]), y.to_page(s.y[i]));
    } else {
      cairo_move_to(cr, x.to_page(s.x[i]), y.to_page(s.y[i]));
      open = true;
    }
  }
  cairo_stroke(cr);
  p.dash(LineStyle::solid, s.width);
}

void draw_legend(Painter& p, const Panel& panel, const Rect& box) {
  std::vector<const Series*> entries;
  for (const Series& s : panel.series)
    if (!s.label.empty()) entries.push_back(&s);
  if (entries.empty()) return;
  double text_width = 0.0;
  for (const Series* s : entries) text_width = std::max(text_width, p.text_width(s->label, kLegendSize));
  const double row = kLegendSize * 1.45;
  const double width = 3 * kLegendPadding + kLegendSample + text_width;
  const double height = 2 * kLegendPadding + row * static_cast<double>(entries.size()) - (row - kLegendSize);
  const Rect legend{box.right() - width - 6.0, box.top + 6.0, width, height};
  cairo_t* cr = p.context();
  cairo_set_source_rgba(cr, 1.0, 1.0, 1.0, 0.9);
  cairo_rectangle(cr, legend.left, legend.top, legend.width, legend.height);
  cairo_fill_preserve(cr);
  cairo_set_source_rgb(cr, 0.55, 0.55, 0.55);
  cairo_set_line_width(cr, 0.5);
  cairo_stroke(cr);
  const double cap = p.cap_height(kLegendSize);
  double baseline = legend.top + kLegendPadding + cap;
  for (const Series* s : entries) {
    const double middle = baseline - cap / 2;
    const double x0 = legend.left + kLegendPadding;
    p.colour(s->colour);
    if (s->style == SeriesStyle::points) {
      cairo_new_sub_path(cr);
      cairo_arc(cr, x0 + kLegendSample / 2, middle, s->width, 0.0, 2 * std::numbers::pi);
      cairo_fill(cr);
    } else {
      cairo_set_line_width(cr, s->width);
      p.dash(s->dash, s->width);
      p.line(x0, middle, x0 + kLegendSample, middle);
      p.dash(LineStyle::solid, s->width);
    }
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    p.text(s->label, kLegendSize, x0 + kLegendSample + kLegendPadding, baseline, Align::start);
    baseline += row;
  }
}

// Ticks along one edge of a panel, pointing inwards: `along` maps values onto the edge,
// (edge, inward) give the edge's position and the inward direction (+1 or −1).
void draw_ticks(Painter& p, const std::vector<Tick>& ticks, const AxisMap& along, bool vertical_edge,
                double edge, double inward) {
  cairo_set_line_width(p.context(), kFrameWidth);
  for (const Tick& t : ticks) {
    if (!along.contains(t.value)) continue;
    const double at = along.to_page(t.value);
    const double length = (t.major ? kMajorTick : kMinorTick) * inward;
    if (vertical_edge) {
      p.line(edge, at, edge + length, at);
    } else {
      p.line(at, edge, at, edge + length);
    }
  }
}

void draw_figure(Painter& p, const Figure& f) {
  cairo_t* cr = p.context();
  cairo_set_source_rgb(cr, 1.0, 1.0, 1.0);
  cairo_paint(cr);
  if (f.panels.empty()) return;

  const AxisRange xr = x_range(f);
  const std::vector<Tick> x_ticks = linear_ticks(xr, 6);
  std::vector<AxisRange> yr;
  std::vector<std::vector<Tick>> y_ticks;
  double y_label_width = 0.0;
  for (const Panel& panel : f.panels) {
    yr.push_back(y_range(panel));
    y_ticks.push_back(ticks_for(panel.y_kind, yr.back(), panel.height_share < 0.5 ? 3 : 5));
    for (const Tick& t : y_ticks.back())
      if (!t.label.empty()) y_label_width = std::max(y_label_width, p.text_width(label_markup(t.label), kTickSize));
  }

  // Page layout: title on top, y labels on the left, x labels at the bottom.
  const double title_line = kTitleSize * 1.35;
  // Below the title, room for half a tick label that may stand at the top of the first panel.
  const double top = kOuterMargin + title_line * static_cast<double>(f.title.size()) +
                     (f.title.empty() ? 0.0 : 2.0 + kTickSize * 0.6);
  const double left = kOuterMargin + kLabelSize * 1.1 + kAxisLabelGap + y_label_width + kTickLabelGap;
  const double bottom = f.height - (kOuterMargin + kLabelSize * 1.2 + kAxisLabelGap + kTickSize + kTickLabelGap);
  const double right = f.width - kOuterMargin - 4.0;

  cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
  for (std::size_t i = 0; i < f.title.size(); ++i) {
    // A title line wider than the page is set in a smaller size.
    double size = kTitleSize;
    const double width = p.text_width(f.title[i], size);
    if (width > right - kOuterMargin) size *= (right - kOuterMargin) / width;
    p.text(f.title[i], size, (kOuterMargin + right) / 2, kOuterMargin + title_line * static_cast<double>(i + 1) - 2.0,
           Align::middle);
  }

  double shares = 0.0;
  for (const Panel& panel : f.panels) shares += panel.height_share;
  const double panel_space = bottom - top - kPanelGap * static_cast<double>(f.panels.size() - 1);
  double panel_top = top;
  for (std::size_t k = 0; k < f.panels.size(); ++k) {
    const Panel& panel = f.panels[k];
    const Rect box{left, panel_top, right - left, panel_space * panel.height_share / shares};
    panel_top += box.height + kPanelGap;
    const AxisMap x{AxisKind::linear, xr, box.left, box.right()};
    const AxisMap y{panel.y_kind, yr[k], box.bottom(), box.top};

    cairo_save(cr);
    cairo_rectangle(cr, box.left, box.top, box.width, box.height);
    cairo_clip(cr);
    for (const double level : panel.reference_lines) {
      if (!y.contains(level)) continue;
      cairo_set_source_rgb(cr, 0.35, 0.35, 0.35);
      cairo_set_line_width(cr, 0.6);
      p.dash(LineStyle::dashed, 0.6);
      p.line(box.left, y.to_page(level), box.right(), y.to_page(level));
      p.dash(LineStyle::solid, 0.6);
    }
    for (const Series& series : panel.series) draw_series(p, series, x, y);
    cairo_restore(cr);

    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    cairo_set_line_width(cr, kFrameWidth);
    cairo_rectangle(cr, box.left, box.top, box.width, box.height);
    cairo_stroke(cr);
    draw_ticks(p, x_ticks, x, false, box.bottom(), -1.0);
    draw_ticks(p, x_ticks, x, false, box.top, 1.0);
    draw_ticks(p, y_ticks[k], y, true, box.left, 1.0);
    draw_ticks(p, y_ticks[k], y, true, box.right(), -1.0);

    const double tick_cap = p.cap_height(kTickSize);
    for (const Tick& t : y_ticks[k]) {
      if (t.label.empty() || !y.contains(t.value)) continue;
      p.text(label_markup(t.label), kTickSize, box.left - kTickLabelGap, y.to_page(t.value) + tick_cap / 2, Align::end);
    }
    // A y label longer than its panel is set in a smaller size.
    const double label_width = p.text_width(panel.y_label, kLabelSize);
    const double label_size = label_width > box.height ? kLabelSize * box.height / label_width : kLabelSize;
    p.vertical_text(panel.y_label, label_size, kOuterMargin + kLabelSize * 0.85, box.top + box.height / 2);
    if (k + 1 == f.panels.size()) {
      for (const Tick& t : x_ticks) {
        if (t.label.empty() || !x.contains(t.value)) continue;
        p.text(label_markup(t.label), kTickSize, x.to_page(t.value), box.bottom() + kTickLabelGap + tick_cap, Align::middle);
      }
      p.text(f.x_label, kLabelSize, box.left + box.width / 2, f.height - kOuterMargin - kLabelSize * 0.3, Align::middle);
    }
    if (panel.legend) draw_legend(p, panel, box);
  }
}

bool finish(cairo_t* cr, cairo_surface_t* surface) {
  if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) return false;
  cairo_surface_finish(surface);
  return cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
}

}  // namespace

PixelSize png_size(const Figure& figure) {
  const double scale = kPngDotsPerInch / kPointsPerInch;
  return {static_cast<int>(std::lround(figure.width * scale)), static_cast<int>(std::lround(figure.height * scale))};
}

bool render_figure(const Figure& figure, PictureFormat format, std::ostream& out) {
  if (format == PictureFormat::png) {
    const PixelSize size = png_size(figure);
    SurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, size.width, size.height),
                       &cairo_surface_destroy);
    ContextPtr cr(cairo_create(surface.get()), &cairo_destroy);
    cairo_scale(cr.get(), kPngDotsPerInch / kPointsPerInch, kPngDotsPerInch / kPointsPerInch);
    Painter painter(cr.get());
    draw_figure(painter, figure);
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) return false;
    cairo_surface_flush(surface.get());
    return cairo_surface_write_to_png_stream(surface.get(), write_to_stream, &out) == CAIRO_STATUS_SUCCESS &&
           static_cast<bool>(out.flush());
  }
  SurfacePtr surface(format == PictureFormat::svg
                         ? cairo_svg_surface_create_for_stream(write_to_stream, &out, figure.width, figure.height)
                         : cairo_pdf_surface_create_for_stream(write_to_stream, &out, figure.width, figure.height),
                     &cairo_surface_destroy);
  if (format == PictureFormat::pdf) {
    cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_CREATOR, "tessel");
    if (!figure.title.empty()) {
      std::string title;
      for (const TextRun& run : split_markup(figure.title.front())) title += run.text;
      cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_TITLE, title.c_str());
    }
  }
  ContextPtr cr(cairo_create(surface.get()), &cairo_destroy);
  Painter painter(cr.get());
  draw_figure(painter, figure);
  const bool ok = finish(cr.get(), surface.get());
  return ok && static_cast<bool>(out.flush());
}

PictureCaches::~PictureCaches() {
  cairo_debug_reset_static_data();
  FcFini();
}

}  // namespace tessel
