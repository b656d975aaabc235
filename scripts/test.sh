#!/usr/bin/env bash
# Set up, build and run every test: Release with warnings as errors, then again under
# AddressSanitizer and UndefinedBehaviorSanitizer, then the fuzz targets briefly.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/setup.sh"
jobs="$(nproc)"

"$here/scripts/build.sh" "$here/build-test" -DWERROR=ON -DHALVEX_BUILD_BENCH=ON
(cd "$here/build-test" && ctest --output-on-failure -j "$jobs")

"$here/scripts/build.sh" "$here/build-asan" -DCMAKE_BUILD_TYPE=Debug -DSANITIZE="address;undefined" \
  -DHALVEX_BUILD_BENCH=OFF
(cd "$here/build-asan" && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j "$jobs")

if [ -x "$here/tests/fuzz/run.sh" ]; then
  "$here/tests/fuzz/run.sh" "$here/build-fuzz"
fi
echo "all tests passed"
