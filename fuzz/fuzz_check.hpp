// Checks of the fuzz targets beyond crashes.
#pragma once

#include <cstdio>
#include <cstdlib>

// A broken promise: named on standard error, then the run stops like a crash.
#define CHECK(condition)                                                              \
  do {                                                                                \
    if (!(condition)) {                                                               \
      std::fprintf(stderr, "check failed: %s (line %d)\n", #condition, __LINE__);    \
      std::abort();                                                                   \
    }                                                                                 \
  } while (false)
