// Tests of the picture renderer: a figure with one known horizontal line drawn as PNG lands at
// the expected place and size; a failing stream is reported. (The end-to-end tests check the
// SVG and PDF pictures of whole runs.)
#include "io/plot/figure_renderer.hpp"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>


namespace {

cairo_status_t read_from_string(void* closure, unsigned char* data, unsigned int length) {
  auto& in = *static_cast<std::istringstream*>(closure);
  in.read(reinterpret_cast<char*>(data), length);
  return in.gcount() == static_cast<std::streamsize>(length) ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_READ_ERROR;
}

// A single panel with one pure red line at y = 1 across x = 0..1: its y range is 0.5..1.5 (a
// single value gets unit width), so the line runs through the middle of the panel.
tessel::Figure red_line_figure() {
  tessel::Figure f;
  f.width = 200.0;
  f.height = 150.0;
  f.x_label.assign(1, 'x');
  tessel::Panel p;
  p.y_label.assign(1, 'y');
  tessel::Series s;
  s.x = {0.0, 1.0};
  s.y = {1.0, 1.0};
  s.colour = {1.0, 0.0, 0.0};
  s.width = 2.0;
  p.series.push_back(s);
  f.panels.push_back(p);
  return f;
}

TEST(FigureRenderer, PngLineAtItsPlace) {
  const tessel::PictureCaches caches;  // nothing of the fonts is left for a leak checker
  const tessel::Figure f = red_line_figure();
  std::ostringstream out;
  ASSERT_TRUE(tessel::render_figure(f, tessel::PictureFormat::png, out));
  std::istringstream in(out.str());
  cairo_surface_t* image = cairo_image_surface_create_from_png_stream(read_from_string, &in);
  ASSERT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS);
  // 200 × 150 pt at 300 dpi: 833 × 625 pixels.
  const int width = cairo_image_surface_get_width(image);
  const int height = cairo_image_surface_get_height(image);
  EXPECT_EQ(width, 833);
  EXPECT_EQ(height, 625);
  const int stride = cairo_image_surface_get_stride(image);
  const unsigned char* pixels = cairo_image_surface_get_data(image);
  int red = 0, low_row = height, high_row = 0, left = width, right = 0;
  for (int row = 0; row < height; ++row) {
    for (int col = 0; col < width; ++col) {
      std::uint32_t argb = 0;
      std::memcpy(&argb, pixels + row * stride + col * 4, 4);
      if ((argb & 0xffffffu) != 0xff0000u) continue;
      ++red;
      low_row = std::min(low_row, row);
      high_row = std::max(high_row, row);
      left = std::min(left, col);
      right = std::max(right, col);
    }
  }
  cairo_surface_destroy(image);
  // A 2 pt line is 8 pixels thick; it spans the panel (more than two thirds of the page) and
  // lies about half way down the panel, between a third and two thirds of the page.
  EXPECT_GT(red, 1000);
  EXPECT_LE(high_row - low_row, 10);
  EXPECT_GT(right - left, 2 * width / 3);
  EXPECT_GT(low_row, height / 3);
  EXPECT_LT(high_row, 2 * height / 3);
}

TEST(FigureRenderer, FailingStreamIsReported) {
  const tessel::PictureCaches caches;
  std::ostringstream broken;
  broken.setstate(std::ios::badbit);
  EXPECT_FALSE(tessel::render_figure(red_line_figure(), tessel::PictureFormat::png, broken));
  EXPECT_FALSE(tessel::render_figure(red_line_figure(), tessel::PictureFormat::pdf, broken));
}

}  // namespace
