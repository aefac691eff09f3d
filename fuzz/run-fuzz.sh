#!/usr/bin/env bash
# Builds the libFuzzer targets with clang++ and runs each for a set time, one at a time, at the
# lowest priority. Usage (from anywhere):
#   fuzz/run-fuzz.sh [seconds per target, default 60] [target ...]
# Targets: fuzz_pdb fuzz_curve fuzz_save_file fuzz_options fuzz_format fuzz_mmcif (default: all).
# Build, seeds, corpora, crash artifacts and logs go to build-fuzz/ in the source tree; the
# corpora grow from run to run. Each input may take at most 1 s; a slower one is a finding.
# The machine is shared and the runs are niced, so wall time per input is noisy: libFuzzer
# reports every input slower than 1 s (saved as slow-unit-*) and stops only beyond 10 s; re-run
# a reported input alone to see whether it is really slow:  build-fuzz/fuzz/<target> <file>
set -euo pipefail

seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_pdb fuzz_curve fuzz_save_file fuzz_options fuzz_format fuzz_mmcif)

src=$(cd "$(dirname "$0")/.." && pwd)
build=$src/build-fuzz
data=$src/tests/data
cxx=${CXX:-clang++}

nice -n 19 cmake -S "$src" -B "$build" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTESSEL_FUZZ=ON -DTESSEL_BUILD_TESTS=OFF >/dev/null
nice -n 19 cmake --build "$build" -j2 --target "${targets[@]}" make_save_seeds

# ---- seeds --------------------------------------------------------------------------------
seeds=$build/fuzz-seeds

# (Pipes below read their input to the end: a reader that quits early would end the script.)
# A seed with a leading switch byte, then the text of a file (or a piece of it).
with_flag() {  # flag-byte-octal output-file < text
  { printf "\\$1"; cat; } >"$2"
}

