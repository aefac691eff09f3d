#!/bin/sh
# Writes a multi-model PDB file of perturbed copies of a real structure, as a stand-in for a
# molecular-dynamics trajectory: every frame turns the atoms on one side of the centre (x above
# the mean) about an axis parallel to z through the point 10 Å from the centre along y, by up to
# ±20° (a slow hinge that opens and closes the structure, angle 20°·sin(2π·f/97) in frame f),
# and adds independent Gaussian noise of σ Å to every coordinate. Waters are left out; the other atom lines keep their columns, with new x, y, z.
#
# Usage: bench/make_ensemble.sh structure.pdb frames [sigma=0.5] [seed=1] > ensemble.pdb
set -eu
[ $# -ge 2 ] || { echo "usage: $0 structure.pdb frames [sigma] [seed]" >&2; exit 1; }
awk -v frames="$2" -v sigma="${3:-0.5}" -v seed="${4:-1}" '
  /^(ATOM  |HETATM)/ && substr($0, 18, 3) != "HOH" && substr($0, 18, 3) != "WAT" {
    n++; line[n] = $0
    x[n] = substr($0, 31, 8) + 0; y[n] = substr($0, 39, 8) + 0; z[n] = substr($0, 47, 8) + 0
    cx += x[n]; cy += y[n]; cz += z[n]
  }
  /^ENDMDL/ { exit }
  # Box-Muller: one standard normal number.
  function gauss() { return sqrt(-2 * log(1 - rand())) * cos(6.283185307179586 * rand()) }
  END {
    if (n == 0) { print "no atom lines" > "/dev/stderr"; exit 1 }
    srand(seed)
    cx /= n; cy /= n; cz /= n
    for (f = 1; f <= frames; f++) {
      printf "MODEL     %4d\n", f
      angle = 20 * 3.141592653589793 / 180 * sin(6.283185307179586 * f / 97)
      c = cos(angle); s = sin(angle)
      for (i = 1; i <= n; i++) {
        px = x[i] - cx; py = y[i] - cy - 10
        if (px > 0) { t = c * px - s * py; py = s * px + c * py; px = t }
        py += 10
        printf "%s%8.3f%8.3f%8.3f%s\n", substr(line[i], 1, 30), px + cx + sigma * gauss(),
               py + cy + sigma * gauss(), z[i] + sigma * gauss(), substr(line[i], 55)
      }
      print "ENDMDL"
    }
    print "END"
  }' "$1"
