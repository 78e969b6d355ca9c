#!/usr/bin/env bash
# Soak run: RUNS (default 1000) scripted sessions with random answers against
# suscep built with AddressSanitizer and UndefinedBehaviorSanitizer.
#   fuzz/soak.sh [RUNS] [SEED]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SUSCEP_SOAK_BUILD:-$root/build-soak}
command -v python3 >/dev/null || { echo "soak.sh needs python3" >&2; exit 1; }
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DSUSCEP_SANITIZE=ON -DSUSCEP_BENCH=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target suscep -j2 >/dev/null
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  exec python3 "$root/fuzz/soak.py" "$build/suscep" "${1:-1000}" "${2:-1}"