make_pdb_seeds() {
  local out=$seeds/fuzz_pdb f name first
  mkdir -p "$out"
  for f in "$data"/*.pdb "$data"/*.ent; do
    name=$(basename "$f")
    head -c 4000 "$f" | with_flag 000 "$out/$name.head"
    first=$(grep -n -m1 -E '^(ATOM|HETATM)' "$f" | cut -d: -f1)
    sed -n "$first,$((first + 59))p" "$f" | with_flag 000 "$out/$name.atoms"
    sed -n "$first,$((first + 59))p" "$f" | with_flag 001 "$out/$name.atoms-h"
    sed -n "$first,$((first + 59))p" "$f" | with_flag 006 "$out/$name.atoms-old"
    tail -n 40 "$f" | with_flag 000 "$out/$name.tail"
  done
  # Models and chains (the NMR file) and an alpha-carbon-only stretch.
  grep -m 80 -E '^(MODEL|ATOM|ENDMDL|TER)' "$data/1l2y.pdb" | with_flag 000 "$out/models"
  grep -m 30 -E '^ATOM' "$data/1lzh.pdb" | with_flag 000 "$out/ca-only"
}

# mmCIF text (flag 0), gzip streams of mmCIF (1) and of PDB text (2), text compressed by the
# target itself (3); with explicit hydrogens (4), a model (8, 16) and a chain (32) chosen.
make_mmcif_seeds() {
  local out=$seeds/fuzz_mmcif f name tags
  mkdir -p "$out"
  for f in "$data"/*.cif; do
    name=$(basename "$f")
    tags=$(grep -n -m1 '^_atom_site\.' "$f" | cut -d: -f1)
    # A block with the table's tags and its first 40 rows; then the rows across the first
    # model's end (model 2 chosen).
    table() { echo data_seed; sed -n "$((tags - 1)),$((tags + 60))p" "$f"; }
    table | with_flag 000 "$out/$name.atoms"
    table | with_flag 054 "$out/$name.atoms-h-model-chain"
    table | with_flag 003 "$out/$name.atoms-compressed"
    table | gzip -c | with_flag 001 "$out/$name.atoms.gz"
    { echo data_seed; sed -n "$((tags - 1)),$((tags + 20))p" "$f"; sed -n "$((tags + 300)),$((tags + 330))p" "$f"; } |
      with_flag 020 "$out/$name.models"
    head -c 4000 "$f" | with_flag 000 "$out/$name.head"
  done
  grep -m 80 -E '^(MODEL|ATOM|ENDMDL|TER)' "$data/1l2y.pdb" | gzip -c | with_flag 002 "$out/pdb.gz"
  grep -m 30 -E '^ATOM' "$data/1lzh.pdb" | gzip -c | with_flag 006 "$out/ca-only.pdb.gz"
}

make_curve_seeds() {
  local out=$seeds/fuzz_curve
  mkdir -p "$out"
  with_flag 000 "$out/nup133" <"$data/nup133_23922_merge.dat"
  sed -n 1,60p "$data/nup133_23922_merge.dat" | with_flag 003 "$out/nup133.head"
  awk '/^ *[0-9]/ && n++ < 40 {print $1, $2}' "$data/nup133_23922_merge.dat" |
    with_flag 000 "$out/two-columns"
}

make_save_seeds() {
  "$build/fuzz/make_save_seeds" "$seeds/fuzz_save_file" >/dev/null
}

# Arguments as the target reads them: each ended by a NUL.
argv() { printf '%s\0' "$@"; }

make_option_seeds() {
  local out=$seeds/fuzz_options
  mkdir -p "$out"
  # The examples of the help text, then options in their spellings.
  argv 6lyz.pdb -lm 20 >"$out/help-1"
  argv mod1.pdb mod2.pdb exp.dat -un 2 >"$out/help-2"
  argv lyz1.sav lyz2.sav lyzexp.dat >"$out/help-3"
  argv -h >"$out/help"
  argv --version >"$out/version"
  argv 6lyz.pdb -sm=0.3 -ns 101 -fb 18 -dns ' 0.334 ' -dro -0.01 >"$out/values"
  argv 3hfm.pdb -cid _Y -nmr ' 2' -p out -err=N -kp -cst -eh -old >"$out/flags"
  argv /data/6lyz.pdb -- -odd.pdb /lm 10 >"$out/paths"
  argv - --prefix=run --nosmy --def >"$out/stdin"
}

make_format_seeds() {
  local out=$seeds/fuzz_format n=0 fmt
  mkdir -p "$out"
  # Values: buffer length 80, the integer 42, the real 0.5, the text "lyz", the real 1234.5,
  # the integer -7.
  local values='\x50\x00\x2a\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\xe0\x3f'
  values+='\x02\x03lyz\x04\x00\x00\x00\x00\x00\x4a\x93\x40\x03\xf9\xff\xff\xff\xff\xff\xff\xff'
  while IFS= read -r fmt; do
    n=$((n + 1))
    { printf '%s' "$fmt"; printf '\0'; printf "$values"; } >"$out/format-$n"
  done < <({ grep -rhoE '"\((\\.|[^"\\])*\)"' "$src/src" "$src/tests/unit/fortran_format_test.cpp"
             echo '"(5E14.6)"'; echo '"(1PG24.4)"'; echo '"(2(I3,:,1X),/,T5,TL2,TR3,F0.2,$)"'; } |
           sed -e 's/^"//' -e 's/"$//' | sort -u)
}

[ -d "$seeds/fuzz_pdb" ] || make_pdb_seeds
[ -d "$seeds/fuzz_curve" ] || make_curve_seeds
[ -d "$seeds/fuzz_save_file" ] || make_save_seeds
[ -d "$seeds/fuzz_options" ] || make_option_seeds
[ -d "$seeds/fuzz_format" ] || make_format_seeds
[ -d "$seeds/fuzz_mmcif" ] || make_mmcif_seeds

# ---- runs ---------------------------------------------------------------------------------
max_len() {
  case $1 in
    fuzz_pdb | fuzz_mmcif) echo 8192 ;;
    fuzz_curve) echo 24576 ;;
    *) echo 4096 ;;
  esac
}

summary=()
for t in "${targets[@]}"; do
  corpus=$build/fuzz-corpus/$t
  artifacts=$build/fuzz-artifacts/$t
  log=$build/fuzz-logs/$t.log
  mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"
  echo "== $t: $seconds s"
  start=$(date +%s)
  status=0
  dict=()
  [ -f "$src/fuzz/$t.dict" ] && dict=(-dict="$src/fuzz/$t.dict")
  nice -n 19 "$build/fuzz/$t" -max_total_time="$seconds" -timeout=10 -report_slow_units=1 \
    -rss_limit_mb=2048 \
    -max_len="$(max_len "$t")" -print_final_stats=1 -artifact_prefix="$artifacts/" "${dict[@]}" \
    "$corpus" "$seeds/$t" >"$log" 2>&1 || status=$?
  elapsed=$(($(date +%s) - start))
  runs=$(grep -oE 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -oE '[0-9]+$' || echo '?')
  summary+=("$t: ${elapsed} s, ${runs} executions, exit status ${status}")
  if [ "$status" -ne 0 ]; then
    echo "   finding: see $log and $artifacts/"
    grep -m 3 -E 'ERROR|SUMMARY|deadly|timeout' "$log" | sed 's/^/   /' || true
  fi
  if grep -q 'Slowest unit' "$log"; then
    echo "   inputs slower than 1 s:"
    grep 'Slowest unit' "$log" | sed 's/^/   /'
  fi
done

echo "== summary"
printf '%s\n' "${summary[@]}"
