"""The package installs with pip, offline, into a virtual environment that uses the
system's numpy, xarray and matplotlib."""
import os
import shutil
import subprocess
import sys

from conftest import PYTHON_DIR


def test_pip_install_into_a_venv(tmp_path, example_run):
    source = tmp_path / "src"  # a copy, so the build leaves nothing in the checkout
    shutil.copytree(PYTHON_DIR, source, ignore=shutil.ignore_patterns("__pycache__", "build", "*.egg-info"))
    venv = tmp_path / "venv"
    # The system's pip installs into the environment (--python): the same pip the
    # environment would bring, without the seconds of copying it in.
    subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", "--without-pip", str(venv)],
                   check=True)
    py = str(venv / "bin" / "python")
    env = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    env.update(PIP_NO_INDEX="1", PIP_DISABLE_PIP_VERSION_CHECK="1")
    subprocess.run([sys.executable, "-m", "pip", "--python", py, "install", "-q", "--no-build-isolation",
                    str(source)], check=True, env=env, cwd=tmp_path)
    where = subprocess.run([py, "-c", "import halvex; print(halvex.__file__, halvex.__version__)"],
                           check=True, env=env, cwd=tmp_path, capture_output=True, text=True).stdout.split()
    assert where[0].startswith(str(venv)) and where[1] == "0.2.0"
    r = subprocess.run([py, "-m", "halvex", "info", os.path.join(example_run, "1001_res.grd")],
                       env=env, cwd=tmp_path, capture_output=True, text=True)
    assert r.returncode == 0 and "ohm m" in r.stdout, r.stderr
