#!/usr/bin/env bash
# Prints the Python 3 interpreter that has numpy, xarray and matplotlib: HALVEX_PYTHON
# when set, else the system's own (it has the Debian packages scripts/setup.sh
# installs), else python3 on PATH. Usage: py="$(scripts/python.sh)"
set -euo pipefail
for py in "${HALVEX_PYTHON:-}" /usr/bin/python3 "$(command -v python3 || true)"; do
  [ -n "$py" ] && [ -x "$py" ] || continue
  if "$py" -c "import numpy, xarray, matplotlib" 2>/dev/null; then
    echo "$py"
    exit 0
  fi
done
echo "python.sh: no Python 3 with numpy, xarray and matplotlib (run scripts/setup.sh)" >&2
exit 1
