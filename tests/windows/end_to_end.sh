#!/bin/bash
# One end-to-end case of the Windows exe under Wine:
#   end_to_end.sh COREPEN_EXE WIN_HELPER_EXE CASE
# WINEPREFIX names the throwaway prefix of this test run: the exe can reach
# nothing but that prefix's Windows processes. A helper process of several
# threads is started there; its mask is read back through the Windows API
# and from the Linux threads that carry it.
set -u
corepen=$1 helper=$2 case=$3
: "${WINEPREFIX:?the tests make a prefix of their own}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

failures=0
fail() { echo "FAIL ($case): $*"; failures=$((failures + 1)); }

tag=corepen-e2e-$$-$RANDOM
out=$(mktemp)
# Into a file: the helper's process keeps the standard output it inherits.
wine "$helper" spawn 6 "$tag" >"$out"
pid=$(tr -d '\r' <"$out")
unix=$(pgrep -f "live 6 $tag")
[ -n "$pid" ] && [ -n "$unix" ] || { echo "FAIL ($case): no helper"; exit 1; }
trap 'kill -9 $unix 2>/dev/null; rm -f $out; wine reg delete "HKCU\\Software\\Wine" /v Version /f >/dev/null 2>&1' EXIT

# "windows MASK" and then "linux MASK" for each of the helper's threads.
masks() {
  echo "windows $(wine "$helper" mask "$pid" | tr -d '\r')"
  for status in /proc/"$unix"/task/*/status; do
    hex=$(sed -n 's/^Cpus_allowed:\s*//p' "$status")
    printf 'linux %x\n' $((16#${hex//,/}))
  done
}

# every_mask MASK: the helper and all its threads are on MASK.
every_mask() {
  local got want
  got=$(masks)
  want=$(printf 'windows %s\n' "$1"; for _ in /proc/"$unix"/task/*; do printf 'linux %s\n' "$1"; done)
  [ "$got" = "$want" ] || fail "masks, want $1:"$'\n'"$got"
  [ "$(grep -c linux <<<"$got")" -eq 6 ] || fail "the helper should have 6 threads"
}

# run WORDS...: the exe's output into $out, its status into $status.
run() { wine "$corepen" "$@" >"$out"; status=$?; }

expect() {  # STATUS TEXT (printf format; line ends as the C runtime writes them)
  [ "$status" -eq "$1" ] || fail "status $status, want $1"
  cmp -s "$out" <(printf "$2") || fail "output: $(od -c "$out" | head -20)"
}

usage='Argument 1-n: Processor IDs, #( 0 - 31 supported)\r\n\r\nExample: Corepen 0 1\r\n\r\n'
warning() { printf 'Processor ID: %s is not valid, and will be ignored.\\r\\n' "$1"; }
[ "$(nproc)" -ge 2 ] && [ "$(nproc)" -lt 32 ] || { echo "FAIL: needs 2 to 31 processors"; exit 1; }

initial=$(masks)
case $case in
  usage)
    run
    expect 1 "$usage"
    [ "$(masks)" = "$initial" ] || fail "something changed"
    ;;
  confine)
    run 1
    expect 0 ""
    every_mask 2
    ;;
  absent)
    run 31 0 -1 1
    expect 0 "$(warning 31)$(warning -1)"
    every_mask 3
    run 1
    every_mask 2
    ;;
  rejected)
    run 1
    every_mask 2
    run 31 -1
    expect 0 "$(warning 31)$(warning -1)"
    every_mask 2
    ;;
  win98)
    wine reg add 'HKCU\Software\Wine' /v Version /d win98 /f >/dev/null 2>&1
    run 1 31
    expect 1 'WinNT/2000/XP REQUIRED!\r\n'
    [ "$(masks)" = "$initial" ] || fail "something changed"
    run
    expect 1 "$usage"
    ;;
  *)
    echo "unknown case $case"; exit 2 ;;
esac
[ "$failures" -eq 0 ] && echo "PASS ($case)"
[ "$failures" -eq 0 ]
