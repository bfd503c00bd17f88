#!/usr/bin/env bash
# Checks a release folder as a user and a distribution would:
#   - SHA256SUMS names every file, and sha256sum -c passes;
#   - every Debian package passes lintian with no error or warning and holds
#     the tool, the compressed man page and the copyright; this machine's
#     installs (with dpkg as root; elsewhere it is unpacked into a scratch
#     folder) and the installed tool and man page work;
#   - every archive holds its program, README and LICENSE, and the man page
#     where the system has man pages; the Linux programs are static, and
#     this machine's works;
#   - this machine's programs are hardened (check_hardening.sh).
#   tests/package/check_packages.sh DIST
set -euo pipefail
dist=$(cd "$1" && pwd)
cd "$(dirname "$0")/../.."
fail() { echo "packages: $1"; exit 1; }
data=$(mktemp -d)
trap 'rm -rf "$data"' EXIT
printf 123456789 > "$data/digits"
expected="$data/digits crc32: 340bc6d9"

(cd "$dist" && sha256sum -c --quiet SHA256SUMS) || fail "SHA256SUMS does not match"
listed=$(cut -d' ' -f3 "$dist/SHA256SUMS" | sort | xargs)
present=$(cd "$dist" && ls | grep -vx SHA256SUMS | sort | xargs)
[ "$listed" = "$present" ] || fail "SHA256SUMS names '$listed', the folder holds '$present'"
echo "SHA256SUMS: every file, all good"

debs=("$dist"/*.deb)
lintian --fail-on error,warning "${debs[@]}"
for deb in "${debs[@]}"; do
    members=$(dpkg-deb -c "$deb")
    for member in ./usr/bin/jamcrc ./usr/share/man/man1/jamcrc.1.gz ./usr/share/doc/jamcrc/copyright; do
        grep -q " $member\$" <<< "$members" || fail "$(basename "$deb") lacks $member"
    done
done
echo "Debian packages: lintian-clean, tool, man page and copyright in each"

deb=$dist/jamcrc_*_$(dpkg --print-architecture).deb
deb=$(echo $deb)
if [ "$(id -u)" = 0 ]; then
    dpkg -i "$deb" > /dev/null
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
echo "installed $(basename "$deb"): tool, man page and copyright work"

for archive in "$dist"/*.tar.gz "$dist"/*.zip; do
    name=$(basename "$archive")
    case $name in
        *.zip) members=$(unzip -Z1 "$archive"); wanted="bin/jamcrc.exe README.md LICENSE"; top= ;;
        *) members=$(tar -tzf "$archive"); wanted="jamcrc jamcrc.1 README.md LICENSE"; top=${name%.tar.gz}/ ;;
    esac
    for member in $wanted; do
        grep -qx "$top$member" <<< "$members" || fail "$name lacks $top$member"
    done
    case $name in
        *-linux-*)
            mkdir "$data/$name"
            tar -xzf "$archive" -C "$data/$name"
            tool=$data/$name/$top/jamcrc
            headers=$(readelf -l -d "$tool")  # static: no loader asked for, no library needed
            if grep -Eq 'INTERP|NEEDED' <<< "$headers"; then fail "the tool in $name is not static"; fi
            if [ "$name" = "$(basename "$dist"/jamcrc-*-linux-"$(uname -m)".tar.gz)" ]; then
                actual=$("$tool" "$data/digits")
                [ "$actual" = "$expected" ] || fail "$name's tool printed '$actual', not '$expected'"
                echo "$name: its static tool works here"
            fi ;;
    esac
done
echo "archives: program, documents and man pages present; Linux programs static"

bash tests/package/check_hardening.sh build/release
