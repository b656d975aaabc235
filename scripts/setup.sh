#!/usr/bin/env bash
# Installs what the build, the tests and the benchmarks need, when it is missing.
# Idempotent: a second run installs nothing.
set -euo pipefail
need=()
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
for p in g++ cmake make pkg-config libgtest-dev libbenchmark-dev clang libclang-rt-14-dev python3 gmt gmt-gshhg-low \
         python3-numpy python3-xarray python3-matplotlib python3-netcdf4 python3-rasterio \
         python3-gdal gdal-bin python3-vtk9 python3-pyproj xvfb python3-pytest python3-venv python3-pip python3-setuptools python3-wheel; do
  have_pkg "$p" || need+=("$p")
done
if ((${#need[@]})); then
  echo "setup: installing ${need[*]}"
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq -o DPkg::Lock::Timeout=600
  $SUDO apt-get install -y -qq -o DPkg::Lock::Timeout=600 "${need[@]}"
fi
