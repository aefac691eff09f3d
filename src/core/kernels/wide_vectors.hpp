// Vectors of doubles and of 64-bit integers in the compilers' vector extension, for the loops
// compiled for the widest instruction set. Lanes are picked with __builtin_shufflevector (indices
// 0..7 the first vector's, 8..15 the second's).
#pragma once

namespace tessel::wide {

typedef double V8 __attribute__((vector_size(64)));
typedef long long I8 __attribute__((vector_size(64)));
typedef double V4 __attribute__((vector_size(32)));

}  // namespace tessel::wide
