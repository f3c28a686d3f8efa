"""Builds the extension of the Python module through the project's CMake.

pyproject.toml holds the package's description; this file adds the one
step setuptools cannot do by itself: configure the project (the module on,
the tests off), build the target _pulsation with the libraries under it, and
put the extension into the package.  The version is the program's.
"""

import os
import pathlib
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

top = pathlib.Path(__file__).resolve().parent


def program_version():
    text = (top / "modern" / "prewhiten" / "options.hpp").read_text()
    return re.search(r'program_version = "([^"]+)"', text).group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = pathlib.Path(self.build_temp).resolve() / "cmake"
        subprocess.run(["cmake", "-S", str(top), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                        "-DBUILD_TESTING=OFF", "-DSUITE_PYTHON=ON", f"-DPython_EXECUTABLE={sys.executable}"],
                       check=True)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", str(os.cpu_count() or 1))
        subprocess.run(["cmake", "--build", str(build), "--target", "_pulsation", "-j", jobs], check=True)
        built = next((build / "python" / "pulsation").glob("_pulsation*.so"))
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)


setup(version=program_version(),
      ext_modules=[Extension("pulsation._pulsation", sources=[])],
      cmdclass={"build_ext": CMakeBuild})
