#!/bin/sh
# Installs what is needed, builds everything and runs every test. As root:
# the Linux cases each run in a PID namespace of their own.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --workflow --preset linux --fresh
cmake --workflow --preset windows --fresh
