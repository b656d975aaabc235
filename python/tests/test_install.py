"""The package as users install it: the README's Python steps run as they stand, in a fresh
environment made from the system's Python with no variable pointing at the library; and
cmake --install into a fresh prefix, imported from there."""
import os
import re
import shutil
import subprocess
import sys

import halvex
from conftest import BUILD, SOURCE, program


def readme_steps():
    text = open(os.path.join(SOURCE, "README.md"), encoding="utf-8").read()
    m = re.search(r"<!-- python/tests/test_install.py runs the next block as it stands -->\n```sh\n(.*?)```",
                  text, re.DOTALL)
    assert m, "README.md has no marked block of Python steps"
    return m.group(1)


def clean_env(**extra):
    env = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "HALVEX_LIBMINC", "VIRTUAL_ENV")}
    env.update(PIP_NO_INDEX="1", PIP_DISABLE_PIP_VERSION_CHECK="1", MPLBACKEND="Agg", **extra)
    return env


def test_readme_python_steps(tmp_path):
    """In a copy of the source tree holding the example's output, with HOME in the scratch
    folder: the block runs to the end and every step did its work."""
    tree = tmp_path / "halvex"
    shutil.copytree(SOURCE, tree, ignore=shutil.ignore_patterns(".git", "build*", "example-output", "*.egg-info",
                                                                 "__pycache__"))
    os.mkdir(tree / "example-output")
    shutil.copy(os.path.join(SOURCE, "examples", "survey.mod"), tree / "example-output")
    subprocess.run([program("driver", "halvex"), "survey.mod", "5", "64"], cwd=tree / "example-output",
                   check=True, stdout=subprocess.DEVNULL)
    (tmp_path / "home").mkdir()
    (tmp_path / "steps.sh").write_text(readme_steps())
    r = subprocess.run(["bash", "-e", str(tmp_path / "steps.sh")], cwd=tree, capture_output=True, text=True,
                       env=clean_env(HOME=str(tmp_path / "home")))
    assert r.returncode == 0, r.stdout + r.stderr
    venv = str(tmp_path / "home" / "halvex-env")
    assert re.search(r"^halvex %s, libminc %s \(%s/\S+/halvex/libminc.so\)$" % (
        re.escape(halvex.__version__), re.escape(halvex.__version__), re.escape(venv)), r.stdout, re.MULTILINE)
    assert "log10(ohm m)" in r.stdout and "iterations:" in r.stdout and "(y: 11, x: 11)" in r.stdout
    assert open(tree / "1021_logres.nc", "rb").read(4) == b"\x89HDF"
    assert open(tree / "1021_logres.png", "rb").read(4) == b"\x89PNG"


def test_cmake_install_carries_the_package(tmp_path):
    """The prefix's package finds the prefix's library, also after the tree has moved."""
    subprocess.run(["cmake", "--install", BUILD, "--prefix", str(tmp_path / "first")], check=True,
                   stdout=subprocess.DEVNULL)
    os.rename(tmp_path / "first", tmp_path / "moved")
    site = tmp_path / "moved" / "lib" / "python3" / "site-packages"
    code = ("import halvex; g = halvex.grid([1, 4, 2], [1, 2, 4], [1, 2, 3], region=(0, 5, 0, 5), spacing=1);"
            "print(halvex.__file__); print(halvex.gridding.library_version()[1]); print(g.shape)")
    r = subprocess.run([sys.executable, "-c", code], cwd=tmp_path, capture_output=True, text=True,
                       env=clean_env(PYTHONPATH=str(site)))
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == [str(site / "halvex" / "__init__.py"),
                                     str(tmp_path / "moved" / "lib" / "libminc.so.0"), "(6, 6)"]


def test_one_release_number():
    cmake = open(os.path.join(SOURCE, "CMakeLists.txt")).read()
    assert re.search(r"^project\(halvex VERSION (\S+)", cmake, re.MULTILINE).group(1) == halvex.__version__
    assert halvex.gridding.library_version()[0] == halvex.__version__
