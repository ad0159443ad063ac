#!/bin/sh
# Builds Corepen and shows what it does, safely: inside a throwaway PID
# namespace it starts three demo processes of several threads each, shows
# where every thread there may run, runs `corepen WORDS...` and shows it
# again. The machine's own processes are out of its reach. As root:
#   scripts/demo.sh 1
set -eu
cd "$(dirname "$0")/.."
[ "$#" -gt 0 ] || set -- 0
scripts/install-deps.sh --demo
cmake -S . -B build/demo -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build build/demo >/dev/null
exec unshare --pid --fork --mount-proc --kill-child /bin/sh -c '
  corepen=build/demo/corepen helper=build/demo/thread_helper
  $helper spawn 4 >/dev/null && $helper spawn 3 >/dev/null && $helper spawn 2 >/dev/null
  echo "A new PID namespace: this shell and three demo processes. Before:"
  $helper show
  echo
  echo "\$ corepen $*"
  $corepen "$@"
  echo "(exit status $?)"
  echo
  echo "After:"
  $helper show
' demo "$@"
