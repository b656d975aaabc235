#!/usr/bin/env bash
# Wall time of a whole halvex run by number of gridding threads: a survey of 20 lines x
# 400 stations x 64 cells of 5 m (examples/make_model.py), converted without -j (the
# sequential run) and with -j 1, -j 2, ... up to the processors of the machine, in
# alternating rounds; each figure is the fastest of its rounds. Prints the times, the
# ratios to -j 1 (the target for -j 2 on two cores is at most 0.55) and checks that
# every -j run left the same bytes.
# Usage: bench/jobs_bench.sh [build dir] [rounds]   (a Release build)
# The run folders are made under TMPDIR. File creation is part of the record loop's
# work, and its cost depends on the file system: on an ext4 without a journal it grows
# with the files deleted in the last minutes, so runs right after other benchmarks
# or tests in the same file system run slower there (TMPDIR=/dev/shm avoids it).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
rounds="${2:-3}"
cmake --build "$build" --target halvex -j2 >/dev/null
halvex="$build/driver/halvex"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
python3 "$here/examples/make_model.py" --lines 20 --stations 400 -o "$work/survey.mod"

cores="$(nproc)"
jobs=(seq 1)
for j in 2 4 8 16 32 64; do
  if [ "$j" -le "$cores" ]; then jobs+=("$j"); fi
done

declare -A best
for ((r = 1; r <= rounds; r++)); do
  for j in "${jobs[@]}"; do
    # A fresh folder per run, none removed before the end: removing the last round's
    # files just before a run would time the file system's clean-up instead (ext4
    # without a journal scans its recently freed inodes on every file it creates).
    dir="$work/run_${j}_$r"
    mkdir -p "$dir"
    ln -s "$work/survey.mod" "$dir/survey.mod"
    opt=()
    if [ "$j" != seq ]; then opt=(-j "$j"); fi
    start="$(date +%s.%N)"
    (cd "$dir" && "$halvex" "${opt[@]}" survey.mod 5 64 >/dev/null)
    end="$(date +%s.%N)"
    t="$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')"
    if [ -z "${best[$j]:-}" ] || awk -v t="$t" -v b="${best[$j]}" 'BEGIN { exit !(t < b) }'; then
      best[$j]="$t"
    fi
  done
done

for j in "${jobs[@]}"; do
  if [ "$j" = seq ] || [ "$j" = 1 ]; then continue; fi
  for f in "$work/run_1_$rounds"/*; do
    name="$(basename "$f")"
    cmp -s "$f" "$work/run_${j}_$rounds/$name" || { echo "jobs_bench: -j $j wrote another $name than -j 1"; exit 1; }
  done
done

echo "halvex, 20 lines x 400 stations x 64 cells, $cores processors, fastest of $rounds rounds"
echo "  in $work ($(stat -f -c %T "$work"); another folder with TMPDIR=...)"
printf '  %-12s %9s %14s\n' "threads" "seconds" "ratio to -j 1"
for j in "${jobs[@]}"; do
  label="-j $j"
  if [ "$j" = seq ]; then label="no -j"; fi
  awk -v l="$label" -v t="${best[$j]}" -v one="${best[1]}" 'BEGIN { printf "  %-12s %9.2f %14.3f\n", l, t, t / one }'
done
if [ -n "${best[2]:-}" ]; then
  awk -v two="${best[2]}" -v one="${best[1]}" \
    'BEGIN { printf "ratio -j 2 / -j 1: %.3f (target at most 0.55 on 2 cores)\n", two / one }'
fi
