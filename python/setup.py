"""The package's build step: builds libminc.so from the source tree this folder lies in
(CMake, the compiler; the target minc alone, Release as scripts/build.sh builds it) and
copies it into the package, so that the installed package carries its library.

The package's version must be the source tree's release (project() in CMakeLists.txt);
the build stops when they differ.
"""
import glob
import os
import re
import shutil
import subprocess

from setuptools import setup
from setuptools.command.build_py import build_py
from setuptools.dist import Distribution

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def _release(path, pattern):
    with open(path, encoding="utf-8") as f:
        m = re.search(pattern, f.read(), re.MULTILINE)
    return m.group(1) if m else None


class BuildWithLibrary(build_py):
    def run(self):
        super().run()
        top = os.path.join(ROOT, "CMakeLists.txt")
        if not os.path.exists(os.path.join(ROOT, "minc", "CMakeLists.txt")):
            raise SystemExit("halvex: build the package from the halvex source tree (pip install ./python);"
                             " %s has no minc/ beside python/" % ROOT)
        tree = _release(top, r"^project\(halvex VERSION (\S+)")
        package = _release(os.path.join(HERE, "halvex", "__init__.py"), r'^__version__ = "([^"]+)"')
        if tree != package:
            raise SystemExit("halvex: the package's version %s is not the library's %s" % (package, tree))
        work = os.path.join(os.path.abspath(self.build_lib), "..", "libminc-build")
        subprocess.run(["cmake", "-S", ROOT, "-B", work, "-DCMAKE_BUILD_TYPE=Release",
                        "-DHALVEX_BUILD_TESTS=OFF", "-DHALVEX_BUILD_BENCH=OFF"], check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", work, "--target", "minc", "-j", str(os.cpu_count() or 1)], check=True,
                       stdout=subprocess.DEVNULL)
        built = glob.glob(os.path.join(work, "minc", "libminc.so.*.*.*"))
        if len(built) != 1:
            raise SystemExit("halvex: the library build left %s" % (built or "no libminc.so"))
        shutil.copyfile(built[0], os.path.join(self.build_lib, "halvex", "libminc.so"))


class BinaryDistribution(Distribution):
    def has_ext_modules(self):
        return True  # the package carries a compiled library: the wheel is for this platform


setup(cmdclass={"build_py": BuildWithLibrary}, distclass=BinaryDistribution)
