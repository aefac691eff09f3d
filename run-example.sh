#!/bin/sh
# Sets up the machine (Debian packages), builds tessel and runs it on the bundled example.
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
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target tessel
mkdir -p example-run
cd example-run
# Fits the model of the C-terminal domain of yeast Nup133 to its measured SAXS curve (456 points
# in 1/Å with errors): searches excluded volume, atomic radius and shell contrast, and writes
# 3kfo-fill_modelNN.log and 3kfo-fill_modelNN.fit (measured curve, errors and fitted curve), the
# picture of the fit 3kfo-fill_modelNN.png and the record of the job 3kfo-fill_modelNN.json, NN
# counting up from 00 with each run, and a line with the χ² in tessel_summary.txt.
cp ../examples/3kfo-fill_model.pdb ../examples/nup133_23922_merge.dat .
../build/tessel 3kfo-fill_model.pdb nup133_23922_merge.dat --plot png --json
