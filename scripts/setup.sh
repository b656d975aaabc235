#!/usr/bin/env bash
# Installs what the build, the tests and the benchmarks need, when it is missing.
# Idempotent: a second run installs nothing.
set -euo pipefail
need=()
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
for p in g++ cmake make libgtest-dev libbenchmark-dev clang libclang-rt-14-dev python3 gmt gmt-gshhg-low; do
  have_pkg "$p" || need+=("$p")
done
if ((${#need[@]})); then
  echo "setup: installing ${need[*]}"
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq "${need[@]}"
fi
