#!/usr/bin/env bash
# Builds every tests/fuzz/*_fuzz.cpp as a libFuzzer target (clang, with AddressSanitizer
# and UndefinedBehaviorSanitizer) and runs each briefly from its seed corpus
# tests/fuzz/<name>_corpus/ (copied, so the source tree is never written).
#   tests/fuzz/run.sh <build-dir> [runs] [seconds]
# Each target runs `runs` inputs (default 30000) or `seconds` (default 30), whichever
# ends first: a target that does file work per input stays brief too.
# Exits non-zero when a target fails to build or the fuzzer finds a crash.
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
out="$(mkdir -p "$1" && cd "$1" && pwd)"
runs="${2:-30000}"
seconds="${3:-30}"
CXX="${FUZZ_CXX:-clang++}"
flags=(-std=c++20 -O1 -g -pthread -ffp-contract=off -fno-omit-frame-pointer
       -I"$here/gridout/include" -I"$here/minc/include" -I"$here/minc" -I"$here/driver")
# The library's stages lie in one folder per part, each on the include path.
for part in "$here"/minc/*/; do
  [ "$(basename "$part")" = include ] || flags+=(-I"${part%/}")
done

# The libraries once, instrumented for coverage but without the fuzzer's main().
objdir="$out/objects"
mkdir -p "$objdir"
objects=()
for src in "$here"/gridout/*.cpp "$here"/minc/*/*.cpp "$here"/driver/*.cpp; do
  name="$(basename "$src" .cpp)"
  case "$name" in main|c_api*) continue ;; esac
  dir="$(basename "$(dirname "$src")")"
  obj="$objdir/${dir}_${name}.o"
  # The vectorised sweep's units carry their instruction set's flags (as in minc/CMakeLists.txt).
  isa=()
  case "$name" in
    skewed_sweep_avx2) isa=(-mavx2) ;;
    skewed_sweep_avx512) isa=(-mavx512f -mavx512dq -mavx512bw -mavx512vl) ;;
  esac
  if [ ! -f "$obj" ] || [ "$src" -nt "$obj" ] || [ -n "$(find "$(dirname "$src")" -name '*.hpp' -newer "$obj" -print -quit)" ]; then
    "$CXX" "${flags[@]}" "${isa[@]}" -fsanitize=fuzzer-no-link,address,undefined -c "$src" -o "$obj"
  fi
  objects+=("$obj")
done

status=0
for target in "$here"/tests/fuzz/*_fuzz.cpp; do
  name="$(basename "$target" .cpp)"
  exe="$out/$name"
  "$CXX" "${flags[@]}" -fsanitize=fuzzer,address,undefined "$target" "${objects[@]}" -o "$exe"
  corpus="$out/${name%_fuzz}_corpus"
  rm -rf "$corpus"; mkdir -p "$corpus"
  seeds="$here/tests/fuzz/${name%_fuzz}_corpus"
  if [ -d "$seeds" ]; then cp "$seeds"/* "$corpus"/ 2>/dev/null || true; fi
  echo "fuzz: $name, $runs inputs or $seconds s"
  mkdir -p "$out/tmp"
  if ! (cd "$out" && TMPDIR="$out/tmp" UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        "$exe" -runs="$runs" -max_total_time="$seconds" -max_len=8192 -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 "$corpus" \
        >"$out/$name.log" 2>&1); then
    echo "fuzz: $name FAILED, see $out/$name.log"; tail -40 "$out/$name.log"; status=1
  else
    grep -E "^(Done|stat::number_of_executed_units)" "$out/$name.log" || true
  fi
done
exit $status
