"""The example scripts run as the documentation says."""

import csv
import os
import shutil
import subprocess
import sys

import suscep
from conftest import EXAMPLES, dialogue_result

# The module the tests import, for the scripts too.
MODULE_PATH = os.pathsep.join(
    [os.path.dirname(suscep.__file__)] + os.environ.get("PYTHONPATH", "").split(os.pathsep)
)


def run_script(name, folder, *args):
    return subprocess.run(
        [sys.executable, str(EXAMPLES / name), *map(str, args)],
        cwd=folder,
        env=dict(os.environ, MPLBACKEND="Agg", PYTHONPATH=MODULE_PATH),
        capture_output=True,
        text=True,
        check=False,
    )


def test_fit_dnit2_prints_the_fit_and_draws_it(tmp_path):
    shutil.copy(EXAMPLES / "dnit2.dat", tmp_path)
    done = run_script("fit_dnit2.py", tmp_path)
    assert done.returncode == 0, done.stderr
    assert "J-BB     = -161.904" in done.stdout
    assert (tmp_path / "dnit2-fit.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    # docs/python.md shows the script and what it prints.
    doc = (EXAMPLES.parent / "docs" / "python.md").read_text(encoding="utf-8")
    script = (EXAMPLES / "fit_dnit2.py").read_text(encoding="utf-8")
    block = doc.split("```python\n")[1].split("```")[0]
    assert block == script[script.index("import matplotlib") :]
    for line in done.stdout.splitlines():
        assert "\n    " + line + "\n" in doc, line


def test_fit_folder_writes_a_row_per_file_and_names_the_failures(tmp_path):
    program = dialogue_result(tmp_path, "cuac-answers.txt", "cuac.dat")
    (tmp_path / "model.json").write_bytes((tmp_path / "SUSCEP.JSON").read_bytes())
    folder = tmp_path / "data"
    folder.mkdir()
    shutil.copy(EXAMPLES / "cuac.dat", folder)
    shutil.copy(EXAMPLES / "dnit2.dat", folder)
    (folder / "broken.dat").write_text("2\n10.0 1e-3\n-4.0 1e-3\n")
    done = run_script("fit_folder.py", tmp_path, "model.json", folder, "table.csv")
    assert done.returncode == 1
    assert "broken.dat" in done.stderr and "point 2" in done.stderr
    with open(tmp_path / "table.csv", newline="", encoding="utf-8") as f:
        rows = list(csv.DictReader(f))
    assert [r["file"] for r in rows] == ["cuac.dat", "dnit2.dat"]
    cuac = rows[0]
    assert int(cuac["points"]) == program["data"]["points"]
    assert float(cuac["ls_error"]) == program["fit"]["ls_error"]
    for p in program["parameters"]:
        assert float(cuac[p["name"]]) == p["value"]
        assert float(cuac[p["name"] + " std_error"]) == p["std_error"]
