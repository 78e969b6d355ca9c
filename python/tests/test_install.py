"""The installs of docs/python.md, each then imported by that Python alone:
`pip install .` into a venv, `cmake --install` into a venv and into the
user site. The pip install builds the module again (in a folder of the
build tree kept from run to run); the others install the built one."""

import os
import pathlib
import shutil
import subprocess
import sys

from conftest import SOURCE

BUILD = pathlib.Path(os.environ.get("SUSCEP_BUILD_DIR", SOURCE / "build"))
VERSION = f"python{sys.version_info.major}.{sys.version_info.minor}"
CHECK = """
import importlib.metadata, pathlib, suscep
print(suscep.__file__)
print(pathlib.Path(suscep.__file__).with_name("suscep.pyi").is_file())
print(importlib.metadata.version("suscep") == suscep.__version__)
"""


def environment(**extra):
    env = {k: v for k, v in os.environ.items() if not k.startswith(("PYTHON", "VIRTUAL_ENV"))}
    return {**env, **extra}


def run(command, **options):
    done = subprocess.run([str(c) for c in command], capture_output=True, text=True, check=False,
                          **options)
    assert done.returncode == 0, done.stdout + done.stderr
    return done.stdout


def make_venv(path):
    run([sys.executable, "-m", "venv", "--system-site-packages", path], env=environment())
    return path / "bin" / "python"


def imported(python, cwd, **env):
    """Where `python` finds the module, whether its stub is beside it, and
    whether its metadata gives its version (when it has any)."""
    out = run([python, "-c", CHECK], cwd=cwd, env=environment(**env)).splitlines()
    return pathlib.Path(out[0]), out[1] == "True", out[2] == "True"


def copy_of_the_source(to):
    """The source tree without build folders, at a place kept from run to run
    (so that ccache knows its files)."""
    shutil.rmtree(to, ignore_errors=True)

    def ignored(folder, names):
        top = pathlib.Path(folder) == SOURCE
        return [n for n in names if n in ("__pycache__", ".git") or n.endswith(".egg-info")
                or (top and n.startswith("build"))]

    shutil.copytree(SOURCE, to, ignore=ignored, symlinks=True)
    return to


def test_pip_install_into_a_venv(tmp_path):
    python = make_venv(tmp_path / "env")
    source = copy_of_the_source(BUILD / "python" / "pip-source")
    run([python, "-m", "pip", "install", "--no-build-isolation", "--no-index", "."], cwd=source,
        env=environment(SUSCEP_CMAKE_BUILD_DIR=str(BUILD / "python" / "pip-build")))
    where, stub, version = imported(python, tmp_path)
    assert where.parent == tmp_path / "env" / "lib" / VERSION / "site-packages"
    assert stub and version


def test_cmake_install_into_a_venv(tmp_path):
    python = make_venv(tmp_path / "env")
    run(["cmake", "--install", BUILD, "--component", "python", "--prefix", tmp_path / "env"])
    where, stub, version = imported(python, tmp_path)
    assert where.parent == tmp_path / "env" / "lib" / VERSION / "site-packages"
    assert stub and version


def test_cmake_install_into_the_user_site(tmp_path):
    home = tmp_path / "home"
    home.mkdir()
    run(["cmake", "--install", BUILD, "--component", "python", "--prefix", home / ".local"],
        env=environment(HOME=str(home)))
    where, stub, version = imported(sys.executable, tmp_path, HOME=str(home))
    assert where.parent == home / ".local" / "lib" / VERSION / "site-packages"
    assert stub and version


def test_cmake_install_at_the_default_prefix_goes_where_debians_python_looks(tmp_path):
    # DESTDIR: the files go below the test's folder, not into the system.
    run(["cmake", "--install", BUILD, "--component", "python"],
        env=environment(DESTDIR=str(tmp_path)))
    looks = run([sys.executable, "-c", "import site; print(*site.getsitepackages())"]).split()
    placed = [str(p.parent)[len(str(tmp_path)):] for p in tmp_path.rglob("suscep.pyi")]
    assert len(placed) == 1 and placed[0] in looks
