#!/bin/sh
# Builds tessel with warnings as errors and runs every test.
set -e
cd "$(dirname "$0")"
if ! command -v cmake >/dev/null || ! command -v g++ >/dev/null || [ ! -e /usr/include/gtest/gtest.h ]; then
  apt-get update -qq && apt-get install -y -qq cmake g++ make libgtest-dev libbenchmark-dev >/dev/null
fi
jobs="$(nproc)"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTESSEL_WERROR=ON >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"
