#!/usr/bin/env bash
# Set up, build in Release and run halvex on the bundled example in a fresh folder.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/setup.sh"
"$here/scripts/build.sh" "$here/build" -DHALVEX_BUILD_TESTS=OFF -DHALVEX_BUILD_BENCH=OFF
out="$here/example-output"
rm -rf "$out"; mkdir -p "$out"
cp "$here/examples/survey.mod" "$out/"
cd "$out"
"$here/build/driver/halvex" survey.mod 5 64
# The sections of every line as pictures beside their grids (LINE_QUANTITY.png).
PYTHONPATH="$here/python" "$("$here/scripts/python.sh")" -m halvex sections "$out" -q
echo "example output in $out:"; ls "$out"
