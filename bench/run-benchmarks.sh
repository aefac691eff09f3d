#!/bin/sh
# Whole runs of the built program, timed from process start to exit with hyperfine (Debian package
# "hyperfine"), and their peak resident memory with /usr/bin/time (package "time"):
#   - lysozyme (6lyz) predicted at the defaults;
#   - lysozyme fitted at the defaults to a 500-point curve made from its own prediction (3 % errors
#     and a ±2 % ripple, so that the fit has something to do);
#   - the Nup133 model (3kfo-fill_model, 2,400 atoms) fitted to its measured curve at the defaults;
#   - a structure of 100,100 atoms (100 copies of lysozyme side by side) at the defaults and at
#     -lm 50 -ns 501 -sm 1.0;
#   - 100 structures (copies of lysozyme) in one batch run;
#   - a 500,000-atom mmCIF assembly (bench/make_assembly.py: 500 lysozyme chains with
#     two-character ids, serial and residue numbers past the PDB columns) at the defaults, with
#     its peak memory; with TESSEL_BENCH=path/to/tessel_bench also the reading alone (parse,
#     pre-pass and record batches: BM_MmcifAssembly*) on the same file;
# and the peak memory and page faults of the defaults on 1, 10 and 100 copies of lysozyme (a
# run whose heap misses its huge pages shows several hundred more faults).
#
# Usage: bench/run-benchmarks.sh [path/to/tessel [path/to/other/tessel]]
# With a second program both are timed side by side in the same runs (before and after a change).
# The machine is often shared: the script prints the load average before and after, and hyperfine
# reports the spread; compare only figures taken in the same run of the script.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
data="$here/../tests/data"
tessel=$(realpath "${1:-build/tessel}")
other=""
[ $# -gt 1 ] && other=$(realpath "$2")

command -v hyperfine > /dev/null || { echo "needs hyperfine (apt-get install hyperfine)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (apt-get install time)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cp "$data/6lyz.pdb" "$data/3kfo-fill_model.pdb" "$data/nup133_23922_merge.dat" .

# Copies of lysozyme's atoms (waters left out) on an nx × ny × nz lattice of 45 Å, about its centre.
replicate() {
  awk -v nx="$1" -v ny="$2" -v nz="$3" '
    /^(ATOM  |HETATM)/ && substr($0, 18, 3) != "HOH" { line[++n] = $0 }
    END {
      for (i = 0; i < nx; i++) for (j = 0; j < ny; j++) for (k = 0; k < nz; k++) {
        dx = (i - (nx - 1) / 2) * 45; dy = (j - (ny - 1) / 2) * 45; dz = (k - (nz - 1) / 2) * 45
        for (a = 1; a <= n; a++) {
          l = line[a]
          printf "%s%8.3f%8.3f%8.3f%s\n", substr(l, 1, 30), substr(l, 31, 8) + dx,
                 substr(l, 39, 8) + dy, substr(l, 47, 8) + dz, substr(l, 55)
        }
      }
      print "END"
    }' 6lyz.pdb
}
# The lysozyme curve: s and the intensity of a 500-point prediction up to 0.5 1/Å.
mkdir curve
(cd curve && "$tessel" ../6lyz.pdb -ns 501 -sm 0.5 > /dev/null)
awk 'NF == 5 && $1 + 0 > 0 { i = $2 * (1 + 0.02 * sin(NR * 1.7)); printf "%e %e %e\n", $1, i, 0.03 * i }' \
  curve/6lyz00.int > lyz.dat
rm -rf curve
replicate 5 5 4 > big.pdb
replicate 5 2 1 > ten.pdb
mkdir batch
for i in $(seq -w 1 100); do cp 6lyz.pdb "batch/lyz$i.pdb"; done
echo "structure of $(grep -c '^ATOM\|^HETATM' big.pdb) atoms; $(ls batch | wc -l) structures in the batch"
python3 "$here/make_assembly.py" "$data/6lyz.cif" 500000 assembly.cif

clean="sh -c 'rm -f *.log *.int *.alm *.fit *.flm *.sav tessel_summary.txt batch/*.log batch/*.int batch/*.alm'"

# time NAME RUNS ARGS...: the program (and the other one) on the same arguments.
time_case() {
  name=$1
  runs=$2
  shift 2
  set -- "$tessel $*" ${other:+"$other $*"}
  echo "### $name"
  if hyperfine -N --warmup 1 --runs "$runs" --prepare "$clean" --time-unit millisecond \
      --export-markdown "$name.md" "$@" > hyperfine.out 2>&1; then
    cat "$name.md"
  else
    cat hyperfine.out
  fi
  echo
}

# memory NAME ARGS...: peak resident set of one run.
memory() {
  name=$1
  shift
  sh -c "$clean"
  for program in "$tessel" ${other:+"$other"}; do
    /usr/bin/time -v "$program" "$@" > run.out 2> time.txt || true
    rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' time.txt)
    faults=$(sed -n 's/.*Minor (reclaiming a frame) page faults: //p' time.txt)
    echo "$name: $program: peak RSS $rss KiB, $faults page faults"
  done
}

echo "load before: $(cat /proc/loadavg)"
time_case lysozyme-prediction 30 6lyz.pdb
time_case lysozyme-fit 20 6lyz.pdb lyz.dat
time_case nup133-fit 20 3kfo-fill_model.pdb nup133_23922_merge.dat
time_case 100k-atoms-defaults 5 big.pdb
time_case 100k-atoms-L50-501-points 2 big.pdb -lm 50 -ns 501 -sm 1.0
(cd batch && time_case 100-structures 3 lyz*.pdb)
time_case 500k-atoms-mmcif-defaults 5 assembly.cif
if [ -n "${TESSEL_BENCH:-}" ]; then
  echo "### reading alone (parse, pre-pass, record batches)"
  TESSEL_ASSEMBLY=assembly.cif "$TESSEL_BENCH" --benchmark_filter=BM_MmcifAssembly
fi
memory "lysozyme (1,001 atoms)" 6lyz.pdb
memory "10 copies (10,010 atoms)" ten.pdb
memory "100 copies (100,100 atoms)" big.pdb
memory "500,000-atom mmCIF assembly" assembly.cif
echo "load after: $(cat /proc/loadavg)"
