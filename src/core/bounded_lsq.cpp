// Bounded-variable least squares (Stark and Parker, 1995): the active-set iteration, a general
// Householder kernel and a streaming kernel for one or two variables that repeats its arithmetic.
#include "core/bounded_lsq.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace tessel {
namespace {

// Machine epsilon (2.220446e-16): the convergence test compares ‖b − A·x‖ with eps·‖b‖.
constexpr double kEps = std::numeric_limits<double>::epsilon();

std::string_view message_for(int ierr) {
  switch (ierr) {
    case kBvlsBadDimensions: return "F04BVLLS -E- Check dimensions.";
    case kBvlsNoConvergence: return "F04BVLLS -E- Fails to converge. Exit on iteration count.";
    case kBvlsInconsistentBounds: return "F04BVLLS -E- Inconsistent bounds on X.";
    case kBvlsNoFreeVariables: return "F04BVLLS -E- No free variables - check input bounds.";
    case kBvlsTooManyActive: return "F04BVLLS -E- Too many active variables in starting solution!";
    case kBvlsTooManyFree: return "F04BVLLS -E- Too many free variables.";
    case kBvlsNonFiniteData: return "F04BVLLS -E- Non-finite value in A or b.";
    default: return {};
  }
}

BvlsStatus failure(int ierr, int loop) { return {ierr, loop, message_for(ierr)}; }

// Access to one row (double) or to two consecutive rows at once (a pair of doubles in one
// vector register, GCC/Clang vector extension); arithmetic on a pair is element by element, so a
// term evaluates to the same bits either way.
using Pair = double __attribute__((vector_size(16)));
struct OneRow {
  int i;
  double operator()(const double* p) const { return p[i]; }
};
struct TwoRows {
  int i;
  Pair operator()(const double* p) const {
    Pair v;
    std::memcpy(&v, p + i, sizeof v);
    return v;
  }
};

// K sums of term(at)[q] over rows [begin, end), where `at` reads a column at the current row(s).
// Row begin + 4t + l always goes to partial sum l, and the four are combined as
// (s0 + s1) + (s2 + s3): every kernel forms a given sum in this one order and gets the same bits.
template <int K, class Term>
inline std::array<double, K> lane_sums(int begin, int end, Term term) {
  Pair low[K] = {};   // partial sums 0 and 1
  Pair high[K] = {};  // partial sums 2 and 3
  int i = begin;
  for (; i + 4 <= end; i += 4) {
    const auto t01 = term(TwoRows{i});
    const auto t23 = term(TwoRows{i + 2});
    for (int q = 0; q < K; ++q) {
      low[q] += t01[q];
      high[q] += t23[q];
    }
  }
  double acc[4][K];
  for (int q = 0; q < K; ++q) {
    acc[0][q] = low[q][0];
    acc[1][q] = low[q][1];
    acc[2][q] = high[q][0];
    acc[3][q] = high[q][1];
  }
  const int left = end - i;
  for (int lane = 0; lane < 3; ++lane) {
    if (lane >= left) break;
    const auto t = term(OneRow{i + lane});
    for (int q = 0; q < K; ++q) acc[lane][q] += t[q];
  }
  std::array<double, K> out{};
  for (int q = 0; q < K; ++q) out[q] = (acc[0][q] + acc[1][q]) + (acc[2][q] + acc[3][q]);
  return out;
}

// Σ p_i·q_i over rows [begin, end).
inline double dot(int begin, int end, const double* p, const double* q) {
  return lane_sums<1>(begin, end, [=](auto at) { return std::array{at(p) * at(q)}; })[0];
}

// 0-based variable index of an istate entry (±(j + 1)).
inline int var_of(int entry) { return std::abs(entry) - 1; }

struct Problem {
  int mm, m, n;
  const double* a;
  const double* b;
  const double* bl;
  const double* bu;
  const double* column(int j) const { return a + static_cast<std::ptrdiff_t>(j) * mm; }
};

// A column is taken as linearly dependent on the free columns before it when what remains of
// it after their reflections is at most m·eps of its own norm.
inline double rank_tolerance(const Problem& p) { return p.m * kEps; }

// Householder reflection of column k (rows k..m−1), built as
//   sigma = √(c_k² + Σ_{i>k} c_i²), alpha = −sign(c_k)·sigma, v = (c_k − alpha, c_{k+1}, …),
// and applied to y as y += (beta·s)·v with s = Σ_{i>k} c_i·y_i + v_k·y_k, beta = 1/(alpha·v_k).
struct Reflector {
  double alpha;  // the diagonal of R
  double vk;     // first component of v
  double beta;
};

inline Reflector make_reflector(double head, double tail_sq) {
  const double sigma = std::sqrt(head * head + tail_sq);
  const double alpha = std::signbit(head) ? sigma : -sigma;
  const double vk = head - alpha;
  return {alpha, vk, 1.0 / (alpha * vk)};
}

// General kernel: the free columns are copied into act and factorised there; the right-hand
// side of the free subproblem lives in column min(m, n) of act.
class HouseholderKernel {
 public:
  HouseholderKernel(const Problem& p, double* act)
      : p_(p), act_(act), rhs_(act + static_cast<std::ptrdiff_t>(std::min(p.m, p.n)) * p.mm) {}

