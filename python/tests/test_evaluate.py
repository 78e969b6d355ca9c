"""model(T, values) against the program: every standard expression, built
in the dialogue with its default choices, reported at the starts (0
iterations); the values of SUSCEP.JSON at the data temperatures and on the
curve must be those of the module, bit for bit."""

import json

import numpy as np
import pytest

import suscep
from conftest import run_program

TEMPERATURES = [2.0, 7.5, 30.0, 120.0, 300.0]

# Two sets of parameter values by name: antiferromagnetic and ferromagnetic.
VALUES = [
    {"g-value": 2.05, "J": -20.0, "D": 2.0, "ALFA-MBF": 0.8, "COEFF1": 0.9, "COEFF2": 0.95,
     "DIM": 1.0e-4},
    {"g-value": 1.98, "J": 15.0, "D": -3.5, "ALFA-MBF": 0.3, "COEFF1": 0.7, "COEFF2": 0.6,
     "DIM": -2.0e-4},
]


def value_of(name, values):
    """Every J (J-BB, J1-Tetra, ...) takes "J", every D of a term "D"."""
    if name.startswith("J"):
        return values["J"]
    if name.startswith("D-"):
        return values["D"]
    return values[name]


def dialogue(expression, values):
    """The answers that build `expression` with the default constants, the
    starts `values`, and report at them without a fit."""
    e = next(x for x in suscep.expressions() if x["expression"] == expression)
    names = iter(e["parameters"])
    lines = ["data.dat", "", "E", str(expression), "F"]

    def start():
        lines.append(repr(value_of(next(names), values)))

    start()  # g-value
    for function in e["functions"]:
        if function == 1:
            lines.append("0.5")
        elif function == 2:
            lines.append("1.0")
            start()
        elif function == 5:
            start()
            lines.append("10000")
        elif function == 7:
            start()
            start()
        elif function == 8:
            lines.append("0.5 0.5")
            start()
        elif function == 9:
            lines.append("1")
            start()
            start()
        else:
            start()
        if function != 10:
            lines.append("n")  # no theta, no Z*JP
    for name in names:  # COEFF1, COEFF2
        lines.append(repr(value_of(name, values)))
    lines += ["1", "1", "-1", "-1", "0", "", "-2", "3"]
    return "\n".join(lines) + "\n"


def program_values(folder, expression, values):
    data = f"{len(TEMPERATURES)}\n" + "".join(f"{t} 1.0e-3\n" for t in TEMPERATURES)
    (folder / "data.dat").write_text(data)
    done = run_program(folder, answers=dialogue(expression, values))
    assert done.returncode == 0, done.stdout[-2000:] + done.stderr
    return json.loads((folder / "SUSCEP.JSON").read_text())


@pytest.mark.parametrize("expression", [e["expression"] for e in suscep.expressions()])
def test_every_expression_evaluates_as_the_program(tmp_path, expression):
    model = suscep.Model(expression)
    for values in VALUES:
        doc = program_values(tmp_path, expression, values)
        p = [value_of(name, values) for name in model.parameter_names]
        assert [q["start"] for q in doc["parameters"]] == p
        calc = model(doc["data"]["temperature"], p)
        assert calc.tolist() == doc["data"]["chi_calculated"]
        # By name: the second D-1 of expressions 32 and 52 is "D-1 #2".
        keys = [n + " #2" if n in model.parameter_names[:j] else n
                for j, n in enumerate(model.parameter_names)]
        curve = model(np.array(doc["curve"]["temperature"]), dict(zip(keys, p)))
        assert curve.tolist() == doc["curve"]["chi"]
        # The terms add up to the model, with no TIP here.
        terms = model.terms(doc["data"]["temperature"], p)
        assert terms.shape == (model.term_count, len(TEMPERATURES))
        np.testing.assert_allclose(terms.sum(axis=0), calc, rtol=1e-12, atol=0)
