#!/bin/sh
# Peak memory of whole runs on structures of 1e5, 1e6 and 1e7 identical atoms, all at one point
# (a model of zero extent). The structure is streamed through the program in batches, so the
# peak resident set must stay flat as the atom count grows.
#
# Usage: bench/identical_atoms_memory.sh [path/to/tessel] [counts...]
# Needs /usr/bin/time (Debian package "time"). The 1e7 structure takes 790 MB of disk in a
# temporary directory, removed at the end. Not run by CI.
set -eu

tessel=$(realpath "${1:-build/tessel}")
[ $# -gt 0 ] && shift
counts=${*:-100000 1000000 10000000}

[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (apt-get install time)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

printf '%10s  %14s  %10s  %s\n' atoms "peak RSS (KiB)" "wall (s)" status
for n in $counts; do
  # Oxygen atoms of alanine residues, four to a residue, every one at the origin.
  awk -v n="$n" 'BEGIN {
    for (i = 0; i < n; i++)
      printf "ATOM  %5d  O   ALA A%4d       0.000   0.000   0.000  1.00 20.00           O\n",
             i % 100000, int(i / 4) % 10000
  }' > "$work/same.pdb"
  (cd "$work" && /usr/bin/time -v "$tessel" same.pdb -nosmy > run.out 2> time.txt) && status=0 || status=$?
  rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt")
  wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/time.txt")
  printf '%10s  %14s  %10s  %s\n' "$n" "$rss" "$wall" "$status"
  rm -f "$work"/same*
done
