#!/bin/sh
# Builds the Debian package of the Linux tool and the ZIP of the Windows exe
# into build/linux/packages and build/windows/packages. Run scripts/test.sh
# (or scripts/install-deps.sh) first for the toolchains.
set -eu
cd "$(dirname "$0")/.."
for preset in linux windows; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" >/dev/null
  cpack --preset "$preset"
done
