"""fit()'s methods, bounds, fixed parameters, window, weights and errors."""
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
