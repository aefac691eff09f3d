// The banner and the menu of program options.
#include "app/banner.hpp"

#include <array>

#include "io/fortran_format.hpp"
#include "io/version_texts.hpp"

namespace tessel {

namespace {

std::string lines(std::span<const std::string_view> texts) {
  static const Format line("(A)");
  std::string out;
  for (std::string_view t : texts) out += line(t);
  return out;
}

}  // namespace

std::string banner_text() {
  static constexpr std::array<std::string_view, 6> kBox = {
      " ***  ------------------------------------------------  ***",
      kBannerVersionLine,
      " ***     Solution scattering from atomic structures     ***",
      " ***   Version (LMAX=50) for small and wide angles      ***",
      kBannerRevisedLine,
      " ***  ------------------------------------------------  ***",
  };
  std::string text = "\n";
  text += lines(kBox);
  return text;
}

std::string menu_text() {
  static constexpr std::array<std::string_view, 8> kMenu = {
      kRuleLine,
      "                 Program options :       ",
      " 0 - evaluate scattering amplitudes and envelope ",
      " 1 - evaluate only envelope and Flms ",
      " 2 - read TESSEL information from a .sav file ",
      "  Type tessel -help for batch mode use      ",
      kRuleLine,
      "",
  };
  return lines(kMenu);
}

}  // namespace tessel
