"""Prints the folder where the Python of an installation prefix looks for
modules: a venv's site-packages, the user site, Debian's dist-packages.
Run by `cmake --install` with the prefix as its argument."""

import os
import site
import sys
import sysconfig


def site_dir(prefix):
    prefix = os.path.realpath(prefix)
    schemes = sysconfig.get_scheme_names()
    paths = {"base": prefix, "platbase": prefix}
    if os.path.exists(os.path.join(prefix, "pyvenv.cfg")):
        scheme = "venv" if "venv" in schemes else "posix_prefix"
        return sysconfig.get_path("platlib", scheme, vars=paths)
    if prefix == os.path.realpath(site.getuserbase()):
        return site.getusersitepackages()
    if prefix == "/usr" and "deb_system" in schemes:
        return sysconfig.get_path("platlib", "deb_system", vars=paths)
    # Elsewhere below the prefix as the interpreter's own platlib is below
    # its prefix: dist-packages on Debian (/usr/local), site-packages else.
    platlib = sysconfig.get_path("platlib")
    folder = "dist-packages" if platlib.endswith("dist-packages") else "site-packages"
    return os.path.join(prefix, "lib", "python" + sysconfig.get_python_version(), folder)


if __name__ == "__main__":
    print(site_dir(sys.argv[1]))
