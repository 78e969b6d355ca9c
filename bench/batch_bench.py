#!/usr/bin/python3
"""`suscep fit` on many data files against the same batch scripted with lmfit.

Makes 1000 data files of 40 points and 100 of 300 points of expression 24
(x Bleaney-Bower + (1 - x) Curie, S = 1/2, g fitted) from random g, J and x
with 1 % noise, then times, for each set:
  - suscep fit --method global, lm and simplex, each with its default jobs
    (one a processor) and with --jobs 1 (fit, standard errors, statistics,
    one result document per data file, synced to the disk at the end);
  - a Python loop with lmfit's Levenberg-Marquardt (leastsq) doing the same
    batch: read the file, fit, standard errors, a JSON file per data set.
Both start from g = 2.0, J = -120 cm-1, x = 0.95.

The disk's speed at creating files changes from one second to the next, so
each is run ROUNDS times, the lmfit script and suscep's runs in turn, every
run into a fresh directory (nothing is deleted until the end); the medians
are compared.

Usage (Debian's python3 has lmfit):
  /usr/bin/python3 bench/batch_bench.py build/suscep [WORKDIR]
"""

import json
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

import lmfit
import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from lmfit_fit import chi  # noqa: E402  the same model as the single-fit comparison


def make_data(folder, count, points, rng):
    os.makedirs(folder)
    T = np.linspace(2.0, 300.0, points)
    files = []
    for i in range(count):
        g = rng.uniform(2.0, 2.2)
        J = rng.uniform(-200.0, -60.0)
        x = rng.uniform(0.9, 1.0)
        X = chi(g, J, x, T) * (1.0 + 0.01 * rng.standard_normal(points))
        path = os.path.join(folder, f"s{i:04d}.dat")
        with open(path, "w") as f:
            f.write(f"{points}\n")
            for t, v in zip(T, X):
                f.write(f"{t:.4f} {v:.8e}\n")
        files.append(path)
    return files


def write_model(suscep, path):
    model = json.loads(subprocess.run([suscep, "fit", "--template", "24"], check=True,
                                      capture_output=True, text=True).stdout)
    for p, start in zip(model["parameters"], (2.0, -120.0, 0.95)):
        p["start"] = start
        p["step"] = 0.01 * start
    with open(path, "w") as f:
        json.dump(model, f)


def residual(params, T, xobs):
    v = params.valuesdict()
    return xobs - chi(v["g"], v["J"], v["x"], T)


def lmfit_batch(files, out):
    os.makedirs(out)
    for path in files:
        data = np.loadtxt(path, skiprows=1)
        T, X = data[:, 0], data[:, 1]
        params = lmfit.Parameters()
        params.add("g", value=2.0)
        params.add("J", value=-120.0)
        params.add("x", value=0.95)
        r = lmfit.minimize(residual, params, args=(T, X), method="leastsq")
        doc = {
            "file": path,
            "points": len(T),
            "parameters": [{"name": n, "value": p.value, "std_error": p.stderr}
                           for n, p in r.params.items()],
            "chisqr": r.chisqr, "redchi": r.redchi, "aic": r.aic, "bic": r.bic,
            "nfev": r.nfev,
        }
        stem = os.path.splitext(os.path.basename(path))[0]
        with open(os.path.join(out, stem + ".json"), "w") as f:
            json.dump(doc, f)


def timed(f):
    """Wall time, and CPU time of this process and its children."""
    def cpu():
        own = resource.getrusage(resource.RUSAGE_SELF)
        kids = resource.getrusage(resource.RUSAGE_CHILDREN)
        return own.ru_utime + own.ru_stime + kids.ru_utime + kids.ru_stime
    start, start_cpu = time.perf_counter(), cpu()
    f()
    return time.perf_counter() - start, cpu() - start_cpu


ROUNDS = 3


def main():
    suscep = os.path.abspath(sys.argv[1])
    work = sys.argv[2] if len(sys.argv) > 2 else tempfile.mkdtemp(prefix="suscep_batch_")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    rng = np.random.default_rng(20)
    model = os.path.join(work, "model.json")
    write_model(suscep, model)
    print(f"lmfit {lmfit.__version__}, {os.cpu_count()} cores, {ROUNDS} rounds, in {work}")
    runs = 0

    def fresh(name):
        nonlocal runs
        runs += 1
        return os.path.join(work, f"{name}_{runs}")

    for count, points in ((1000, 40), (100, 300)):
        files = make_data(os.path.join(work, f"data{points}"), count, points, rng)
        times = {}
        for _ in range(ROUNDS):
            times.setdefault("lmfit script", []).append(
                timed(lambda: lmfit_batch(files, fresh(f"lmfit{points}"))))
            for method in ("global", "lm", "simplex"):
                for jobs in ([], ["--jobs", "1"]):
                    out = fresh(f"suscep{points}_{method}")
                    os.makedirs(out)
                    cmd = [suscep, "fit", "--method", method] + jobs + ["--output-dir", out, model]
                    run = lambda: subprocess.run(cmd + files, check=False, stdout=subprocess.DEVNULL)
                    times.setdefault(" ".join(["--method", method] + jobs), []).append(timed(run))
        median = {name: (statistics.median(t for t, _ in v), statistics.median(c for _, c in v))
                  for name, v in times.items()}
        base, base_cpu = median["lmfit script"]
        print(f"{count} files of {points} points (medians of wall and CPU time; "
              f"lmfit's time over this one's):")
        for name, (t, c) in median.items():
            print(f"  {name:28s} wall {t:7.2f} s {t / count * 1e3:6.2f} ms/file x{base / t:5.1f}"
                  f"   CPU {c:7.2f} s x{base_cpu / c:5.1f}")
    if len(sys.argv) <= 2:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
