"""Edges of the binding's checks that the other tests leave open: each case
here fails when the check it names moves."""

import pytest

import suscep

MODEL = suscep.Model(24, terms=[{}, {"S": 0.5}])
T = [10.0, 20.0, 30.0, 40.0]
CHI = [1e-3, 8e-4, 6e-4, 5e-4]


@pytest.mark.parametrize("n", [2**31, 2**32, 2**40, -(2**31) - 1, -(2**32)])
def test_whole_numbers_beyond_an_int_are_out_of_range(n):
    with pytest.raises(ValueError, match=f"iterations: {n} is out of range"):
        suscep.fit(MODEL, T, CHI, iterations=n)


@pytest.mark.parametrize("errors", [3, 5])
def test_one_error_for_each_point(errors):
    with pytest.raises(ValueError, match=f"sigma: {errors} errors for 4 points"):
        suscep.fit(MODEL, T, CHI, sigma=[1e-5] * errors)


@pytest.mark.parametrize("width", [39.9, 500.1, float("nan")])
def test_figure_widths_outside_40_to_500_mm(width):
    result = suscep.fit(MODEL, T, CHI)
    with pytest.raises(ValueError, match="width must be 40 to 500 mm"):
        result.svg(width=width)
    assert result.svg(width=40).startswith("<")
    assert result.svg(width=500).startswith("<")
