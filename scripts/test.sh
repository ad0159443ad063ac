#!/bin/sh
# Installs what is needed, builds everything and runs every test: the Linux
# tool (unit and system), the same under sanitizers, the command-line fuzzer
# for a bounded time, and the Windows exe under Wine; then it packages both
# and checks what the packages hold. As root: the Linux cases each run in a
# PID namespace of their own.
set -eu
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || { echo "run as root" >&2; exit 1; }
scripts/install-deps.sh
for preset in linux linux-asan fuzz windows; do
  echo "=== $preset"
  cmake --workflow --preset "$preset" --fresh
done
echo "=== packages"
scripts/package.sh
scripts/check-packages.sh
