#!/bin/sh
# Whole runs of the extended fit (--fit extended) against the default fit with a background (-cst)
# on the same structure and curve, timed from process start to exit with hyperfine (Debian package
# "hyperfine"): the Nup133 crystal structure (3kfo) and model (3kfo-fill_model) fitted to their
# measured curve, and lysozyme (6lyz) fitted to a 500-point curve made from its own prediction
# (3 % errors and a ±2 % ripple, as in run-benchmarks.sh).
#
# Usage: bench/extended-fit-timing.sh [path/to/tessel [runs]]
# The machine is often shared: the script prints the load average before and after, and hyperfine
# reports the spread of each case.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
data="$here/../tests/data"
tessel=$(realpath "${1:-build/tessel}")
runs=${2:-20}
command -v hyperfine > /dev/null || { echo "needs hyperfine (apt-get install hyperfine)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cp "$data/6lyz.pdb" "$data/3kfo.pdb" "$data/3kfo-fill_model.pdb" "$data/nup133_23922_merge.dat" .
mkdir curve
(cd curve && "$tessel" ../6lyz.pdb -ns 501 -sm 0.5 > /dev/null)
awk 'NF == 5 && $1 + 0 > 0 { i = $2 * (1 + 0.02 * sin(NR * 1.7)); printf "%e %e %e\n", $1, i, 0.03 * i }' \
  curve/6lyz00.int > lyz.dat
rm -rf curve

clean="sh -c 'rm -f *.log *.fit tessel_summary.txt'"
echo "load before: $(cat /proc/loadavg)"
for case in "3kfo.pdb nup133_23922_merge.dat" "3kfo-fill_model.pdb nup133_23922_merge.dat" "6lyz.pdb lyz.dat"; do
  echo "### $case"
  hyperfine -N --warmup 2 --runs "$runs" --prepare "$clean" --time-unit millisecond \
    "$tessel $case -cst" "$tessel $case --fit extended" 2>&1 | grep -E "Time|Range|±|faster|Benchmark" || true
  echo
done
echo "load after: $(cat /proc/loadavg)"
