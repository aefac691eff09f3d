// Cubic-spline re-interpolation of a tabulated curve onto new abscissae, directly or with
// the work that depends only on the abscissae done once.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

namespace tessel {

// The warning the caller writes once for each interpolation that found an abscissa out of range.
inline constexpr std::string_view kResplineOutOfRangeMessage = " RESPLINE --W- Out of abscissa range.";

struct ResplineResult {
  std::vector<double> values;
  bool out_of_range = false;  // some u lay more than 1 % of the table's span outside it
};

// Interpolates y(x) at each u with a cubic spline through all n table points. The end slopes
// are the derivatives at x_1 and x_n of the parabolas through the first three and the last
// three points (the straight line when n = 2). A u inside the table or at most 1 % of
// (x_n − x_1) outside it takes the value of the spline piece of the nearest interval; a u
// further out, or NaN, gets 0 and sets out_of_range. A one-point table gives y_1 at u = x_1
// only; an empty table gives 0 everywhere. x must be strictly ascending.
ResplineResult RESPLINE(std::span<const double> x, std::span<const double> y, std::span<const double> u);

// The same interpolation for fixed abscissae x and u and any number of value sets y: the
// spline's tridiagonal elimination, the end-slope weights and each u's interval and basis
// weights are computed once, so that each call costs O(n + m) multiplications and no divisions.
class SplineInterpolator {
 public:
  SplineInterpolator(std::span<const double> x, std::span<const double> u);

  std::size_t table_size() const { return x_.size(); }
  std::size_t target_count() const { return targets_.size(); }
  // Some u lies out of range: its value is always 0 and the caller warns once per call.
  bool out_of_range() const { return out_of_range_; }

  // v[i] = the spline through (x, y) at u[i]; y.size() == table_size(), v.size() == target_count().
  void apply(std::span<const double> y, std::span<double> v) const;
  // The same with caller-owned scratch of table_size() values, for loops that must not allocate.
  void apply(std::span<const double> y, std::span<double> v, std::span<double> scratch) const;
  std::vector<double> operator()(std::span<const double> y) const;

 private:
  struct Target {
    std::size_t k;       // interval [x_k, x_k+1]; kOutside when the value is 0
    double a, b;         // linear weights of y_k and y_k+1
    double ca, cb;       // weights of the second derivatives at x_k and x_k+1
  };
  static constexpr std::size_t kOutside = static_cast<std::size_t>(-1);

  std::vector<double> x_;
  std::vector<double> inv_h_;       // 1 / (x_k+1 − x_k)
  std::vector<double> sig_;         // h_k−1 / (x_k+1 − x_k−1)
  std::vector<double> inv_p_;       // 1 / pivot of row k of the elimination
  std::vector<double> six_inv_w_;   // 6 / (x_k+1 − x_k−1)
  std::vector<double> c_;           // super-diagonal after elimination
  double first_slope_[3] = {0, 0, 0};  // weights of y_1..y_3 in the slope at x_1
  double last_slope_[3] = {0, 0, 0};   // weights of y_n−2..y_n in the slope at x_n
  double inv_last_pivot_ = 0;
  std::vector<Target> targets_;
  bool out_of_range_ = false;
  // For ascending u the targets of one interval are consecutive: runs of them are evaluated
  // with the interval's values held fixed and the weights in separate arrays, two at a time.
  struct Run {
    std::size_t k, begin, end;  // interval and the targets begin..end−1
  };
  bool ascending_ = false;
  std::vector<Run> runs_;
  std::vector<double> wa_, wb_, wca_, wcb_;  // the weights of targets_, one array per weight
};

}  // namespace tessel
