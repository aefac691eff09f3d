// The envelope search's two scans over points, in their vector forms: the directions an atom
// reaches and the farthest of a run of points. Every form gives the same answer as the plain
// loop it stands for.
#pragma once

#include <cstddef>

namespace tessel {

// One atom as the envelope search tests it against the directions: its position, r², its
// reach squared and half its radius.
struct AtomReach {
  double x, y, z;
  double r2, reach2, half_radius;
};

// The directions j of first..last whose ray the atom reaches (p = u_j·a > 0, lateral distance
// r² − p² within the reach) with a candidate p + R/2 not below radius[j], in order, written to
// out; returns their count. On the widest instruction set the processor has.
int find_reached(const double* ux, const double* uy, const double* uz, const double* radius,
                 int first, int last, const AtomReach& a, int* out);

// The largest of best2 and the squared distances from point a to the points a+1..stop−1, four
// points at a time in two independent pairs.
double farthest_squared(const double* px, const double* py, const double* pz, std::size_t a,
                        std::size_t stop, double best2);

}  // namespace tessel
