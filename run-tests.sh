#!/bin/sh
# Builds tessel with warnings as errors and runs every test: once in an optimised build and
# once more under AddressSanitizer and UndefinedBehaviorSanitizer (halting on the first report).
# TESSEL_SKIP_SANITIZE=1 skips the second pass.
set -e
cd "$(dirname "$0")"
if ! command -v cmake >/dev/null || ! command -v g++ >/dev/null || [ ! -e /usr/include/gtest/gtest.h ] ||
   ! pkg-config --exists cairo 2>/dev/null || [ ! -e /usr/include/nlohmann/json.hpp ] ||
   [ ! -e /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf ]; then
  apt-get update -qq && apt-get install -y -qq cmake g++ make pkg-config libgtest-dev libbenchmark-dev \
    libcairo2-dev fonts-dejavu-core nlohmann-json3-dev >/dev/null
fi
jobs="$(nproc)"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTESSEL_WERROR=ON >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

if [ "${TESSEL_SKIP_SANITIZE:-0}" != 1 ]; then
  cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSEL_WERROR=ON \
        -DTESSEL_SANITIZE=ON >/dev/null
  cmake --build build-sanitize -j"$jobs"
  ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    ctest --test-dir build-sanitize --output-on-failure -j"$jobs"
fi
