#!/usr/bin/env bash
# Times the four grids of one 400-station line through minc against gmt surface -T0
# (see bench/gmt_compare.py). Usage: bench/gmt_compare.sh [build dir] [repeats]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
repeat="${2:-5}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$("$here/scripts/python.sh")" "$here/bench/gmt_compare.py" --halvex "$build/driver/halvex" --minc "$build/cli/minc" \
  --model-script "$here/examples/make_model.py" --work "$work" --repeat "$repeat"
