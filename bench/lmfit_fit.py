#!/usr/bin/python3
"""The fit of BM_FitDefault done the way a chemist would script it: lmfit's
Levenberg-Marquardt (leastsq) on the same model, data and start.

Expression 24 with g fitted: x (Bleaney-Bower) + (1 - x) (Curie, S = 1/2),
300 points at T = 2..301 K made from g = 2.1, J = -140 cm-1, x = 0.98 with a
1 % ripple, started from g = 2.0, J = -120, x = 0.95.

Prints the median and the spread of the wall time of one whole fit (model set
up, minimize, covariance) over many runs, and the evaluation count.
Needs Debian's python3-lmfit:  /usr/bin/python3 bench/lmfit_fit.py
"""

import statistics
import time

import lmfit
import numpy as np

HCK = float(np.float32(1.4387676))
NB2K = float(np.float32(0.37514585))


def chi(g, J, x, T):
    cg2 = g * g * NB2K
    bb = 2.0 * cg2 / T / (np.exp(-(HCK * J * 2.0 / T)) + 3.0) / 2.0
    curie = cg2 / T * 1.5 * 0.5 / 3.0
    return x * bb + (1.0 - x) * curie


T = 2.0 + np.arange(300.0)
XOBS = chi(2.1, -140.0, 0.98, T) * (1.0 + 0.01 * np.sin(0.7 * np.arange(300.0)))


def residual(params, T, xobs):
    v = params.valuesdict()
    return xobs - chi(v["g"], v["J"], v["x"], T)


def fit():
    params = lmfit.Parameters()
    params.add("g", value=2.0)
    params.add("J", value=-120.0)
    params.add("x", value=0.95)
    return lmfit.minimize(residual, params, args=(T, XOBS), method="leastsq")


def main():
    result = fit()
    for _ in range(50):  # warm-up
        fit()
    times = []
    for _ in range(1000):
        start = time.perf_counter()
        fit()
        times.append(time.perf_counter() - start)
    times.sort()
    print(f"lmfit {lmfit.__version__} leastsq, 300 points: {result.nfev} evaluations")
    print(
        "values: "
        + ", ".join(f"{n} = {p.value:.6g} +/- {p.stderr:.3g}" for n, p in result.params.items())
    )
    print(
        f"one fit: median {statistics.median(times) * 1e3:.3f} ms, "
        f"quartiles {times[250] * 1e3:.3f}-{times[750] * 1e3:.3f} ms over {len(times)} runs"
    )


if __name__ == "__main__":
    main()
