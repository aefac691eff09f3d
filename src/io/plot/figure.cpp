// Picture formats and the sub- and superscript markup of the picture texts.
#include "io/plot/figure.hpp"

namespace tessel {

std::optional<PictureFormat> picture_format(std::string_view name) {
  if (name == "png") return PictureFormat::png;
  if (name == "svg") return PictureFormat::svg;
  if (name == "pdf") return PictureFormat::pdf;
  return std::nullopt;
}

std::string_view picture_extension(PictureFormat format) {
  switch (format) {
    case PictureFormat::png: return ".png";
    case PictureFormat::svg: return ".svg";
    case PictureFormat::pdf: return ".pdf";
  }
  return ".png";
}

std::vector<TextRun> split_markup(std::string_view text) {
  std::vector<TextRun> runs;
  auto add = [&runs](std::string_view piece, int shift) {
    if (piece.empty()) return;
    if (!runs.empty() && runs.back().shift == shift) {
      runs.back().text.append(piece);
    } else {
      runs.push_back({std::string(piece), shift});
    }
  };
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if ((c == '_' || c == '^') && i + 1 < text.size() && text[i + 1] == '{') {
      const std::size_t close = text.find('}', i + 2);
      if (close != std::string_view::npos) {
        add(text.substr(i + 2, close - i - 2), c == '^' ? 1 : -1);
        i = close + 1;
        continue;
      }
    }
    add(text.substr(i, 1), 0);
    ++i;
  }
  return runs;
}

}  // namespace tessel
