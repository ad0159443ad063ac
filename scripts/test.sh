#!/bin/bash
# Installs what is needed, builds everything and runs every test: the Linux
# tool (unit and system), the same under sanitizers, the command-line fuzzer
# for a bounded time, and the Windows exe under Wine; then it packages both
# and checks what the packages hold. As root: the Linux cases each run in a
# PID namespace of their own.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || { echo "run as root" >&2; exit 1; }
scripts/install-deps.sh
log=$(mktemp)
trap 'rm -f "$log"' EXIT
for preset in linux linux-asan fuzz windows; do
  echo "=== $preset"
  cmake --workflow --preset "$preset" --fresh 2>&1 | tee -a "$log"
done
echo "=== packages"
scripts/package.sh
scripts/check-packages.sh
# ctest's own summaries, added up: "N% tests passed, F tests failed out of T".
awk '/tests passed, [0-9]+ tests? failed out of/ { failed += $4; total += $NF }
     END { printf "all: %d passed, %d failed\n", total - failed, failed }' "$log"
