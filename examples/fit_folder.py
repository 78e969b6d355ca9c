#!/usr/bin/python3
"""Fits one model to every data file (*.dat) of a folder and writes a CSV
table: one row per file with the points, the L.S. error, each parameter's
value and standard error, and whether the fit stopped short.

    PYTHONPATH=build/python /usr/bin/python3 examples/fit_folder.py MODEL FOLDER [OUT.csv]

MODEL is a model file, for example a SUSCEP.JSON written by the program: its
model, corrections, starts and steps and fit settings are used for every
file. A file that cannot be read or fitted is reported on standard error and
the others are still fitted.
"""

import csv
import pathlib
import sys

import suscep


def main(argv):
    if len(argv) not in (3, 4):
        sys.exit(__doc__)
    model = suscep.Model.from_file(argv[1])
    folder = pathlib.Path(argv[2])
    out = argv[3] if len(argv) == 4 else "results.csv"
    names = model.parameter_names
    header = ["file", "points", "ls_error"]
    for name in names:
        header += [name, name + " std_error"]
    header += ["budget_exhausted", "stopped_short"]
    failed = 0
    with open(out, "w", newline="", encoding="utf-8") as f:
        table = csv.writer(f)
        table.writerow(header)
        for path in sorted(folder.glob("*.dat")):
            try:
                T, chi = suscep.read_data(path)
                result = suscep.fit(model, T, chi, name=path.name)
            except (OSError, ValueError) as e:
                print(f"{path}: {e}", file=sys.stderr)
                failed += 1
                continue
            row = [path.name, len(T), result.ls_error]
            for name in names:
                row += [result.values[name], result.std_error[name]]
            row += [result.fit["budget_exhausted"], result.minimum_check["stopped_short"]]
            table.writerow(row)
    print(f"{out}: written; {failed} file(s) failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
