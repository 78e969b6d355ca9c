#!/usr/bin/python3
"""`suscep.fit(model, T, chi)` with no starts against scipy's least_squares
from a good start (the truth), on the worked example's data and on random
data sets of three models.

For each set: the L.S. error of the module's default fit, and the lowest
that scipy's Levenberg-Marquardt reaches on the same model function from the
data's own parameters. The fit reaches the minimum when its L.S. error is at
most 1E-9 (relative) above scipy's. Exits 1 unless every set does.

    PYTHONPATH=build/python /usr/bin/python3 bench/check_minimum.py [--sets 50] [--method M]
"""

import argparse
import os
import sys

import numpy as np
from scipy.optimize import least_squares

import suscep

HERE = os.path.dirname(os.path.abspath(__file__))

# The models, and how their parameters are drawn.
MODELS = {
    "24: Bleaney-Bower + Curie impurity": (
        suscep.Model(24),
        lambda rng: [rng.uniform(2.0, 2.2), rng.uniform(-300.0, -10.0), rng.uniform(0.9, 0.99)],
    ),
    "Curie-Weiss, S = 1/2": (
        suscep.Model(terms=[{"function": 1, "S": 0.5, "correction": True}]),
        lambda rng: [rng.uniform(1.9, 2.3), rng.uniform(-30.0, 5.0)],
    ),
    "Bonner-Fisher chain": (
        suscep.Model(terms=[{"function": 6}]),
        lambda rng: [rng.uniform(2.0, 2.2), rng.uniform(-150.0, -2.0)],
    ),
}


def scipy_minimum(model, T, chi, start):
    """The lowest L.S. error of scipy's lm from `start` (tight tolerances)."""
    scale = float(np.sum(chi * chi))
    r = least_squares(lambda p: chi - model(T, p), start, method="lm",
                      xtol=1e-15, ftol=1e-15, gtol=1e-15, max_nfev=20000)
    return float(np.sum(r.fun ** 2)) / scale


def compare(label, model, T, chi, truth, method):
    kwargs = {} if method is None else {"method": method}
    result = suscep.fit(model, T, chi, **kwargs)
    ours = result.ls_error
    theirs = scipy_minimum(model, T, chi, truth)
    excess = (ours - theirs) / theirs
    ok = excess <= 1e-9
    return ok, f"{label:38} {ours:.12e} {theirs:.12e} {excess:+.1e}{'' if ok else '  ABOVE'}"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--sets", type=int, default=50)
    parser.add_argument("--seed", type=int, default=50)
    parser.add_argument("--method", default=None, help="passed to fit(); none: its default")
    parser.add_argument("--quiet", action="store_true")
    args = parser.parse_args()
    rng = np.random.default_rng(args.seed)
    lines, failures, count = [], 0, 0

    T, chi = suscep.read_data(os.path.join(HERE, "..", "examples", "dnit2.dat"))
    model = suscep.Model(24)
    good = suscep.fit(model, T, chi, [2.0, -150.0, 0.99], method="lm").values
    ok, line = compare("worked example (dnit2)", model, T, chi, list(good.values()), args.method)
    failures += not ok
    count += 1
    lines.append(line)

    T = np.linspace(2.0, 300.0, 60)
    for name, (model, draw) in MODELS.items():
        for k in range(args.sets):
            truth = draw(rng)
            chi = model(T, truth) * (1.0 + 0.01 * rng.standard_normal(T.size))
            ok, line = compare(f"{name} #{k + 1}", model, T, chi, truth, args.method)
            failures += not ok
            count += 1
            if not ok or not args.quiet:
                lines.append(line)
    print(f"{'set':38} {'suscep.fit':>18} {'scipy from truth':>18} excess")
    print("\n".join(lines))
    print(f"{count - failures} of {count} sets at scipy's minimum (1E-9); method "
          f"{args.method or 'the default'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