  double first_pass(const double* x, double* w, double& bsq) {
    const double* b = p_.b;
    bsq = dot(0, p_.m, b, b);
    return top_pass(x, w);
  }

  // Residual r = b − A·x (into the right-hand-side column), w = Aᵀr; returns ‖r‖².
  double top_pass(const double* x, double* w) {
    for (int i = 0; i < p_.m; ++i) {
      double r = p_.b[i];
      for (int j = 0; j < p_.n; ++j) r -= p_.column(j)[i] * x[j];
      rhs_[i] = r;
    }
    const double* r = rhs_;
    const double obj = dot(0, p_.m, r, r);
    for (int j = 0; j < p_.n; ++j) {
      w[j] = dot(0, p_.m, p_.column(j), r);
    }
    return obj;
  }

  // Least squares on the free variables istate[nbound..n−1] with the bound ones at x:
  // z = argmin ‖A_F·z − (b − A_B·x_B)‖. Returns −1, or the free position of the first column
  // found dependent on those before it (z is then undefined).
  int solve(const int* istate, int nbound, const double* x, double* z) {
    const int m = p_.m;
    const int nact = p_.n - nbound;
    for (int i = 0; i < m; ++i) {
      double y = p_.b[i];
      for (int k = 0; k < nbound; ++k) {
        const int j = var_of(istate[k]);
        y -= p_.column(j)[i] * x[j];
      }
      rhs_[i] = y;
    }
    for (int c = 0; c < nact; ++c) std::copy_n(p_.column(var_of(istate[nbound + c])), m, col(c));
    // z holds the squared column norms until the back substitution replaces them.
    for (int c = 0; c < nact; ++c) {
      const double* cc = col(c);
      z[c] = cc[0] * cc[0] + dot(1, m, cc, cc);
    }
    const double tol = rank_tolerance(p_);
    for (int k = 0; k < nact; ++k) {
      double* ck = col(k);
      const double tail = dot(k + 1, m, ck, ck);
      if (!(std::sqrt(ck[k] * ck[k] + tail) > tol * std::sqrt(z[k]))) return k;
      const Reflector h = make_reflector(ck[k], tail);
      auto reflect = [&](double* cj) {
        const double s = dot(k + 1, m, ck, cj) + h.vk * cj[k];
        const double g = h.beta * s;
        cj[k] += g * h.vk;
        for (int i = k + 1; i < m; ++i) cj[i] += g * ck[i];
      };
      for (int j = k + 1; j < nact; ++j) reflect(col(j));
      reflect(rhs_);
      ck[k] = h.alpha;
    }
    for (int k = nact - 1; k >= 0; --k) {
      double s = rhs_[k];
      for (int j = k + 1; j < nact; ++j) s -= col(j)[k] * z[j];
      z[k] = s / col(k)[k];
    }
    return -1;
  }

 private:
  double* col(int c) { return act_ + static_cast<std::ptrdiff_t>(c) * p_.mm; }

