#!/usr/bin/env bash
# Draws the figures of the README and docs/ from the worked examples, each
# the program's own SVG with a PNG beside it made by rsvg-convert:
#
#   tools/doc_figures.sh [SUSCEP [FOLDER]]    (default: build/suscep, docs)
#
# A word from rsvg-convert (a warning) fails the script. The tests run it
# into a scratch folder and hold its SVGs to those in docs/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
suscep=$(realpath "${1:-$root/build/suscep}")
out=$(realpath "${2:-$root/docs}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$root"/examples/{cuac.dat,dnit2.dat,er2-like.dat,er2-like-model.json} "$work"
cd "$work"

# The dialogue's SUSCEP.SVG: X vs. T with the ranges typed (0 300 50, 0 0.002 0.001).
"$suscep" < "$root/examples/cuac-answers.txt" > /dev/null
cp SUSCEP.SVG "$out/example-fit.svg"
# suscep fit --svg --residuals: the worked example from its SUSCEP.JSON, and
# the Er(III)-like dimer.
"$suscep" < "$root/examples/dnit2-answers.txt" > /dev/null
"$suscep" fit --svg --residuals SUSCEP.JSON dnit2.dat > /dev/null
cp dnit2.svg "$out/figure-dnit2.svg"
"$suscep" fit --svg --residuals er2-like-model.json er2-like.dat > /dev/null
cp er2-like.svg "$out/figure-er2-like.svg"

for figure in example-fit figure-dnit2 figure-er2-like; do
  rsvg-convert -d 150 -p 150 -o "$out/$figure.png" "$out/$figure.svg" 2> said.txt
  if [ -s said.txt ]; then
    echo "doc_figures: rsvg-convert on $figure.svg:" >&2
    cat said.txt >&2
    exit 1
  fi
done
