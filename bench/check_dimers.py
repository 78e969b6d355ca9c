#!/usr/bin/python3
"""Twelve synthetic Cu(II) dimers fitted from one `suscep fit --template 24`
model, with no per-file tuning.

Each file: 60 points from 2 to 300 K of x Bleaney-Bower + (1 - x) Curie
(S = 1/2) per mole of dimer (twice the per-copper value the expression
gives), plus a diamagnetic term, with 0.5 % noise; g from 2.04 to 2.22, J
from -5 to -300 cm-1, x from 0.95 to 0.995 (random, a fixed seed). The model
file is the template's, its corrections set to the diamagnetic term and a
factor of 0.5 (per copper). Prints each file's truth, fit and distance in
standard errors; exits 1 unless every parameter of every file lands within
2 standard errors of its truth.

    /usr/bin/python3 bench/check_dimers.py build/suscep [--method lm] [--seed N]
"""

import argparse
import json
import os
import subprocess
import sys
import tempfile

import numpy as np

DIAMAGNETIC = -2.0e-4  # cm3/mol of dimer
NAMES = ("g-value", "J-BB", "COEFF1")


def per_copper(g, J, x, T):
    """Expression 24 per copper, as the program evaluates it."""
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(sys.argv[1])), "python"))
    import suscep  # noqa: E402  the module beside the program

    return suscep.Model(24)(T, [g, J, x])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("suscep")
    parser.add_argument("--method", default=None, help="override the template's method")
    parser.add_argument("--weights", default=None, help="override the template's weights")
    parser.add_argument("--seed", type=int, default=12)
    parser.add_argument("--files", type=int, default=12)
    args = parser.parse_args()
    program = os.path.abspath(args.suscep)
    rng = np.random.default_rng(args.seed)
    work = tempfile.mkdtemp(prefix="suscep_dimers_")
    T = np.linspace(2.0, 300.0, 60)
    truths, files = [], []
    for i in range(args.files):
        g, J, x = rng.uniform(2.04, 2.22), rng.uniform(-300.0, -5.0), rng.uniform(0.95, 0.995)
        chi = 2.0 * per_copper(g, J, x, T) + DIAMAGNETIC
        chi = chi * (1.0 + 0.005 * rng.standard_normal(T.size))
        path = os.path.join(work, f"cu{i:02d}.dat")
        with open(path, "w") as f:
            f.write(f"{T.size}\n")
            f.writelines(f"{t:.4f} {c:.10e}\n" for t, c in zip(T, chi))
        truths.append((g, J, x))
        files.append(path)

    model = json.loads(subprocess.run([program, "fit", "--template", "24"], check=True,
                                      capture_output=True, text=True).stdout)
    model["corrections"]["diamagnetic"] = DIAMAGNETIC
    model["corrections"]["factor"] = 0.5
    model_path = os.path.join(work, "model.json")
    with open(model_path, "w") as f:
        json.dump(model, f)
    command = [program, "fit", "--json", "--output-dir", work, model_path] + files
    if args.method:
        command[2:2] = ["--method", args.method]
    if args.weights:
        command[2:2] = ["--weights", args.weights]
    summary = json.loads(subprocess.run(command, capture_output=True, text=True).stdout)

    worst, bad = 0.0, 0
    print(f"method {args.method or model['fit']['method']}, {len(files)} files in {work}")
    print(f"{'file':8} {'g':>14} {'J':>18} {'x':>16}  worst |fit-truth|/SE")
    for truth, r in zip(truths, summary["results"]):
        fitted = {p["name"]: (p["value"], p["std_error"]) for p in r["parameters"]}
        distances = []
        cells = []
        for name, t in zip(NAMES, truth):
            value, se = fitted[name]
            d = abs(value - t) / se if se else float("inf")
            distances.append(d)
            cells.append(f"{t:8.3f}>{value:8.3f}")
        far = max(distances)
        worst = max(worst, far)
        bad += far > 2.0
        print(f"{os.path.basename(r['file'])[:-4]:8} {cells[0]:>14} {cells[1]:>18} {cells[2]:>16}"
              f"  {far:5.2f}{'  FAR' if far > 2.0 else ''}")
    failed = len(summary["failures"])
    print(f"{bad} of {len(files)} files beyond 2 standard errors, {failed} failed; worst {worst:.2f}")
    return 1 if bad or failed else 0


if __name__ == "__main__":
    sys.exit(main())
