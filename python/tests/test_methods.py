"""fit()'s methods, bounds, fixed parameters, window, weights and errors."""
import json
import math
import pathlib

import numpy as np
import pytest

import suscep

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples"


def test_global_and_lm_reach_the_minimum_of_the_natural_first_call():
    T, chi = suscep.read_data(EXAMPLES / "dnit2.dat")
    model = suscep.Model(24, corrections={"factor": 0.5})
    best = suscep.fit(model, T, chi, method="global")
    lm = suscep.fit(model, T, chi, {"g-value": 2.0, "J-BB": -150.0, "COEFF1": 0.99}, method="lm")
    assert best.success and lm.success, best.message
    assert best.method == "global" and best.fit["reached_best"] >= 1
    assert math.isclose(best.ls_error, lm.ls_error, rel_tol=1e-9)
    assert not any("iterate" in n for n in best.notes)


GOOD_START = {"g-value": 2.0, "J-BB": -150.0, "COEFF1": 0.99}


@pytest.mark.parametrize("corrections", [None, {"factor": 0.5}])
def test_the_natural_first_call_reaches_the_minimum_of_lm_from_a_good_start(corrections):
    T, chi = suscep.read_data(EXAMPLES / "dnit2.dat")
    model = suscep.Model(24, corrections=corrections)
    first = suscep.fit(model, T, chi)
    good = suscep.fit(model, T, chi, GOOD_START, method="lm")
    assert first.method == "global" and first.success, first.message
    assert math.isclose(first.ls_error, good.ls_error, rel_tol=1e-9)
    # The dialogue's search from the model's starts stops far above it.
    assert suscep.fit(model, T, chi, method="simplex").ls_error > 1.0001 * good.ls_error


DESCRIPTION = {"model": {"expression": 24}}


@pytest.mark.parametrize(
    "make, method",
    [
        (lambda tmp: suscep.Model(24), "global"),
        (lambda tmp: suscep.Model.from_dict(DESCRIPTION), "global"),
        (lambda tmp: suscep.Model.from_dict(dict(DESCRIPTION, fit={"iterations": 50})), "global"),
        (lambda tmp: suscep.Model.from_dict(dict(DESCRIPTION, fit={"method": "lm"})), "lm"),
        (lambda tmp: suscep.Model.from_dict(dict(DESCRIPTION, fit={"method": "simplex"})),
         "simplex"),
        (lambda tmp: suscep.Model.from_file(written(tmp, DESCRIPTION)), "global"),
        (lambda tmp: suscep.Model.from_file(written(tmp, dict(DESCRIPTION, fit={"method": "lm"}))),
         "lm"),
        (lambda tmp: suscep.Model.from_dict(suscep.Model(24).to_dict()), "global"),
    ],
)
def test_the_default_method_is_global_unless_the_model_file_names_one(tmp_path, make, method):
    model = make(tmp_path)
    assert model.to_dict()["fit"]["method"] == method
    T, chi = suscep.read_data(EXAMPLES / "dnit2.dat")
    assert suscep.fit(model, T, chi, iterations=5).method.startswith(method)
    assert suscep.fit(model, T, chi, iterations=5, method="lm").method == "lm"


def written(folder, description):
    path = folder / "model.json"
    path.write_text(json.dumps(description))
    return path


def test_bounds_fixed_window_and_weights():
    T, chi = suscep.read_data(EXAMPLES / "dnit2.dat")
    model = suscep.Model(24, corrections={"factor": 0.5})
    start = {"g-value": 2.0, "J-BB": -180.0, "COEFF1": 0.97}
    r = suscep.fit(model, T, chi, start, method="lm", bounds={"J-BB": (None, -170.0)},
                   fixed=["COEFF1"], tmin=10.0)
    assert r.values["J-BB"] == -170.0 and r.values["COEFF1"] == 0.97
    assert r.std_error["J-BB"] is None
    assert r.parameters[1]["at_bound"] and r.fit["tmin"] == 10.0
    assert any("iterations" not in n and "bound" in n for n in r.notes)
    s = suscep.fit(model, T, chi, start, method="lm", sigma=np.abs(chi) * 0.01)
    assert s.fit["weights"] == "sigma"


@pytest.mark.parametrize(
    "keywords, message",
    [
        ({"method": "newton"}, "fit.method 'newton'"),
        ({"bounds": {"J-BB": (0.0, -1.0)}}, "'min' (0) is above 'max' (-1)"),
        ({"bounds": {"nothing": (0.0, 1.0)}}, "no parameter 'nothing'"),
        ({"tmin": 400.0}, "fewer than the 3 free parameters"),
        ({"weights": "sigma"}, "needs each point's error"),
        ({"sigma": [0.0] * 29}, "point 1 has an error (sigma) of 0"),
    ],
)
def test_bad_input_is_a_value_error(keywords, message):
    T, chi = suscep.read_data(EXAMPLES / "dnit2.dat")
    with pytest.raises(ValueError, match=message.replace("(", r"\(").replace(")", r"\)")):
        suscep.fit(suscep.Model(24), T, chi, **{"method": "lm", **keywords})
