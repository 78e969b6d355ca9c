"""Bad inputs: a Python exception with a clear message, never a crash; the
program's message where the program refuses the same input."""

import math

import numpy as np
import pytest

import suscep
from conftest import EXAMPLES, run_program

MODEL = suscep.Model(24, terms=[{}, {"S": 0.5}])
VALUES = [2.1, -140.0, 0.98]
NAMES = "g-value, J-BB, COEFF1"


def test_wrong_shapes_and_lengths():
    with pytest.raises(ValueError, match=r"T: a one-dimensional array is needed, not one of shape \(2, 3\)"):
        MODEL(np.ones((2, 3)), VALUES)
    with pytest.raises(ValueError, match=r"the model takes 3 parameter values \(" + NAMES + r"\), not 2"):
        MODEL([10.0, 20.0], VALUES[:2])
    with pytest.raises(ValueError, match="29 temperatures but 28"):
        T, chi = suscep.read_data(EXAMPLES / "dnit2.dat")
        suscep.fit(MODEL, T, chi[:-1], VALUES)
    assert MODEL([], VALUES).shape == (0,)


def test_temperatures_that_are_not_finite_or_not_above_zero():
    for bad in (math.nan, -math.nan, math.inf, -math.inf, 0.0, -0.0, -5e-324, -5.0):
        with pytest.raises(ValueError, match=r"T: temperature 2 \(.*\) is not a finite number above 0 K"):
            MODEL([10.0, bad, 30.0], VALUES)
    T, chi = suscep.read_data(EXAMPLES / "dnit2.dat")
    T[3] = math.nan
    with pytest.raises(suscep.DataError, match="point 4"):
        suscep.fit(MODEL, T, chi, VALUES)


def test_parameter_names_and_counts():
    with pytest.raises(ValueError, match=r"it has 3 \(" + NAMES + r"\), in this order"):
        MODEL([10.0], {"g": 2.0, "J-BB": -140.0, "COEFF1": 0.98})
    with pytest.raises(ValueError, match=r"it has 3 \(" + NAMES + r"\), in this order"):
        MODEL([10.0], {"g-value": 2.0, "J-BB": -140.0})  # a whole set is needed here
    T, chi = suscep.read_data(EXAMPLES / "dnit2.dat")
    with pytest.raises(ValueError, match=r"the description gives 1 \(J\)"):
        suscep.fit(MODEL, T, chi, {"J": -150.0})
    with pytest.raises(ValueError, match=r"not 4"):
        suscep.fit(MODEL, T, chi, VALUES + [1.0])
    # The second of two parameters of one name is told apart by "#2".
    twice = suscep.Model(32)
    assert twice.parameter_names == ["g-value", "D-1", "D-1", "COEFF1"]
    with pytest.raises(ValueError, match=r"it has 4 \(g-value, D-1, D-1, COEFF1\)"):
        twice([10.0], {"g-value": 2.0, "D-1": 1.0, "COEFF1": 0.9})
    by_key = {"g-value": 2.0, "D-1": 1.0, "D-1 #2": -3.0, "COEFF1": 0.9}
    assert twice([10.0], by_key) == twice([10.0], [2.0, 1.0, -3.0, 0.9])
    assert twice([10.0], by_key) != twice([10.0], [2.0, -3.0, 1.0, 0.9])
    T, chi = suscep.read_data(EXAMPLES / "cuac.dat")
    result = suscep.fit(twice, T, chi, by_key, step={"D-1 #2": 0.0}, iterations=0)
    assert list(result.values) == ["g-value", "D-1", "D-1 #2", "COEFF1"]
    assert result.values["D-1 #2"] == -3.0 and result.parameters[2]["step"] == 0.0
    assert result.parameters[1]["step"] == 0.01


def test_values_that_are_not_numbers():
    with pytest.raises(TypeError, match=r"values\['J-BB'\]: 'x' is not a number"):
        MODEL([10.0], {"g-value": 2.0, "J-BB": "x", "COEFF1": 0.98})
    with pytest.raises(TypeError, match=r"values\[0\]: '2.0' is not a number"):
        MODEL([10.0], ["2.0", -140.0, 0.98])
    with pytest.raises(TypeError, match=r"T: numbers are needed, not dtype\('<U2'\) items"):
        MODEL(["10", "20"], VALUES)
    with pytest.raises(TypeError, match=r"chi: numbers are needed, not dtype\('O'\) items"):
        suscep.fit(MODEL, [10.0, 20.0], [1e-3, None], VALUES)
    with pytest.raises(TypeError, match="T: a sequence of numbers is needed, not a string"):
        MODEL("10 20", VALUES)
    with pytest.raises(TypeError, match="iterations: 2.5 is not a whole number"):
        suscep.fit(MODEL, [10.0, 20.0, 30.0, 40.0], [1e-3] * 4, VALUES, iterations=2.5)
    with pytest.raises(TypeError, match="iterations: True is not a whole number"):
        suscep.fit(MODEL, [10.0, 20.0, 30.0, 40.0], [1e-3] * 4, VALUES, iterations=True)
    with pytest.raises(ValueError, match="a number that is not finite"):
        suscep.Model(24, g=math.nan)
    with pytest.raises(TypeError, match="has no place in a model"):
        suscep.Model(24, g=object())
    # numpy scalars are numbers.
    assert suscep.Model(24, g=np.float32(2.0)).to_dict()["model"]["g"] == 2.0
    assert suscep.Model(24, g=np.int64(2)).parameter_names == ["J-BB", "COEFF1"]


