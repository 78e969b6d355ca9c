#!/usr/bin/env bash
# Builds (if needed) and runs one libFuzzer target for a given time.
#   fuzz/run.sh TARGET SECONDS [extra libFuzzer flags...]
# TARGET: free_reader, load, layout, main or importer. New inputs go to
# build-fuzz/corpus/TARGET; the seeds in fuzz/corpus/TARGET are read only.
# A crash, sanitizer report or input slower than 1 s fails the run and
# leaves the input in build-fuzz/artifacts/TARGET/.
set -euo pipefail
if [ $# -lt 2 ]; then
  echo "usage: $0 TARGET SECONDS [libFuzzer flags...]" >&2
  exit 64
fi
target=$1
seconds=$2
shift 2
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SUSCEP_FUZZ_BUILD:-$root/build-fuzz}
seeds=$root/fuzz/corpus/$target
[ -d "$seeds" ] || { echo "no such target: $target" >&2; exit 64; }

if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DSUSCEP_FUZZ=ON -DSUSCEP_BENCH=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target "fuzz_$target" -j2 >/dev/null

mkdir -p "$build/corpus/$target" "$build/artifacts/$target"
cd "$build"
exec "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=1 -max_len=8192 \
  -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/artifacts/$target/" \
  "$@" "$build/corpus/$target" "$seeds"
