"""The figure of a fit: SVG text from the engine, and a matplotlib axis."""

import subprocess
import sys

import numpy as np
import pytest

import suscep
from conftest import EXAMPLES


@pytest.fixture(scope="module")
def dnit2():
    T, chi = suscep.read_data(EXAMPLES / "dnit2.dat")
    model = suscep.Model(24, terms=[{}, {"S": 0.5}])
    return suscep.fit(
        model, T, chi, {"g-value": 2.0, "J-BB": -150.0, "COEFF1": 0.99},
        corrections={"factor": 0.5}, name="dnit2.dat",
    )


def test_svg_is_the_engines_figure_with_its_options(dnit2):
    svg = dnit2.svg()
    assert svg.startswith("<?xml") and svg.endswith("</svg>\n")
    assert 'width="85mm"' in svg and ">dnit2.dat<" in svg and "g-value = " in svg
    assert dnit2.svg() == svg
    page = dnit2.svg(2, residuals=True, values=False, width=170)
    assert 'width="170mm"' in page and 'class="rtick"' in page and "g-value" not in page
    for quantity, width in ((0, 85), (6, 85), (3, 10)):
        with pytest.raises(ValueError):
            dnit2.svg(quantity, width=width)


def test_the_curve_is_dense_and_follows_the_model(dnit2):
    T, chi = dnit2.curve
    assert len(T) == len(chi) > 300
    assert np.all(np.diff(T) > 0)
    assert T[1] - T[0] < 0.05 * T[0]


def test_plot_draws_on_an_axis_and_matplotlib_waits_for_it():
    # A fresh interpreter: importing suscep and drawing SVG load no matplotlib.
    script = (
        "import sys, suscep\n"
        "T, chi = suscep.read_data(sys.argv[1])\n"
        "r = suscep.fit(suscep.Model(24), T, chi)\n"
        "r.svg()\n"
        "print('matplotlib' in sys.modules)\n"
    )
    done = subprocess.run(
        [sys.executable, "-c", script, str(EXAMPLES / "cuac.dat")],
        capture_output=True, text=True, check=True,
    )
    assert done.stdout == "False\n"


def test_plot_on_a_given_axis_and_on_the_current_one(dnit2):
    matplotlib = pytest.importorskip("matplotlib")
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    fig, ax = plt.subplots()
    assert dnit2.plot(ax, 3, label="per spin") is ax
    labels = [line.get_label() for line in ax.get_lines()]
    assert labels == ["per spin", "fit"]
    T, chi = dnit2.curve
    np.testing.assert_allclose(ax.get_lines()[1].get_ydata(), chi * T)
    assert "chi" in ax.get_ylabel()
    plt.close(fig)
    fig = plt.figure()
    ax = dnit2.plot(quantity=5)
    assert ax is plt.gca()
    assert ax.get_xlabel() == "$T^{-1}$ / K$^{-1}$"
    plt.close(fig)
    with pytest.raises(ValueError):
        dnit2.plot(quantity=9)
