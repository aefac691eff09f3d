// grafon: a console curve viewer. Draws the two-column curves of the files it is given as log10
// of the second column against the first on a 72 × 24 character plot and returns at once.
// tessel starts it on the measured curve and the fitted model curve of a fit.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 72;
constexpr int kHeight = 24;
constexpr char kSymbols[] = {'x', '*', 'o', '+', '@'};
constexpr char kOverlap = '#';

struct Curve {
  std::string name;
  std::vector<double> s, log_i;  // points with a positive intensity only
};

// Reads the first two numbers of every line; other lines (text, a single number) are skipped.
bool read_curve(const std::string& name, Curve& curve) {
  std::ifstream in(name);
  if (!in) return false;
  curve.name = name;
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    double s = 0.0;
    double i = 0.0;
    if (!(words >> s >> i)) continue;
    if (!std::isfinite(s) || !std::isfinite(i) || i <= 0.0) continue;
    curve.s.push_back(s);
    curve.log_i.push_back(std::log10(i));
  }
  return true;
}

std::string number(double v, int decimals) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

// The range of the values, widened when it is a single value.
void widen(double& low, double& high) {
  if (high - low < 1e-12 * std::max(1.0, std::fabs(high))) {
    low -= 0.5;
    high += 0.5;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: grafon file [file ...]   (two columns: s and I(s))\n";
    return 1;
  }
  std::vector<Curve> curves;
  for (int a = 1; a < argc && curves.size() < std::size(kSymbols); ++a) {
    Curve c;
    if (!read_curve(argv[a], c)) {
      std::cerr << "grafon: cannot read " << argv[a] << '\n';
      return 1;
    }
    curves.push_back(std::move(c));
  }

  double s_low = std::numeric_limits<double>::infinity();
  double s_high = -s_low;
  double y_low = s_low;
  double y_high = -s_low;
  for (const Curve& c : curves) {
    for (std::size_t k = 0; k < c.s.size(); ++k) {
      s_low = std::min(s_low, c.s[k]);
      s_high = std::max(s_high, c.s[k]);
      y_low = std::min(y_low, c.log_i[k]);
      y_high = std::max(y_high, c.log_i[k]);
    }
  }
  std::cout << '\n';
  for (std::size_t n = 0; n < curves.size(); ++n) {
    std::cout << "  " << kSymbols[n] << "  " << curves[n].name << "  (" << curves[n].s.size() << " points)\n";
  }
  if (!(s_low <= s_high)) {
    std::cout << "  nothing to plot: no point with a positive intensity\n";
    return 0;
  }
  widen(s_low, s_high);
  widen(y_low, y_high);

  std::vector<std::string> grid(kHeight, std::string(kWidth, ' '));
  for (std::size_t n = 0; n < curves.size(); ++n) {
    const Curve& c = curves[n];
    for (std::size_t k = 0; k < c.s.size(); ++k) {
      const auto col = static_cast<int>(std::lround((c.s[k] - s_low) / (s_high - s_low) * (kWidth - 1)));
      const auto row = static_cast<int>(std::lround((y_high - c.log_i[k]) / (y_high - y_low) * (kHeight - 1)));
      char& cell = grid[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)];
      cell = (cell == ' ' || cell == kSymbols[n]) ? kSymbols[n] : kOverlap;
    }
  }

  std::cout << "  log10 I\n";
  for (int row = 0; row < kHeight; ++row) {
    std::string label(8, ' ');
    if (row == 0 || row == kHeight - 1 || row == kHeight / 2) {
      const double y = y_high - (y_high - y_low) * row / (kHeight - 1);
      const std::string text = number(y, 2);
      label = std::string(8 - std::min<std::size_t>(8, text.size() + 1), ' ') + text + ' ';
    }
    std::string line = label + '|' + grid[static_cast<std::size_t>(row)];
    line.erase(line.find_last_not_of(' ') + 1);
    std::cout << line << '\n';
  }
  std::cout << std::string(8, ' ') << '+' << std::string(kWidth, '-') << '\n';
  const std::string left = number(s_low, 3);
  const std::string right = number(s_high, 3);
  const std::string middle = "s [1/A]";
  const int gap = kWidth + 1 - static_cast<int>(left.size() + right.size() + middle.size());
  std::cout << std::string(8, ' ') << left << std::string(static_cast<std::size_t>(std::max(1, gap / 2)), ' ')
            << middle << std::string(static_cast<std::size_t>(std::max(1, gap - gap / 2)), ' ') << right << '\n';
  return 0;
}