  Problem p_;
  double* act_;
  double* rhs_;
};

// Kernel for N = 1 or 2 variables: nothing is copied or stored; every pass over the rows forms
// its values on the fly with the same expressions, in the same order, as the general kernel,
// and fuses the sums that the general kernel forms one by one.
template <int N>
class StreamingKernel {
  static_assert(N == 1 || N == 2);

 public:
  explicit StreamingKernel(const Problem& p) : p_(p), a0_(p.column(0)), a1_(p.column(N - 1)) {}

  double first_pass(const double* x, double* w, double& bsq) {
    const auto s = top_sums<true>(x);
    bsq = s[N + 1];
    for (int j = 0; j < N; ++j) w[j] = s[1 + j];
    return s[0];
  }

  double top_pass(const double* x, double* w) {
    const auto s = top_sums<false>(x);
    for (int j = 0; j < N; ++j) w[j] = s[1 + j];
    return s[0];
  }

  int solve(const int* istate, int nbound, const double* x, double* z) {
    if (N - nbound == 1) return solve_one(istate, nbound, x, z);
    return solve_two(istate, z);
  }

 private:
  // {‖r‖², a0·r, a1·r (N = 2), b·b (if wanted)} with r = b − A·x.
  template <bool WithB>
  auto top_sums(const double* x) const {
    constexpr int K = 1 + N + (WithB ? 1 : 0);
    const double* b = p_.b;
    const double* a0 = a0_;
    const double* a1 = a1_;
    const double x0 = x[0];
    const double x1 = x[N - 1];
    return lane_sums<K>(0, p_.m, [=](auto at) {
      auto r = at(b);
      r -= at(a0) * x0;
      if constexpr (N == 2) r -= at(a1) * x1;
      std::array<decltype(r), K> t{};
      t[0] = r * r;
      t[1] = at(a0) * r;
      if constexpr (N == 2) t[2] = at(a1) * r;
      if constexpr (WithB) t[K - 1] = at(b) * at(b);
      return t;
    });
  }

  // One free variable; with N = 2 the other one is held at x.
  int solve_one(const int* istate, int nbound, const double* x, double* z) const {
    const int f = var_of(istate[nbound]);
    const double* c = p_.column(f);
    const double* b = p_.b;
    const bool held = N == 2 && nbound == 1;
    const double* ag = p_.column(N == 2 ? 1 - f : f);
    const double xg = held ? x[N - 1 - f] : 0.0;
    auto rhs = [=](auto at) {
      auto y = at(b);
      if (held) y -= at(ag) * xg;
      return y;
    };
    const auto s = lane_sums<2>(1, p_.m, [=](auto at) { return std::array{at(c) * at(c), at(c) * rhs(at)}; });
    const double norm_sq = c[0] * c[0] + s[0];
    if (!(std::sqrt(c[0] * c[0] + s[0]) > rank_tolerance(p_) * std::sqrt(norm_sq))) return 0;
    const Reflector h = make_reflector(c[0], s[0]);
    double y0 = rhs(OneRow{0});
    const double g = h.beta * (s[1] + h.vk * y0);
    y0 += g * h.vk;
    z[0] = y0 / h.alpha;
    return -1;
  }

  // Both variables free: two passes, one per Householder step.
  int solve_two(const int* istate, double* z) const {
    const double* c0 = p_.column(var_of(istate[0]));
    const double* c1 = p_.column(var_of(istate[1]));
    const double* y = p_.b;
    const int m = p_.m;
    const double tol = rank_tolerance(p_);

    const auto sa = lane_sums<4>(1, m, [=](auto at) {
      return std::array{at(c0) * at(c0), at(c0) * at(c1), at(c0) * at(y), at(c1) * at(c1)};
    });
    const double norm0_sq = c0[0] * c0[0] + sa[0];
    const double norm1_sq = c1[0] * c1[0] + sa[3];
    if (!(std::sqrt(c0[0] * c0[0] + sa[0]) > tol * std::sqrt(norm0_sq))) return 0;
    const Reflector h0 = make_reflector(c0[0], sa[0]);
    const double g1 = h0.beta * (sa[1] + h0.vk * c1[0]);
    const double gy = h0.beta * (sa[2] + h0.vk * y[0]);
    double r01 = c1[0];
    r01 += g1 * h0.vk;
    double y0 = y[0];
    y0 += gy * h0.vk;

    // Column 1 and the right-hand side after the first reflection, rows 1..m−1.
    auto c1r = [=](auto at) {
      auto v = at(c1);
      v += g1 * at(c0);
      return v;
    };
    auto yr = [=](auto at) {
      auto v = at(y);
      v += gy * at(c0);
      return v;
    };
    const auto sb = lane_sums<2>(2, m, [=](auto at) {
      const auto u = c1r(at);
      return std::array{u * u, u * yr(at)};
    });
    const double head = c1r(OneRow{1});
    if (!(std::sqrt(head * head + sb[0]) > tol * std::sqrt(norm1_sq))) return 1;
    const Reflector h1 = make_reflector(head, sb[0]);
    double y1 = yr(OneRow{1});
    const double g = h1.beta * (sb[1] + h1.vk * y1);
    y1 += g * h1.vk;
    z[1] = y1 / h1.alpha;
    double s = y0;
    s -= r01 * z[1];
    z[0] = s / h0.alpha;
    return -1;
  }

