"""The catalogue of expressions and term functions, and the models built from it."""

import pytest

import suscep


def test_every_standard_expression_is_listed_once_in_order():
    numbers = [e["expression"] for e in suscep.expressions()]
    expected = [10 * m + n for m in range(8) for n in range(1, 10)]
    assert numbers == expected


def test_expression_24_is_bleaney_bower_with_a_curie_impurity():
    e24 = next(e for e in suscep.expressions() if e["expression"] == 24)
    assert e24 == {
        "expression": 24,
        "equation_type": 2,
        "functions": [4, 1],
        "parameters": ["g-value", "J-BB", "COEFF1"],
    }


def test_each_expression_builds_the_model_it_lists():
    for e in suscep.expressions():
        model = suscep.Model(e["expression"])
        assert model.parameter_names == e["parameters"], e
        assert model.term_count == len(e["functions"])
        assert len(model.start) == len(model.step) == len(e["parameters"])


def test_functions_name_their_constants_parameters_and_correction():
    functions = {(f["function"], f["other_function"]): f for f in suscep.functions()}
    assert len(functions) == 13  # 1-8, the four others of 9, and 10
    assert functions[(1, None)]["name"] == "Curie"
    assert functions[(1, None)]["constants"] == ["S"]
    assert functions[(1, None)]["correction"] == "THETA"
    assert functions[(4, None)]["parameters"] == ["J-BB"]
    assert functions[(4, None)]["correction"] == "Z*JP"
    assert functions[(9, 3)]["parameters"] == ["J1-Tetra", "J2-Tetra", "J3-Tetra", "J4-Tetra"]
    assert functions[(9, 4)]["constants"] == ["other_function", "S1", "S2"]
    assert functions[(10, None)]["correction"] is None


def test_choices_of_a_standard_expression():
    fixed = suscep.Model(24, g=2.0, terms=[{"correction": True}, {"S": 0.5, "correction": True}])
    assert fixed.parameter_names == ["J-BB", "Z*JP", "THETA", "COEFF1"]
    own = suscep.Model(terms=[{"function": 8, "S1": 2.5, "S2": 2.5}])
    assert own.parameter_names == ["g-value", "J-Dimer"]
    assert own.to_dict()["model"]["expression"] == 99
    assert suscep.Model().to_dict() == suscep.Model(24).to_dict()
    pair = suscep.Model(99, equation_type=2, terms=[{"function": 4}, {"function": 1, "S": 0.5}])
    assert pair.parameter_names == suscep.Model(24).parameter_names


def test_model_round_trips_through_its_dict():
    model = suscep.Model(24, g=2.05, corrections={"tip": 6e-5})
    again = suscep.Model.from_dict(model.to_dict())
    assert again.parameter_names == model.parameter_names
    assert again.to_dict() == model.to_dict()
    assert "J-BB" in repr(model)


@pytest.mark.parametrize("expression", [10, 80, 100, -24])
def test_unknown_expression_numbers_are_refused(expression):
    with pytest.raises(ValueError):
        suscep.Model(expression)
