"""suscep.import_file gives what `suscep import` writes: the data file's
points and the record."""

import json

import numpy as np
import pytest

import suscep
from conftest import EXAMPLES, run_program

CHOICES = [
    (["--diamagnetic", "-2.9e-4", "--eicosane", "21.4"], dict(diamagnetic=-2.9e-4, eicosane=21.4)),
    (["--max-points", "20", "--bins", "linear", "--diamagnetic-estimate"],
     dict(max_points=20, bins="linear", diamagnetic_estimate=True)),
]


@pytest.mark.parametrize("args,keywords", CHOICES)
def test_import_file_gives_what_suscep_import_writes(tmp_path, monkeypatch, args, keywords):
    monkeypatch.chdir(tmp_path)
    done = run_program(tmp_path, ["import", "cu2-vsm.dat", *args], files=["cu2-vsm.dat"])
    assert done.returncode == 0, done.stderr
    record = json.loads((tmp_path / "cu2-vsm-chi.import.json").read_text())
    T, chi, sigma, made = suscep.import_file("cu2-vsm.dat", **keywords)
    written_T, written_chi = suscep.read_data(tmp_path / "cu2-vsm-chi.dat")
    assert T.tolist() == written_T.tolist() and chi.tolist() == written_chi.tolist()
    assert made["data"].pop("file") == "" and record["data"].pop("file") == "cu2-vsm-chi.dat"
    assert made == record
    errors = record["data"]["chi_error"]
    assert sigma is not None and np.array_equal(
        sigma, [np.nan if e is None else e for e in errors], equal_nan=True)


def test_import_file_refusals(tmp_path):
    with pytest.raises(suscep.DataError, match="max-points|max_points|1 to 300|1-300"):
        suscep.import_file(EXAMPLES / "cu2-vsm.dat", max_points=0)
    with pytest.raises(ValueError, match="bins: 'log' or 'linear', not 'cubic'"):
        suscep.import_file(EXAMPLES / "cu2-vsm.dat", bins="cubic")
    with pytest.raises(TypeError, match="import_file\\(\\) got an unexpected keyword argument 'mas'"):
        suscep.import_file(EXAMPLES / "cu2-vsm.dat", mas=1.0)
    with pytest.raises(TypeError, match="mass: '1' is not a number"):
        suscep.import_file(EXAMPLES / "cu2-vsm.dat", mass="1")
    (tmp_path / "table.txt").write_text("1 2\n3 4\n")
    T, chi, sigma, record = suscep.import_file(tmp_path / "table.txt", columns="1,2",
                                               chi_unit="cm3/mol")
    assert T.tolist() == [1.0, 3.0] and chi.tolist() == [2.0, 4.0] and sigma is None
    assert record["data"]["temperature"] == [1.0, 3.0]
