#!/usr/bin/python3
"""The worked example of the README fitted from Python: examples/dnit2.dat,
expression 24 (Bleaney-Bower with a Curie impurity of S = 1/2), g fitted,
the data per spin (factor 0.5). Prints the result and saves a figure of
chi*T against T with the data and the fitted curve to dnit2-fit.png.

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

# The data as fitted (corrected) and the fitted curve, as chi*T.
doc = result.to_dict()
t_obs, chi_obs = doc["data"]["temperature"], doc["data"]["chi_corrected"]
t_fit, chi_fit = doc["curve"]["temperature"], doc["curve"]["chi"]
fig, ax = plt.subplots(figsize=(6, 4))
ax.plot(t_obs, [c * t for c, t in zip(chi_obs, t_obs)], "o", label="dnit2.dat (per spin)")
ax.plot(t_fit, [c * t for c, t in zip(chi_fit, t_fit)], "-", label="expression 24, fitted")
ax.set_xlabel("T (K)")
ax.set_ylabel("χT (cm³ K/mol)")
j = result.values["J-BB"]
ax.set_title(f"J = {j:.1f} cm⁻¹, g = {result.values['g-value']:.3f}")
ax.legend()
fig.tight_layout()
fig.savefig("dnit2-fit.png", dpi=120)
print("figure: dnit2-fit.png")
