"""Shared fixtures: the built programs, a halvex run on the example model, and grids
written by the minc command.

The programs come from the build tree named by HALVEX_BUILD_DIR (default: build/ in the
source tree); the library from HALVEX_LIBMINC or the package's own search.
"""
import os
import shutil
import subprocess
import sys

import numpy as np
import pytest

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.environ.get("HALVEX_BUILD_DIR", os.path.join(SOURCE, "build"))
PYTHON_DIR = os.path.join(SOURCE, "python")
if PYTHON_DIR not in sys.path:
    sys.path.insert(0, PYTHON_DIR)

DUMMY_BYTES = bytes.fromhex("aec59df4")  # -1.0E32 as the writers store it


def program(*parts):
    path = os.path.join(BUILD, *parts)
    if not os.access(path, os.X_OK):
        pytest.fail("%s not built (HALVEX_BUILD_DIR=%s)" % (path, BUILD))
    return path


@pytest.fixture(scope="session")
def example_run(tmp_path_factory):
    """A folder holding halvex's output for examples/survey.mod (cell 5 m, 64 cells)."""
    work = tmp_path_factory.mktemp("example")
    shutil.copy(os.path.join(SOURCE, "examples", "survey.mod"), work)
    subprocess.run([program("driver", "halvex"), "survey.mod", "5", "64"], cwd=work, check=True,
                   stdout=subprocess.DEVNULL)
    return work


def scattered(n=120, seed=7, xmax=50.0, ymax=30.0):
    """n points of a smooth field, as float32 arrays x, y, z."""
    rng = np.random.default_rng(seed)
    x = rng.uniform(0.0, xmax, n).astype(np.float32)
    y = rng.uniform(0.0, ymax, n).astype(np.float32)
    z = (20.0 * np.sin(x / 7.0) * np.cos(y / 5.0) + 0.5 * x + 40.0).astype(np.float32)
    return x, y, z


def write_xyz(path, x, y, z):
    """Text the minc command reads back to the same 32-bit reals (9 significant digits)."""
    with open(path, "w") as f:
        f.write("# x y z\n")
        for a, b, c in zip(x, y, z):
            f.write("%.9g %.9g %.9g\n" % (a, b, c))


def run_minc(work, name, points, *options):
    """Grids points (x, y, z) with the minc command in `work` into `name`; returns the path."""
    xyz = os.path.join(work, name + ".xyz")
    write_xyz(xyz, *points)
    subprocess.run([program("cli", "minc"), "-q", "-o", name, *options, xyz], cwd=work, check=True)
    return os.path.join(work, name)
