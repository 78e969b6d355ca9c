"""The Python module built with CMake for `pip install .` (see pyproject.toml).

The version is the project's in CMakeLists.txt. SUSCEP_CMAKE_BUILD_DIR names
the CMake build folder to use (default: one in setuptools' build folder).
"""

import os
import pathlib
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

SOURCE = pathlib.Path(__file__).resolve().parent


def version():
    text = (SOURCE / "CMakeLists.txt").read_text()
    return re.search(r"project\(suscep VERSION ([0-9.]+)", text).group(1)


class CMakeBuild(build_ext):
    """Configures and builds the target suscep_python, then puts the module
    and its type stub where setuptools installs from."""

    def build_extension(self, ext):
        build = pathlib.Path(
            os.environ.get("SUSCEP_CMAKE_BUILD_DIR") or pathlib.Path(self.build_temp) / "cmake"
        ).resolve()
        options = [
            f"-DPython3_EXECUTABLE={sys.executable}",
            "-DCMAKE_BUILD_TYPE=Release",
            "-DBUILD_TESTING=OFF",
            "-DSUSCEP_BENCH=OFF",
        ]
        if shutil.which("ccache"):
            options.append("-DCMAKE_CXX_COMPILER_LAUNCHER=ccache")
        subprocess.run(["cmake", "-S", str(SOURCE), "-B", str(build), *options], check=True)
        jobs = str(os.cpu_count() or 2)
        subprocess.run(
            ["cmake", "--build", str(build), "--target", "suscep_python", "-j", jobs], check=True
        )
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        built = build / "python" / target.name
        if not built.exists():
            sys.exit(f"setup.py: CMake did not build {built} (see its messages above)")
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)
        shutil.copyfile(SOURCE / "python" / "suscep.pyi", target.parent / "suscep.pyi")


setup(
    version=version(),
    ext_modules=[Extension("suscep", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
)
