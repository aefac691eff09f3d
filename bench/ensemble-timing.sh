#!/bin/sh
# Times the ensemble and mixture runs of the program end to end on perturbed copies of a
# 1,000-atom protein (lysozyme, tests/data/6lyz.pdb): the average and fit of a 10,000-frame
# ensemble, and the mixture search over 1,000 frames for up to three states. The data curve is
# the mean curve of the first 100 frames with 1 % errors.
#
# Usage: bench/ensemble-timing.sh path/to/tessel [frames=10000] [states=1000]
set -eu
tessel=$(realpath "$1")
frames=${2:-10000}
states=${3:-1000}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
sh "$here/make_ensemble.sh" "$here/../tests/data/6lyz.pdb" 100 > e100.pdb
"$tessel" e100.pdb --ensemble -p data > /dev/null
awk 'NR > 2 { printf "%s %s %.6e\n", $1, $2, 0.01 * $2 }' data.int > data.dat
sh "$here/make_ensemble.sh" "$here/../tests/data/6lyz.pdb" "$frames" > frames.pdb
sh "$here/make_ensemble.sh" "$here/../tests/data/6lyz.pdb" "$states" 0.5 2 > states.pdb
/usr/bin/time -f "ensemble of $frames frames, average and fit: %e s, %M kB" \
  "$tessel" frames.pdb data.dat -un 1 --ensemble -p ens > /dev/null
/usr/bin/time -f "mixture of $states states, up to 3: %e s, %M kB" \
  "$tessel" states.pdb data.dat -un 1 --mixture 3 -p mix > /dev/null
grep "Mixture n=" tessel_summary.txt | cut -c1-120
