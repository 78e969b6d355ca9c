#!/usr/bin/python3
"""The worked example of the README fitted from Python: examples/dnit2.dat,
expression 24 (Bleaney-Bower with a Curie impurity of S = 1/2), g fitted,
the data per spin (factor 0.5). Prints the result and saves the figure of
chi*T against T with the data and the fitted curve as dnit2-fit.svg (for a
paper) and, drawn with matplotlib, as dnit2-fit.png.

    cd examples && PYTHONPATH=../build/python /usr/bin/python3 fit_dnit2.py
"""

import matplotlib

matplotlib.use("Agg")  # no display needed
import matplotlib.pyplot as plt  # noqa: E402

import suscep  # noqa: E402

T, chi = suscep.read_data("dnit2.dat")  # K, cm3/mol per mole of diradical
model = suscep.Model(24, terms=[{}, {"S": 0.5}])  # g fitted, no Z*JP, no theta
print("parameters:", model.parameter_names)

result = suscep.fit(
    model,
    T,
    chi,
    start={"g-value": 2.0, "J-BB": -150.0, "COEFF1": 0.99},
    corrections={"factor": 0.5},  # two spins per mole
    name="dnit2.dat",
)
print(result)

# The figure for a paper: chi*T with the fit, the residuals and the values.
with open("dnit2-fit.svg", "w", encoding="utf-8") as f:
    f.write(result.svg(3, residuals=True))
# The same data and fit on a matplotlib axis, for a figure of one's own.
fig, ax = plt.subplots(figsize=(6, 4))
result.plot(ax, 3, label="dnit2.dat (per spin)")
j = result.values["J-BB"]
ax.set_title(f"J = {j:.1f} cm⁻¹, g = {result.values['g-value']:.3f}")
fig.tight_layout()
fig.savefig("dnit2-fit.png", dpi=120)
print("figures: dnit2-fit.svg, dnit2-fit.png")
