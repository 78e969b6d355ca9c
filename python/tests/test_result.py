"""The fitted model of a Result: its curve with the fit's corrections, the
statistics as arrays, a table; pickles and copies of models and results."""

import concurrent.futures
import copy
import json
import math
import pickle

import numpy as np
import pytest

import suscep
from conftest import EXAMPLES

MODEL = suscep.Model(24, terms=[{}, {"S": 0.5}])
START = {"g-value": 2.0, "J-BB": -150.0, "COEFF1": 0.99}


def dnit2(**options):
    T, chi = suscep.read_data(EXAMPLES / "dnit2.dat")
    return suscep.fit(MODEL, T, chi, START, **{"name": "dnit2.dat", **options})


@pytest.mark.parametrize("corrections", [None, {"factor": 0.5}, {"tip": 6e-4, "diamagnetic": -2e-4}])
def test_the_fitted_curve_is_the_fits_own(corrections):
    result = dnit2(corrections=corrections)
    doc = result.to_dict()
    data, curve = doc["data"], doc["curve"]
    assert result.eval(curve["temperature"]).tolist() == curve["chi"]
    assert result.best_fit.tolist() == data["chi_calculated"]
    assert result.residuals.tolist() == data["residual"]
    rss = float(np.sum(result.residuals**2))
    assert rss / float(np.sum(np.square(data["chi_corrected"]))) == pytest.approx(result.ls_error)
    # The model as fitted carries the corrections, and fits again alike.
    assert result.model(curve["temperature"], result.values).tolist() == curve["chi"]
    assert result.model.to_dict()["corrections"] == {
        k: v for k, v in doc["corrections"].items() if k != "tip_added"
    }
    T, chi = suscep.read_data(EXAMPLES / "dnit2.dat")
    assert suscep.fit(result.model, T, chi, name="dnit2.dat").values == result.values


def test_covariance_and_correlation_are_arrays_with_nan_where_undetermined():
    result = dnit2()
    statistics = result.statistics
    assert result.covariance.shape == (3, 3)
    assert result.covariance.tolist() == statistics["covariance"]
    assert result.correlation.tolist() == statistics["correlation"]
    # J held: its row and column are not known.
    T, chi = suscep.read_data(EXAMPLES / "dnit2.dat")
    held = suscep.fit(MODEL, T, chi, START, step={"J-BB": 0.0})
    assert held.statistics["covariance"][1] == [None, None, None]
    assert np.isnan(held.covariance[1]).all() and np.isnan(held.covariance[:, 1]).all()
    assert not np.isnan(held.covariance[0, 0])


def test_to_frame_tabulates_the_parameters():
    pandas = pytest.importorskip("pandas")
    result = dnit2(iterations=0)
    frame = result.to_frame()
    assert isinstance(frame, pandas.DataFrame)
    assert list(frame.index) == ["g-value", "J-BB", "COEFF1"]
    assert frame.loc["J-BB", "value"] == result.values["J-BB"] == -150.0
    assert frame.loc["J-BB", "step"] == -1.5
    assert frame["sigma"].isna().all()  # no estimate without a fit


def test_values_not_estimated_are_none_never_nan():
    result = dnit2(iterations=0)
    assert result.sigma == {"g-value": None, "J-BB": None, "COEFF1": None}
    T, chi = suscep.read_data(EXAMPLES / "dnit2.dat")
    held = suscep.fit(MODEL, T, chi, START, step={"J-BB": 0.0})
    assert held.std_error["J-BB"] is None
    assert all(isinstance(v, float) and not math.isnan(v) for v in held.values.values())


def same(a, b):
    """Equal, and of the same types all the way down (1 is not 1.0)."""
    if type(a) is not type(b):
        return False
    if isinstance(a, dict):
        return list(a) == list(b) and all(same(a[k], b[k]) for k in a)
    if isinstance(a, list):
        return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
    return a == b or (a != a and b != b)


