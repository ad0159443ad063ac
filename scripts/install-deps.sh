#!/bin/sh
# Installs, from Debian's packages, what building and testing Corepen takes:
#   install-deps.sh          everything: the Linux tool, the Windows exe, the tests
#   install-deps.sh --demo   only what building the Linux tool takes
set -eu
[ "$(id -u)" -eq 0 ] || { echo "run as root: it installs packages with apt-get" >&2; exit 1; }
export DEBIAN_FRONTEND=noninteractive
linux="cmake ninja-build gcc g++ make util-linux procps"
if [ "${1:-}" = --demo ]; then
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends $linux >/dev/null
  exit 0
fi
dpkg --add-architecture i386
apt-get update -qq
apt-get install -y -qq --no-install-recommends $linux \
  googletest libgtest-dev libgmock-dev clang libclang-rt-14-dev dpkg-dev unzip \
  gcc-mingw-w64-i686 g++-mingw-w64-i686 binutils-mingw-w64-i686 \
  wine wine32 wine64 >/dev/null
