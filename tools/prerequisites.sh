#!/usr/bin/env bash
# Installs the Debian packages a task needs that are not installed yet, and
# says which; root or sudo is needed only when something is missing.
#
#   tools/prerequisites.sh run    build and start the program
#   tools/prerequisites.sh test   the above, and build and pass all tests
#   tools/prerequisites.sh ci     the above, benchmarks and fuzzing (.ci/run)
set -euo pipefail

# One package a line: the first task that needs it, the package, and why.
# Each task needs its own packages and those of the tasks above it.
packages='
run   g++                  compiler
run   cmake                build
run   make                 build
run   libeigen3-dev        least-squares statistics
run   nlohmann-json3-dev   SUSCEP.JSON
run   libedit-dev          line editing on a terminal
run   libssl-dev           SHA-256 of imported files
run   libcli11-dev         command-line options
run   libcpp-httplib-dev   the server of suscep serve
run   pkg-config           finds cpp-httplib
test  libgtest-dev         tests
test  librsvg2-bin         the test that renders a picture
test  chromium             the web page test in a browser
test  chromium-driver      the web page test in a browser
test  python3-selenium     the web page test in a browser
test  python3              Python tests
test  python3-dev          Python module
test  pybind11-dev         Python module
test  python3-pybind11     Python module
test  python3-numpy        Python module tests
test  python3-pytest       Python module tests
test  python3-matplotlib   Python module tests (Result.plot) and examples/fit_dnit2.py
test  python3-venv         Python module install tests
test  python3-pip          Python module install tests (pip install .)
test  python3-setuptools   Python module install tests (pip install .)
test  python3-wheel        Python module install tests (pip install .)
ci    libbenchmark-dev     benchmarks
ci    python3-lmfit        benchmark against a scripted fit
ci    python3-scipy        benchmark against least_squares
ci    clang                fuzzing
ci    libclang-rt-14-dev   fuzzing runtime
'

task=${1:-test}
case "$task" in
  run) tasks='run' ;;
  test) tasks='run test' ;;
  ci) tasks='run test ci' ;;
  *)
    echo "usage: tools/prerequisites.sh [run|test|ci]" >&2
    exit 2
    ;;
esac

if ! command -v dpkg-query >/dev/null || ! command -v apt-get >/dev/null; then
  echo "prerequisites: needs Debian or Ubuntu (dpkg-query and apt-get); install by hand:" >&2
  echo "$packages" | awk -v t=" $tasks " 'NF && index(t, " " $1 " ") { printf " %s", $2 } END { print "" }' >&2
  exit 1
fi

missing=()
while read -r first package _; do
  [ -n "${first:-}" ] || continue
  case " $tasks " in *" $first "*) ;; *) continue ;; esac
  status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$package" 2>/dev/null || true)
  [ "${status:0:2}" = ii ] || missing+=("$package")
done <<<"$packages"

[ ${#missing[@]} -eq 0 ] && exit 0

echo "prerequisites: installing ${missing[*]}"
sudo=()
if [ "$(id -u)" != 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "prerequisites: run as root, or install sudo, to install ${missing[*]}" >&2
    exit 1
  fi
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