def test_model_choices_the_program_refuses():
    with pytest.raises(suscep.ModelError, match="expression 80 is refused"):
        suscep.Model(80)
    with pytest.raises(suscep.ModelError, match="unknown key 'spin' in 'model.terms"):
        suscep.Model(24, terms=[{}, {"spin": 0.5}])
    with pytest.raises(suscep.ModelError, match="zero-field spin"):
        suscep.Model(32, terms=[{}, {"S": 0.5}])
    with pytest.raises(suscep.ModelError, match="iterations must be 0 or more"):
        suscep.fit(MODEL, [10.0, 20.0, 30.0, 40.0], [1e-3] * 4, VALUES, iterations=-1)
    with pytest.raises(ValueError, match="starts: 'start' or 'value'"):
        suscep.Model.from_file(EXAMPLES / "dnit2.dat", starts="begin")


def test_files(tmp_path):
    with pytest.raises(OSError, match="missing.dat"):
        suscep.read_data(tmp_path / "missing.dat")
    assert len(suscep.read_data(str(EXAMPLES / "cuac.dat"))[0]) == 40
    assert len(suscep.read_data(bytes(EXAMPLES / "cuac.dat"))[0]) == 40
    with pytest.raises(TypeError):
        suscep.read_data(None)
    with pytest.raises(OSError):
        suscep.Model.from_file(tmp_path / "missing.json")
    (tmp_path / "model.json").write_text('{"model": {"expression": 24,}}')
    with pytest.raises(suscep.ModelError, match="line 1, column 29"):
        suscep.Model.from_file(tmp_path / "model.json")
    T, chi = suscep.read_data(EXAMPLES / "dnit2.dat")
    result = suscep.fit(MODEL, T, chi, VALUES)
    with pytest.raises(OSError):
        result.save(tmp_path / "no" / "such" / "folder.json")


@pytest.mark.parametrize(
    "content",
    ["0\n", "2\n10.0 1e-3\n0.0 1e-3\n", "3\n10.0 1e-3\n"],
)
def test_a_data_file_the_program_refuses_has_its_message(tmp_path, monkeypatch, content):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "bad.dat").write_text(content)
    done = run_program(tmp_path, answers="bad.dat\n")
    assert done.returncode == 2
    message = done.stderr.strip().removeprefix("suscep: run-time error: ")
    with pytest.raises(ValueError) as refused:
        suscep.read_data("bad.dat")
    # Outside the dialogue a data set holds up to 100000 points.
    assert str(refused.value) == message.replace("not 1 to 300", "not 1 to 100000")


def test_more_points_than_the_dialogue_takes(tmp_path):
    (tmp_path / "many.dat").write_text("301\n" + "".join(f"{t}.0 1e-3\n" for t in range(1, 302)))
    T, chi = suscep.read_data(tmp_path / "many.dat")
    assert len(T) == 301


JUNK = [None, "x", b"", [], [[1.0]], {}, {"a": 1}, math.nan, -1, 10**20, object(),
        np.array(["a"]), np.ones((2, 2)), (1.0, "2"), {"g-value": None}]


def test_junk_anywhere_is_a_python_exception_never_a_crash():
    T, chi = suscep.read_data(EXAMPLES / "cuac.dat")
    for junk in JUNK:
        for call in (
            lambda: MODEL(junk, VALUES),
            lambda: MODEL(T, junk),
            lambda: MODEL.terms(junk, junk),
            lambda: suscep.Model(junk),
            lambda: suscep.Model(24, terms=junk),
            lambda: suscep.Model(24, terms=[junk, junk]),
            lambda: suscep.Model(24, g=junk, corrections=junk),
            lambda: suscep.Model(99, terms=[{"function": 1, "S": junk}], equation_type=junk),
            lambda: suscep.Model.from_dict(junk),
            lambda: suscep.read_data(junk),
            lambda: suscep.fit(MODEL, junk, chi),
            lambda: suscep.fit(MODEL, T, junk),
            lambda: suscep.fit(MODEL, T, chi, junk),
            lambda: suscep.fit(MODEL, T, chi, step=junk, corrections=junk),
            lambda: suscep.fit(MODEL, T, chi, iterations=junk, reqmin=junk, ncheck=junk),
        ):
            try:
                call()
            except (TypeError, ValueError, OSError, OverflowError) as e:
                assert str(e) and "unknown exception" not in str(e), (junk, e)
