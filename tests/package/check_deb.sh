#!/usr/bin/env bash
# Builds the Debian package, installs it with dpkg (as root; elsewhere it is
# unpacked into a scratch folder instead) and checks that the installed tool
# works and its man page is there.
set -euo pipefail
cd "$(dirname "$0")/../.."

cmake --preset release && cmake --build --preset release --target jamcrc
(cd build/release && cpack -G DEB)
deb=$(ls build/release/jamcrc_*_*.deb)
echo "package: $deb"
dpkg-deb --info "$deb" | grep -E '^ (Package|Version|Architecture|Depends):'

data=$(mktemp -d)
trap 'rm -rf "$data"' EXIT
printf 123456789 > "$data/digits"

if [ "$(id -u)" = 0 ]; then
    dpkg -i "$deb"
    trap 'dpkg -r jamcrc > /dev/null; rm -rf "$data"' EXIT
    tool=/usr/bin/jamcrc
    man_page=$(man -w jamcrc 2>/dev/null || echo /usr/share/man/man1/jamcrc.1)
else
    dpkg-deb -x "$deb" "$data/root"
    tool="$data/root/usr/bin/jamcrc"
    man_page="$data/root/usr/share/man/man1/jamcrc.1"
fi

expected="$data/digits crc32: 340bc6d9"
actual=$("$tool" "$data/digits")
[ "$actual" = "$expected" ] || { echo "installed tool printed '$actual', not '$expected'"; exit 1; }
[ -f "$man_page" ] || { echo "no man page at $man_page"; exit 1; }
grep -q 'specify inputfile' "$man_page" || { echo "man page lacks the messages"; exit 1; }
echo "installed $tool works; man page at $man_page"
