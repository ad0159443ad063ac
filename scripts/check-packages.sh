#!/bin/sh
# Checks what the packages hold, without running anything from them: the
# .deb unpacks in a throwaway root with the binary and its manual page and
# asks for nothing beyond the C library; the ZIP holds the very exe that
# the Windows tests ran, and its text.
set -eu
cd "$(dirname "$0")/.."
fail() { echo "FAIL: $*"; exit 1; }
deb=$(ls build/linux/packages/corepen_*.deb)
zip=$(ls build/windows/packages/corepen-*-win32.zip)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/linux/CMakeCache.txt)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

dpkg-deb -x "$deb" "$root/deb"
[ -x "$root/deb/usr/bin/corepen" ] || fail "no /usr/bin/corepen in $deb"
cmp -s "$root/deb/usr/bin/corepen" build/linux/corepen || fail "the .deb's corepen is not the one built"
grep -q "corepen $version" "$root/deb/usr/share/man/man1/corepen.1" || fail "no manual page of $version"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version"
depends=$(dpkg-deb -f "$deb" Depends)
extra=$(echo "$depends" | tr ',' '\n' | sed 's/^ *//' | grep -v '^libc6\b' || true)
[ -z "$extra" ] || fail "depends on more than the C library: $depends"
# Into an empty root with a database of its own; the C library is not in it.
mkdir -p "$root/installed" "$root/admin/updates" "$root/admin/info" && touch "$root/admin/status"
dpkg --instdir="$root/installed" --admindir="$root/admin" --log=/dev/null --force-not-root \
  --force-script-chrootless --force-depends -i "$deb" >/dev/null 2>&1 ||
  fail "dpkg cannot install $deb into a throwaway root"
[ -x "$root/installed/usr/bin/corepen" ] || fail "dpkg --root left no corepen"

mkdir "$root/zip" && (cd "$root/zip" && unzip -q "$OLDPWD/$zip")
cmp -s "$root/zip/corepen.exe" build/windows/corepen.exe || fail "the ZIP's exe is not the one tested"
grep -q "Corepen $version for Windows" "$root/zip/README.txt" || fail "no README.txt of $version in the ZIP"
echo "packages hold what they should: $deb ($depends), $zip"
