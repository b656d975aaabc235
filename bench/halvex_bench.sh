#!/usr/bin/env bash
# The performance figures of a whole run: the halvex benchmark (20 lines x 400 stations
# x 64 cells: seconds per grid, node updates per second, share of time relaxing), then
# the minc versus gmt surface timing of one such line.
# Usage: bench/halvex_bench.sh [build dir]   (a Release build with the benchmarks)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
cmake --build "$build" --target halvex_bench halvex minc_cmd -j2 >/dev/null
"$build/bench/halvex_bench"
"$here/bench/gmt_compare.sh" "$build" 5
