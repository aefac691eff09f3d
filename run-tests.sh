#!/bin/sh
# Builds tessel with warnings as errors and runs every test: once in an optimised build and
# once more under AddressSanitizer and UndefinedBehaviorSanitizer (halting on the first report).
# TESSEL_SKIP_SANITIZE=1 skips the second pass.
set -e
cd "$(dirname "$0")"
# Debian packages the build needs; the missing ones are installed.
packages="cmake g++ make pkg-config libgtest-dev libbenchmark-dev gemmi-dev tao-pegtl-dev zlib1g-dev
          libcairo2-dev fonts-dejavu-core nlohmann-json3-dev"
missing=""
for p in $packages; do dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"; done
if [ -n "$missing" ]; then
  apt-get update -qq && apt-get install -y -qq $missing >/dev/null
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
