#!/usr/bin/env bash
# Builds the release packages and checks them as a user and a distribution
# would: each has its SHA-256 beside it, the programs are hardened, the
# Debian package passes lintian with no error or warning, installs
# (with dpkg as root; elsewhere it is unpacked into a scratch folder) and the
# installed tool and man page work; the portable archive holds a static tool
# that works, with its man page, README and LICENSE.
set -euo pipefail
cd "$(dirname "$0")/../.."

cmake --preset release && cmake --build --preset release
(cd build/release && rm -f jamcrc_*.deb jamcrc-*.tar.gz && cpack)
deb=$(ls build/release/jamcrc_*_*.deb)
archive=$(ls build/release/jamcrc-*-linux-*.tar.gz)
echo "packages: $deb $archive"
for package in "$deb" "$archive"; do
    (cd "$(dirname "$package")" && sha256sum -c "$(basename "$package").sha256")
done
dpkg-deb --info "$deb" | grep -E '^ (Package|Version|Architecture|Depends):'
lintian --fail-on error,warning "$deb"
bash tests/package/check_hardening.sh build/release

data=$(mktemp -d)
trap 'rm -rf "$data"' EXIT
printf 123456789 > "$data/digits"
expected="$data/digits crc32: 340bc6d9"
fail() { echo "$1"; exit 1; }

if [ "$(id -u)" = 0 ]; then
    dpkg -i "$deb"
    trap 'dpkg -r jamcrc > /dev/null; rm -rf "$data"' EXIT
    root=
else
    dpkg-deb -x "$deb" "$data/root"
    root="$data/root"
fi
actual=$("$root/usr/bin/jamcrc" "$data/digits")
[ "$actual" = "$expected" ] || fail "installed tool printed '$actual', not '$expected'"
zgrep -q 'specify inputfile' "$root/usr/share/man/man1/jamcrc.1.gz" || fail "no man page with the messages"
grep -q '^License: Expat' "$root/usr/share/doc/jamcrc/copyright" || fail "no copyright file"
echo "installed tool, man page and copyright: good"

mkdir "$data/portable"
tar -xzf "$archive" -C "$data/portable"
dir="$data/portable/$(basename "$archive" .tar.gz)"
for f in jamcrc jamcrc.1 README.md LICENSE; do
    [ -f "$dir/$f" ] || fail "the archive lacks $f"
done
headers=$(readelf -l -d "$dir/jamcrc")  # static: no loader asked for, no library needed
if grep -Eq 'INTERP|NEEDED' <<< "$headers"; then fail "the archived tool is not static"; fi
actual=$("$dir/jamcrc" "$data/digits")
[ "$actual" = "$expected" ] || fail "archived tool printed '$actual', not '$expected'"
echo "portable archive: static tool works, documents present"

bash tests/package/check_reproducible.sh
