#!/bin/sh
# Builds the Linux tool and runs the benchmark: Corepen against the floor
# and a per-process loop, each population in a throwaway PID namespace.
# As root. Writes bench/results.csv and bench/results.svg.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh --demo
command -v python3 >/dev/null || apt-get install -y -qq --no-install-recommends python3 >/dev/null
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build build/bench >/dev/null
exec python3 bench/bench.py build/bench "$@"
