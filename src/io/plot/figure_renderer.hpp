// Draws a Figure with cairo as a PNG, SVG or PDF picture (texts in DejaVu Sans).
#pragma once

#include <ostream>

#include "io/plot/figure.hpp"

namespace tessel {

// Resolution of PNG pictures, dots per inch: print quality.
inline constexpr double kPngDotsPerInch = 300.0;

// The pixel size of a PNG picture of a figure: its size in points at kPngDotsPerInch, rounded.
struct PixelSize {
  int width = 0;
  int height = 0;
};
PixelSize png_size(const Figure& figure);

// Draws the figure in the format onto the stream. False when drawing or writing failed (the
// stream may then hold part of a picture).
bool render_figure(const Figure& figure, PictureFormat format, std::ostream& out);

// cairo and fontconfig keep caches of fonts and patterns for the whole process. This object frees
// them when it goes, so that a leak checker finds nothing left at the end of a run: make one per
// run (or test) before the first picture; no picture may be drawn after it is gone.
class PictureCaches {
 public:
  PictureCaches() = default;
  PictureCaches(const PictureCaches&) = delete;
  PictureCaches& operator=(const PictureCaches&) = delete;
  ~PictureCaches();
};

}  // namespace tessel