  Problem p_;
  const double* a0_;
  const double* a1_;
};

// Moves the free variable at position pos of istate to a bound (upper if `upper`), keeping
// the bound entries first: the entry swaps with the first free one and the bound count grows.
inline void bind_at(const Problem& p, int* istate, int& nbound, int pos, bool upper, double* x) {
  const int j = var_of(istate[pos]);
  x[j] = upper ? p.bu[j] : p.bl[j];
  istate[pos] = istate[nbound];
  istate[nbound] = upper ? j + 1 : -(j + 1);
  ++nbound;
}

// The active-set iteration. Its steps follow the published method: (2) residual, gradient
// and convergence test; (3, 4) the bound variable whose gradient most wants it inside;
// (5, 6) free it and solve the free subproblem, rejecting a dependent column or a step away
// from the bound it left; (7) accept a feasible solution; (8-11) otherwise step towards it
// as far as the bounds allow and bind the variables that reach them, then solve again.
template <class Kernel>
BvlsStatus iterate(int key, const Problem& p, Kernel& kernel, double* x, double* w, double* z,
                   int* istate, int max_loops) {
  const int n = p.n;
  const int max_free = std::min(p.m, p.n);
  int nbound = n;
  if (key == 0) {
    for (int j = 0; j < n; ++j) istate[j] = -(j + 1);
  } else {
    nbound = istate[n];
  }
  for (int k = 0; k < nbound; ++k) {
    const int j = var_of(istate[k]);
    x[j] = istate[k] < 0 ? p.bl[j] : p.bu[j];
  }
  for (int k = nbound; k < n; ++k) {
    const int j = var_of(istate[k]);
    x[j] = 0.5 * p.bl[j] + 0.5 * p.bu[j];
  }

  // Solves on the current free set; a column found dependent (only possible when the free set
  // was not built one accepted variable at a time) sends its variable to the nearer bound.
  auto solve_free_set = [&] {
    while (nbound < n) {
      const int dep = kernel.solve(istate, nbound, x, z);
      if (dep < 0) return;
      const int j = var_of(istate[nbound + dep]);
      bind_at(p, istate, nbound, nbound + dep, p.bu[j] - x[j] < x[j] - p.bl[j], x);
    }
  };

  double bsq = 0.0;
  int jj = -1;  // the variable last sent to a bound by a step; it may not re-enter at once
  for (int loop = 1; loop <= max_loops; ++loop) {
    const double obj = loop == 1 ? kernel.first_pass(x, w, bsq) : kernel.top_pass(x, w);
    if (!std::isfinite(obj) || !std::isfinite(bsq)) {
      istate[n] = nbound;
      return failure(kBvlsNonFiniteData, loop);
    }
    bool w_zeroed = false;
    auto converged = [&] {
      if (w_zeroed) kernel.top_pass(x, w);  // hand back the true gradient, not the masked one
      istate[n] = nbound;
      return BvlsStatus{kBvlsOk, loop, {}};
    };
    if (std::sqrt(obj) <= std::sqrt(bsq) * kEps || (loop > 1 && nbound == 0)) return converged();

    if (loop == 1 && key != 0 && nbound < n) {
      solve_free_set();  // a warm start solves on its given free set at once
    } else {
      for (;;) {
        int pos = -1;
        int iact = -1;
        double worst = 0.0;
        for (int k = 0; k < nbound; ++k) {
          const int j = var_of(istate[k]);
          if (p.bl[j] == p.bu[j]) continue;  // a pinned variable cannot move
          const double bad = istate[k] < 0 ? -w[j] : w[j];
          if (bad < worst) {
            worst = bad;
            pos = k;
            iact = j;
          }
        }
        if (pos < 0) return converged();  // Kuhn-Tucker conditions hold
        if (iact == jj) {
          w[iact] = 0.0;
          w_zeroed = true;
          continue;
        }
        if (n - nbound >= max_free) {
          if (w_zeroed) kernel.top_pass(x, w);
          istate[n] = nbound;
          return failure(kBvlsTooManyFree, loop);
        }
        // Free iact: it leaves the bound list and becomes the first free entry.
        const int from = istate[pos];
        for (int k = pos; k < nbound - 1; ++k) istate[k] = istate[k + 1];
        istate[nbound - 1] = iact + 1;
        --nbound;
        const int dep = kernel.solve(istate, nbound, x, z);
        const bool away = dep < 0 && (from < 0 ? z[0] < p.bl[iact] : z[0] > p.bu[iact]);
        if (dep >= 0 || away) {
          istate[nbound] = from;  // back to the bound it came from
          ++nbound;
          w[iact] = 0.0;
          w_zeroed = true;
          continue;
        }
        jj = -1;
        break;
      }
    }

    while (nbound < n) {
      const int nact = n - nbound;
      int first_out = -1;
      for (int k = 0; k < nact; ++k) {
        const int j = istate[nbound + k] - 1;
        if (z[k] < p.bl[j] || z[k] > p.bu[j]) {
          first_out = k;
          break;
        }
      }
      if (first_out < 0) {
        for (int k = 0; k < nact; ++k) x[istate[nbound + k] - 1] = z[k];
        break;
      }
      // Longest step from x towards z that keeps every free variable inside its bounds, as the
      // fraction alpha of z − x. The part beyond the bound, rest = 1 − alpha, is formed directly
      // as well: when x starts at a wide bound (±1e20) alpha rounds to 1, and only rest still
      // tells the limiting variable and the landing point.
      double alpha = 2.0;
      double rest = -1.0;
      int upper_side = 0;
      for (int k = first_out; k < nact; ++k) {
        const int j = istate[nbound + k] - 1;
        if (z[k] >= p.bl[j] && z[k] <= p.bu[j]) continue;
        const double bound = z[k] > p.bu[j] ? p.bu[j] : p.bl[j];
        const double span = z[k] - x[j];
        const double alf = (bound - x[j]) / span;
        const double beyond = (z[k] - bound) / span;
        const bool shorter = (alf <= 0.5 || alpha <= 0.5) ? alf < alpha : beyond > rest;
        if (shorter) {
          alpha = alf;
          rest = beyond;
          jj = j;
          upper_side = z[k] > p.bu[j] ? 1 : -1;
        }
      }
      for (int k = 0; k < nact; ++k) {
        const int j = istate[nbound + k] - 1;
        if (alpha <= 0.5) {
          x[j] += alpha * (z[k] - x[j]);
        } else {
          x[j] = z[k] - rest * (z[k] - x[j]);
        }
      }
      // Bind the variable that limited the step, and any other that reached (or by rounding
      // crossed) a bound.
      const int nold = nbound;
      for (int k = 0; k < nact; ++k) {
        const int pos = nold + k;
        const int j = istate[pos] - 1;
        if (p.bu[j] - x[j] <= 0.0 || (j == jj && upper_side > 0)) {
          bind_at(p, istate, nbound, pos, true, x);
        } else if (x[j] - p.bl[j] <= 0.0 || (j == jj && upper_side < 0)) {
          bind_at(p, istate, nbound, pos, false, x);
        }
      }
      solve_free_set();
    }
  }
  istate[n] = nbound;
  return failure(kBvlsNoConvergence, max_loops);
}

// The checks that come before any work, in order: dimensions and storage, bounds, warm start.
int check_input(int key, int mm, int m, int n, std::span<const double> a,
                std::span<const double> b, std::span<const double> bl,
                std::span<const double> bu, std::span<double> x, const BvlsWork& work) {
  if (m < 1 || n < 1 || mm < m) return kBvlsBadDimensions;
  const auto need = [](std::size_t have, long long want) {
    return static_cast<long long>(have) >= want;
  };
  const long long lmm = mm;
  if (!need(a.size(), lmm * (n - 1) + m) || !need(b.size(), m) || !need(bl.size(), n) ||
      !need(bu.size(), n) || !need(x.size(), n) || !need(work.w.size(), n) ||
      !need(work.act.size(), lmm * (std::min(m, n) + 2)) || !need(work.zz.size(), mm) ||
      !need(work.istate.size(), n + 1LL)) {
    return kBvlsBadDimensions;
  }
  bool any_room = false;
  for (int j = 0; j < n; ++j) {
    if (!std::isfinite(bl[j]) || !std::isfinite(bu[j]) || !(bl[j] <= bu[j])) {
      return kBvlsInconsistentBounds;
    }
    any_room = any_room || bl[j] < bu[j];
  }
  if (!any_room) return kBvlsNoFreeVariables;
  if (key != 0) {
    const int nbound = work.istate[n];
    if (nbound < 0 || nbound > n || n - nbound > std::min(m, n)) return kBvlsTooManyActive;
    // Every variable must appear exactly once, free ones with a positive entry; w marks them.
    std::fill_n(work.w.begin(), n, 0.0);
    for (int k = 0; k < n; ++k) {
      const int e = work.istate[k];
      if (e == 0 || e < -n || e > n || (k >= nbound && e < 0)) return kBvlsTooManyActive;
      const int j = var_of(e);
      if (work.w[j] != 0.0) return kBvlsTooManyActive;
      work.w[j] = 1.0;
    }
  }
  return kBvlsOk;
}

enum class Path { automatic, general };

BvlsStatus solve(Path path, int key, int mm, int m, int n, std::span<const double> a,
                 std::span<const double> b, std::span<const double> bl,
                 std::span<const double> bu, std::span<double> x, const BvlsWork& work,
                 int max_loops) {
  if (const int ierr = check_input(key, mm, m, n, a, b, bl, bu, x, work); ierr != kBvlsOk) {
    return failure(ierr, 0);
  }
  const Problem p{mm, m, n, a.data(), b.data(), bl.data(), bu.data()};
  if (max_loops < 0) max_loops = 3 * n;
  double* w = work.w.data();
  double* z = work.zz.data();
  int* istate = work.istate.data();
  if (path == Path::automatic && n == 1) {
    StreamingKernel<1> kernel(p);
    return iterate(key, p, kernel, x.data(), w, z, istate, max_loops);
  }
  if (path == Path::automatic && n == 2) {
    StreamingKernel<2> kernel(p);
    return iterate(key, p, kernel, x.data(), w, z, istate, max_loops);
  }
  HouseholderKernel kernel(p, work.act.data());
  return iterate(key, p, kernel, x.data(), w, z, istate, max_loops);
}

}  // namespace

BvlsWorkspace::BvlsWorkspace(int mm, int n)
    : w(static_cast<std::size_t>(n)),
      act(static_cast<std::size_t>(mm) * static_cast<std::size_t>(n + 2)),
      zz(static_cast<std::size_t>(mm)),
      istate(static_cast<std::size_t>(n) + 1) {}

BvlsStatus bvls_solve(int key, int mm, int m, int n, std::span<const double> a,
                      std::span<const double> b, std::span<const double> bl,
                      std::span<const double> bu, std::span<double> x, BvlsWork work) {
  return solve(Path::automatic, key, mm, m, n, a, b, bl, bu, x, work, -1);
}

namespace detail {

BvlsStatus bvls_solve_general(int key, int mm, int m, int n, std::span<const double> a,
                              std::span<const double> b, std::span<const double> bl,
                              std::span<const double> bu, std::span<double> x, BvlsWork work,
                              int max_loops) {
  return solve(Path::general, key, mm, m, n, a, b, bl, bu, x, work, max_loops);
}

}  // namespace detail
}  // namespace tessel