@pytest.mark.parametrize(
    "options",
    [
        {},
        {"method": "simplex", "step": {"J-BB": 0.0}},
        {"name": 'a "quoted"\\back\tslash \u00e9\u03c7\u2603\U0001f9f2\x01.dat'},
        {"method": "lm", "tmin": 20.0, "sigma": np.linspace(1e-6, 3e-6, 29), "quantity": "chiT"},
        {"method": "global", "bounds": {"J-BB": (-1000.0, 0.0)}, "fixed": ["COEFF1"]},
        {"iterations": 0},
    ],
)
def test_to_dict_is_the_saved_document_read_by_json(tmp_path, options):
    result = dnit2(**{"name": "dnit2.dat", **options})
    result.save(tmp_path / "saved.json")
    saved = json.loads((tmp_path / "saved.json").read_text(encoding="utf-8"))
    assert same(result.to_dict(), saved)
    assert result.to_dict()["data"]["file"] == options.get("name", "dnit2.dat")


@pytest.mark.parametrize("section_first", [False, True])
def test_to_dict_gives_a_new_copy_each_time(section_first):
    result = dnit2()
    if section_first:
        result.parameters[1]["value"] = 0.0
    for _ in range(3):
        doc = result.to_dict()
        assert doc["parameters"][0]["value"] == result.values["g-value"]
        assert doc["parameters"][1]["value"] == result.values["J-BB"]
        assert len(doc["data"]["chi_raw"]) == 29
        doc["parameters"][0]["value"] = 0.0
        doc["data"]["chi_raw"].clear()
        result.parameters[1]["value"] = 0.0


def test_models_and_results_pickle_and_copy():
    result = dnit2(corrections={"factor": 0.5}, report=True)
    for model in (MODEL, suscep.Model(24, g=2.0), result.model, suscep.Model.from_dict(MODEL.to_dict())):
        for made in (pickle.loads(pickle.dumps(model)), copy.copy(model), copy.deepcopy(model)):
            assert made.to_dict() == model.to_dict() and repr(made) == repr(model)
    T, chi = suscep.read_data(EXAMPLES / "dnit2.dat")
    # A step left to the 1 % rule stays so: a new start has its own step.
    again = pickle.loads(pickle.dumps(MODEL))
    assert suscep.fit(again, T, chi, {"J-BB": -100.0}).parameters[1]["step"] == -1.0
    for made in (pickle.loads(pickle.dumps(result)), copy.copy(result), copy.deepcopy(result)):
        assert made.to_dict() == result.to_dict()
        assert repr(made) == repr(result) and made.report == result.report
        assert made.notes == result.notes and made.covariance.tolist() == result.covariance.tolist()
        assert made.eval([5.0, 50.0]).tolist() == result.eval([5.0, 50.0]).tolist()
        # The curve, evaluated only when asked for, goes with the pickle.
        assert [a.tolist() for a in made.curve] == [a.tolist() for a in result.curve]


def test_fits_in_processes_equal_fits_in_turn():
    T, chi = suscep.read_data(EXAMPLES / "dnit2.dat")
    starts = [dict(START, **{"J-BB": j}) for j in (-120.0, -150.0, -180.0)]
    in_turn = [suscep.fit(MODEL, T, chi, s).to_dict() for s in starts]
    with concurrent.futures.ProcessPoolExecutor(max_workers=2) as pool:
        futures = [pool.submit(suscep.fit, MODEL, T, chi, s) for s in starts]
        assert [f.result().to_dict() for f in futures] == in_turn


def test_objects_made_by_new_alone_are_refused_not_crashed():
    for cls, calls in (
        (suscep.Model, [lambda x: x.parameter_names, lambda x: x.terms([1.0], []), repr,
                        lambda x: x([1.0], []), pickle.dumps,
                        lambda x: suscep.fit(x, [1.0], [1e-3])]),
        (suscep.Result, [lambda x: x.values, lambda x: x.to_dict(), repr, pickle.dumps,
                         lambda x: x.eval([1.0])]),
    ):
        empty = cls.__new__(cls)
        for call in calls:
            with pytest.raises(TypeError, match="made by __new__ alone"):
                call(empty)
