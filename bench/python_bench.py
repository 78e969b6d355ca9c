#!/usr/bin/python3
"""The Python module against what a notebook user writes today, in the same
run: expression 24 with g fitted on the 300 points of bench/lmfit_fit.py.

- evaluation: model(T, values) against the same expression written with numpy
  by hand (lmfit_fit.chi);
- fit: suscep.fit (its default method, global; and the dialogue's simplex)
  against lmfit's minimize (Levenberg-Marquardt), and suscep.fit with
  method="lm" against scipy's least_squares (trust region reflective, the
  same residuals as numpy by hand), on the same model, data and start
  (lmfit_fit.fit);
- the result document: to_dict() of a fresh result, and again.

The two sides of each pair are timed in alternate rounds, so a change of the
machine's load falls on both. Prints medians and quartiles of the wall time
and the ratios, with the load average before and after.

Build the module first; then
    PYTHONPATH=build/python /usr/bin/python3 bench/python_bench.py
"""

import os
import statistics
import sys
import time

import numpy as np
from scipy.optimize import least_squares

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lmfit_fit  # noqa: E402  the data, the numpy model and the lmfit fit
import suscep  # noqa: E402

ROUNDS = 20


def timed(fn, calls):
    """Wall time of one call, from `calls` calls in a row."""
    start = time.perf_counter()
    for _ in range(calls):
        fn()
    return (time.perf_counter() - start) / calls


def compare(name_a, fn_a, name_b, fn_b, calls):
    """Alternate rounds of fn_a and fn_b; returns the two lists of times."""
    fn_a(), fn_b()  # warm-up
    a, b = [], []
    for _ in range(ROUNDS):
        a.append(timed(fn_a, calls))
        b.append(timed(fn_b, calls))
    for label, times in ((name_a, a), (name_b, b)):
        q = statistics.quantiles(times, n=4)
        print(
            f"  {label:<34} median {statistics.median(times) * 1e6:9.1f} us"
            f"  (quartiles {q[0] * 1e6:.1f}-{q[2] * 1e6:.1f})"
        )
    ratio = statistics.median(b) / statistics.median(a)
    print(f"  {name_a} is {ratio:.1f} times as fast")
    return a, b


def main():
    T, xobs = lmfit_fit.T, lmfit_fit.XOBS
    model = suscep.Model(24, terms=[{}, {"S": 0.5}])
    truth = [2.1, -140.0, 0.98]
    ours = model(T, truth)
    theirs = lmfit_fit.chi(*truth, T)
    worst = float(np.max(np.abs(ours - theirs) / np.abs(theirs)))
    print(f"load average before: {os.getloadavg()[0]:.2f}")
    print(f"expression 24, {len(T)} points; largest relative difference of the two models {worst:.1e}")

    print("evaluation, one call:")
    compare(
        "suscep model(T, values)",
        lambda: model(T, truth),
        "numpy by hand",
        lambda: lmfit_fit.chi(2.1, -140.0, 0.98, T),
        2000,
    )

    start = [2.0, -120.0, 0.95]
    result = suscep.fit(model, T, xobs, start)
    lm = lmfit_fit.fit()
    print(f"fit, one whole fit (suscep's default, {result.method}: "
          f"{result.fit['evaluations']} evaluations, lmfit: {lm.nfev}):")
    print("  suscep: " + ", ".join(f"{n} = {v:.6g}" for n, v in result.values.items()))
    print("  lmfit:  " + ", ".join(f"{n} = {p.value:.6g}" for n, p in lm.params.items()))
    compare(
        "suscep.fit",
        lambda: suscep.fit(model, T, xobs, start),
        "lmfit minimize",
        lmfit_fit.fit,
        20,
    )
    compare(
        "suscep.fit(method='simplex')",
        lambda: suscep.fit(model, T, xobs, start, method="simplex"),
        "lmfit minimize",
        lmfit_fit.fit,
        20,
    )
    def scipy_fit():
        return least_squares(lambda p: lmfit_fit.chi(*p, T) - xobs, start)

    ls = scipy_fit()
    print("  scipy:  " + ", ".join(f"{v:.6g}" for v in ls.x) + f" ({ls.nfev} evaluations)")
    compare("suscep.fit(method='lm')", lambda: suscep.fit(model, T, xobs, start, method="lm"),
            "scipy least_squares", scipy_fit, 20)

    # The methods against scipy's Levenberg-Marquardt (MINPACK) from the same
    # start, the model in numpy.
    def scipy_lm():
        return least_squares(lambda p: lmfit_fit.chi(*p, T) - xobs, start, method="lm")

    ls = scipy_lm()
    print(f"  scipy lm: " + ", ".join(f"{v:.6g}" for v in ls.x) + f" ({ls.nfev} evaluations)")
    for method in ("lm", "global"):
        r = suscep.fit(model, T, xobs, start, method=method)
        print(f"  suscep {method}: " + ", ".join(f"{v:.6g}" for v in r.values.values()) +
              f" ({r.fit['evaluations']} evaluations)")
        compare(f"suscep.fit(method=\"{method}\")",
                lambda: suscep.fit(model, T, xobs, start, method=method),
                "scipy least_squares(method=\"lm\")", scipy_lm, 20)

    print("the result document of the worked example (dnit2, 29 points):")
    here = os.path.dirname(os.path.abspath(__file__))
    Td, chid = suscep.read_data(os.path.join(here, "..", "examples", "dnit2.dat"))
    worked = [2.0, -150.0, 0.99]
    fresh = [suscep.fit(model, Td, chid, worked, corrections={"factor": 0.5}) for _ in range(1010)]
    kept = fresh.pop()
    kept.to_dict()
    compare("to_dict(), again", kept.to_dict, "to_dict() of a fresh result",
            lambda: fresh.pop().to_dict(), 50)
    print(f"load average after: {os.getloadavg()[0]:.2f}")


if __name__ == "__main__":
    main()
