#!/usr/bin/env bash
# Times `suscep import` on a made-up MPMS3 file of ROWS rows (default 10^6;
# 18 columns, two sweeps at two fields, a few empty cells) and reports the
# wall time and the peak memory from /usr/bin/time -v.
#   bench/import_large.sh [ROWS] [BUILD]
set -euo pipefail
rows=${1:-1000000}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${2:-$root/build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 - "$rows" "$work/large.dat" <<'PY'
import math, random, sys
rows, path = int(sys.argv[1]), sys.argv[2]
rng = random.Random(1)
cols = ["Comment", "Time Stamp (sec)", "Temperature (K)", "Magnetic Field (Oe)", "Moment (emu)",
        "M. Std. Err. (emu)", "Transport Action", "Averaging Time (sec)", "Frequency (Hz)",
        "Peak Amplitude (mm)", "Center Position (mm)", "Range (mV)", "Min. Temperature (K)",
        "Max. Temperature (K)", "Min. Field (Oe)", "Max. Field (Oe)", "Mass (grams)",
        "Pressure (Torr)"]
with open(path, "w") as out:
    out.write("[Header]\nTITLE,large\nINFO,12.5,SAMPLE_MASS\nINFO,450.3,SAMPLE_MOLECULAR_WEIGHT\n"
              "[Data]\n" + ",".join(cols) + "\n")
    half = rows // 2
    for k in range(rows):
        if k % half == 0:
            out.write('"%s, 1000 Oe",' % ("ZFC" if k == 0 else "FC") + "," * 16 + "\n")
        t = 2.0 + 298.0 * (k % half) / half
        h = (1000.0 if k % 2 else 10000.0) + rng.gauss(0, 0.2)
        m = 0.4 / t * h * 0.0125 / 450.3
        cell = "" if k % 997 == 0 else "%.7E" % m
        out.write(",%.2f,%.4f,%.4f,%s,1.0E-08,1,1,40,2,35.2,50,%.4f,%.4f,%.4f,%.4f,0.0125,5.0\n"
                  % (1e9 + k, t, h, cell, t - 0.01, t + 0.01, h - 0.1, h + 0.1))
PY
ls -l "$work/large.dat" | awk '{printf "file: %d rows, %.0f MB\n", '"$rows"', $5 / 1e6}'
cd "$work"
/usr/bin/time -v "$build/suscep" import large.dat --field 1000 --sweep zfc >summary.txt 2>time.txt
grep -E 'points|binned' summary.txt
grep -E 'Elapsed|Maximum resident|User time|System time' time.txt
