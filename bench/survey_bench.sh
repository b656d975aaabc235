#!/usr/bin/env bash
# Speed of halvex on a survey of the shape of national airborne EM model releases: lines of
# 2,000 to 24,000 stations, one model every 12.5 m, 30 cells of 5 m (examples/make_model.py).
# Runs the survey sequentially (no -j) and with -j 1 .. -j N, and prints for each run the
# wall and processor seconds, the soundings (model records) per wall second, the time a
# 5.4-million-sounding survey would take at that rate, the soundings per processor second
# (the figure to read on a machine shared with other work) and the peak resident memory. Checks
# that every -j run wrote the same bytes (the sequential run carries its relaxation state
# from line to line, so its grids differ).
#
# Usage: bench/survey_bench.sh [build dir] [station counts, comma list, one per line]
#                              [-j N at most]
# Defaults: build; 12 lines, the longest first (61,000 soundings: under a minute on two
# idle cores, a few minutes on busy ones); the processors of the machine. A Release build.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
counts="${2:-24000,2000,4000,2000,8000,2000,3000,2000,4000,2000,6000,2000}"
max_jobs="${3:-$(nproc)}"
cmake --build "$build" --target halvex -j2 >/dev/null
halvex="$build/driver/halvex"
if [ ! -x /usr/bin/time ]; then
  echo "survey_bench: needs /usr/bin/time (Debian package time)" >&2
  exit 1
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
lines="$(awk -F, '{ print NF }' <<<"$counts")"
python3 "$here/examples/make_model.py" --lines "$lines" --stations "$counts" --spacing 12.5 --ndepth 30 \
  --cell 5 -o "$work/survey.mod"
soundings="$(grep -vc '^/' "$work/survey.mod")"

modes=(seq)
for ((j = 1; j <= max_jobs; j++)); do modes+=("$j"); done

printf 'halvex survey benchmark: %d lines (%s stations), %d soundings, 30 cells, %s processors\n' \
  "$lines" "$counts" "$soundings" "$(nproc)"
printf '  in %s (%s; another folder with TMPDIR=...)\n' "$work" "$(stat -f -c %T "$work")"
printf '  %-8s %8s %10s %12s %18s %14s %10s\n' "run" "wall s" "process s" "soundings/s" "5.4 M soundings" \
  "per process s" "peak MB"
for j in "${modes[@]}"; do
  dir="$work/run_$j"
  mkdir -p "$dir"
  ln -s "$work/survey.mod" "$dir/survey.mod"
  opt=()
  label="no -j"
  if [ "$j" != seq ]; then opt=(-j "$j"); label="-j $j"; fi
  (cd "$dir" && /usr/bin/time -f '%e %U %S %M' -o "$work/time_$j" "$halvex" "${opt[@]}" survey.mod 5 30 >/dev/null)
  read -r wall user sys rss <"$work/time_$j"
  awk -v l="$label" -v w="$wall" -v u="$user" -v s="$sys" -v r="$rss" -v n="$soundings" 'BEGIN {
    rate = n / (w > 0 ? w : 0.01)
    printf "  %-8s %8.2f %10.2f %12.0f %15.1f min %14.0f %10.1f\n", l, w, u + s, rate, 5.4e6 / rate / 60,
      n / (u + s > 0 ? u + s : 0.01), r / 1024 }'
done

for j in "${modes[@]}"; do
  if [ "$j" = seq ] || [ "$j" = 1 ]; then continue; fi
  for f in "$work/run_1"/*; do
    name="$(basename "$f")"
    cmp -s "$f" "$work/run_$j/$name" || { echo "survey_bench: -j $j wrote another $name than -j 1"; exit 1; }
  done
  [ "$(ls "$work/run_1" | wc -l)" = "$(ls "$work/run_$j" | wc -l)" ] ||
    { echo "survey_bench: -j $j wrote other files than -j 1"; exit 1; }
done
echo "every -j run wrote the same bytes"
if [ "$max_jobs" -ge 2 ]; then
  read -r w1 _ <"$work/time_1"
  read -r w2 _ <"$work/time_2"
  awk -v a="$w2" -v b="$w1" 'BEGIN { printf "ratio -j 2 / -j 1 wall: %.3f (target at most 0.55 on 2 idle cores)\n", a / b }'
fi
