"""Bad inputs: a Python exception with a clear message, never a crash; the
program's message where the program refuses the same input."""

import errno
import math
import os
import stat

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
    with pytest.raises(suscep.ModelError, match="ncheck must be 1 or more"):
        suscep.fit(MODEL, [10.0, 20.0, 30.0, 40.0], [1e-3] * 4, VALUES, ncheck=0)
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
    "content, own",
    [
        ("0\n", None),
        ("2\n10.0 1e-3\n0.0 1e-3\n", None),
        # Where the dialogue says only what, the module says where too.
        ("3\n10.0 1e-3\n", "read: data file 'bad.dat': it ends at line 2, before all its points "
         "are read"),
        ("2\n10.0 1e-3\n20 x\n", "read: data file 'bad.dat', line 3: \"x\" is not a number"),
    ],
)
def test_a_data_file_the_program_refuses_has_its_message(tmp_path, monkeypatch, content, own):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "bad.dat").write_text(content)
    done = run_program(tmp_path, answers="bad.dat\n")
    assert done.returncode == 2
    message = done.stderr.strip().removeprefix("suscep: run-time error: ")
    with pytest.raises(ValueError) as refused:
        suscep.read_data("bad.dat")
    # Outside the dialogue a data set holds up to 100000 points.
    assert str(refused.value) == (own or message.replace("not 1 to 300", "not 1 to 100000"))


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


def test_type_errors_are_short_and_name_the_argument():
    T, chi = suscep.read_data(EXAMPLES / "dnit2.dat")
    cases = [
        (lambda: suscep.fit(None, T, chi), "model: a suscep.Model is needed, not NoneType"),
        (lambda: suscep.fit(MODEL, T, chi, sigm=1.0),
         "fit() got an unexpected keyword argument 'sigm'"),
        (lambda: suscep.fit(MODEL, T, chi, VALUES, VALUES),
         "fit() takes from 3 to 4 positional arguments but 5 were given"),
        (lambda: suscep.fit(MODEL, T), "fit() missing 1 required argument: 'chi'"),
        (lambda: suscep.fit(MODEL, T, chi, T=T), "fit() got multiple values for argument 'T'"),
        (lambda: suscep.fit(MODEL, None, chi), "T: a sequence of numbers is needed, not NoneType"),
        (lambda: suscep.fit(MODEL, T, chi, refine="yes"),
         "refine: True or False is needed, not str"),
        (lambda: MODEL(T), "__call__() missing 1 required argument: 'values'"),
        (lambda: MODEL(T, VALUES, step=1), "__call__() got an unexpected keyword argument 'step'"),
        (lambda: suscep.Model(24, term=[]), "Model() got an unexpected keyword argument 'term'"),
        (lambda: suscep.read_data(T), "path: a file name (str, bytes or os.PathLike) is needed"),
        (lambda: suscep.import_file(T), "path: a file name (str, bytes or os.PathLike) is needed"),
    ]
    for call, message in cases:
        with pytest.raises(TypeError) as raised:
            call()
        assert str(raised.value).startswith(message) and len(str(raised.value)) < 100


def test_file_errors_carry_errno_and_filename(tmp_path):
    (tmp_path / "locked.dat").write_text("1\n10.0 1e-3\n")
    (tmp_path / "locked.dat").chmod(0)
    fifo = tmp_path / "fifo"
    os.mkfifo(fifo)
    cases = [(tmp_path / "missing.dat", FileNotFoundError, errno.ENOENT),
             (tmp_path, IsADirectoryError, errno.EISDIR),
             (fifo, OSError, errno.EINVAL)]
    if os.geteuid() != 0:  # root reads any file
        cases.append((tmp_path / "locked.dat", PermissionError, errno.EACCES))
    if os.geteuid() == 0:
        device = tmp_path / "zero"  # a device like /dev/zero, in the test's folder
        os.mknod(device, stat.S_IFCHR | 0o600, os.makedev(1, 5))
        cases.append((device, OSError, errno.EINVAL))
    for read in (suscep.read_data, suscep.Model.from_file, suscep.import_file):
        for path, kind, code in cases:
            with pytest.raises(kind) as raised:
                read(path)
            assert raised.value.errno == code and raised.value.filename == path, (read, path)
    large = tmp_path / "large.json"  # sparse: no 17 MB written
    with open(large, "wb") as f:
        f.truncate(17 << 20)
    with pytest.raises(OSError, match="larger than 16 MB") as raised:
        suscep.Model.from_file(large)
    assert raised.value.errno == errno.EFBIG and raised.value.filename == large


def test_temperatures_masks_and_notes():
    for tiny in (5e-324, 2e-308):
        with pytest.raises(ValueError, match=r"T: temperature 2 \(.*\) is too close to 0 K"):
            MODEL([10.0, tiny], VALUES)
        with pytest.raises(suscep.DataError, match="point 2 has a temperature too close to 0"):
            suscep.fit(MODEL, [10.0, tiny, 30.0, 40.0], [1e-3] * 4, VALUES)
    assert np.isfinite(MODEL([2.2250738585072014e-308], VALUES)).all()
    masked = np.ma.masked_array([10.0, 20.0, 30.0], mask=[False, True, False])
    with pytest.raises(ValueError, match="T: a masked array with masked points"):
        MODEL(masked, VALUES)
    with pytest.raises(ValueError, match="chi: a masked array with masked points"):
        suscep.fit(MODEL, [10.0, 20.0, 30.0], masked * 1e-4, VALUES)
    unmasked = np.ma.masked_array([10.0, 20.0], mask=False)
    assert MODEL(unmasked, VALUES).tolist() == MODEL([10.0, 20.0], VALUES).tolist()
    few = suscep.fit(MODEL, [10.0, 20.0], [1e-2, 5e-3], VALUES)
    assert "2 points for 3 fitted parameters" in few.notes[-1]
    assert not any("points for" in n for n in suscep.fit(MODEL, [10.0, 20.0, 30.0], [1e-2, 5e-3, 3e-3], VALUES).notes)


def test_the_repr_shows_what_a_fit_fits():
    assert repr(suscep.Model(24, g=0)) == repr(suscep.Model(24))
    assert "fitted: g-value, J-BB, COEFF1)" in repr(suscep.Model(24, g=0))
    assert "fitted: J-BB, COEFF1; g = 2.0)" in repr(suscep.Model(24, g=2.0))
    held = suscep.Model.from_dict(dict(MODEL.to_dict(), parameters=[
        {"name": "g-value", "start": 2.0, "step": 0.0},
        {"name": "J-BB", "start": -100.0}, {"name": "COEFF1", "start": 0.9}]))
    assert "fitted: J-BB, COEFF1; held at their starts: g-value)" in repr(held)
