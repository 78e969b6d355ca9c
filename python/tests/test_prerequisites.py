"""Every module that the Python files of examples/, python/ and bench/ import
comes from the standard library, from the project itself, or from a Debian
package that tools/prerequisites.sh installs for the task that runs it."""

import ast
import sys

from conftest import SOURCE

# A module's Debian package where it is not python3-<module>.
PACKAGES = {}
# The task of tools/prerequisites.sh that runs each folder's files: the
# tests run the examples and the module's tests; .ci/run the benchmarks.
TASKS = {"examples": "test", "python": "test", "bench": "ci"}
ORDER = ["run", "test", "ci"]


def listed_packages():
    """{package: task} from the script's table."""
    text = (SOURCE / "tools" / "prerequisites.sh").read_text()
    table = text.split("packages='", 1)[1].split("'", 1)[0]
    rows = (line.split() for line in table.splitlines())
    return {row[1]: row[0] for row in rows if len(row) >= 2}


def imported(path):
    """The top-level names of the absolute imports of one file."""
    names = set()
    for node in ast.walk(ast.parse(path.read_text(), str(path))):
        if isinstance(node, ast.Import):
            names.update(alias.name.split(".")[0] for alias in node.names)
        elif isinstance(node, ast.ImportFrom) and node.level == 0:
            names.add(node.module.split(".")[0])
    return names


def local_modules():
    """Modules of the project: its own files and the built module."""
    names = {"suscep"}
    for folder in TASKS:
        names.update(p.stem for p in (SOURCE / folder).rglob("*.py"))
    return names


def test_every_imported_module_is_installed_by_the_script():
    packages = listed_packages()
    local = local_modules()
    missing = []
    for folder, task in TASKS.items():
        for path in sorted((SOURCE / folder).rglob("*.py")):
            for name in sorted(imported(path) - local - set(sys.stdlib_module_names)):
                package = PACKAGES.get(name, "python3-" + name.lower().replace("_", "-"))
                listed = packages.get(package)
                if listed is None or ORDER.index(listed) > ORDER.index(task):
                    missing.append(f"{path.relative_to(SOURCE)}: {name} ({package} for '{task}')")
    assert not missing, "not installed by tools/prerequisites.sh: " + "; ".join(missing)

