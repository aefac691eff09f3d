#!/bin/sh
# Sets up the machine (Debian packages), builds tessel and runs it on the bundled example.
set -e
cd "$(dirname "$0")"
if ! command -v cmake >/dev/null || ! command -v g++ >/dev/null || [ ! -e /usr/include/gtest/gtest.h ]; then
  apt-get update -qq && apt-get install -y -qq cmake g++ make libgtest-dev libbenchmark-dev >/dev/null
fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target tessel
mkdir -p example-run
cd example-run
# Predicts the solution scattering of lysozyme: writes 6lyzNN.log, 6lyzNN.int (the curve) and
# 6lyzNN.alm (net amplitudes), NN counting up from 00 with each run, and a line in
# tessel_summary.txt.
cp ../examples/6lyz.pdb .
../build/tessel 6lyz.pdb
