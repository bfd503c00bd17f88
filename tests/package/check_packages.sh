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
#   - every program is for the processor its package names;
#   - this machine's programs, as build/release holds them, are hardened
#     (check_hardening.sh).
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

here=("$dist"/jamcrc_*_"$(dpkg --print-architecture)".deb)
[ -f "${here[0]}" ] || fail "no Debian package for this machine's processor"
deb=${here[0]}
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

# machine_is PROGRAM PACKAGE: PROGRAM is for the processor PACKAGE's name says.
machine_is() {
    local machine
    case $2 in
        *-macos-*) machine=$(llvm-lipo-14 -archs "$1" | tr ' ' '\n' | sort | xargs)
                   [ "$machine" = "arm64 x86_64" ] || fail "$2 holds a program for $machine" ;;
        *.zip) local at  # the PE header's Machine field
               at=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
               machine=$(od -An -tx2 -j$((at + 4)) -N2 "$1" | tr -d ' ')
               case $2 in
                   *-x64.zip) [ "$machine" = 8664 ] ;;
                   *-x86.zip) [ "$machine" = 014c ] ;;
                   *-arm64.zip) [ "$machine" = aa64 ] ;;
                   *) false ;;
               esac || fail "$2 holds a program for PE machine $machine" ;;
        *) machine=$(readelf -h "$1" | sed -n 's/^ *Machine: *//p')
           case $2 in
               *_amd64.deb | *-x86_64.tar.gz) [ "$machine" = "Advanced Micro Devices X86-64" ] ;;
               *_i386.deb | *-i686.tar.gz) [ "$machine" = "Intel 80386" ] ;;
               *_arm64.deb | *-aarch64.tar.gz) [ "$machine" = AArch64 ] ;;
               *_armhf.deb | *-armhf.tar.gz) [ "$machine" = ARM ] ;;
               *-s390x.tar.gz) [ "$machine" = "IBM S/390" ] ;;
               *-ppc64le.tar.gz) [ "$machine" = PowerPC64 ] ;;
               *-riscv64.tar.gz) [ "$machine" = RISC-V ] ;;
               *) false ;;
           esac || fail "$2 holds a program for $machine" ;;
    esac
}

for deb in "${debs[@]}"; do
    dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/bin/jamcrc > "$data/program"
    machine_is "$data/program" "$(basename "$deb")"
done
for archive in "$dist"/*.tar.gz "$dist"/*.zip; do
    name=$(basename "$archive")
    case $name in
        *.zip) members=$(unzip -Z1 "$archive"); wanted="bin/jamcrc.exe README.md LICENSE"; top= ;;
        *) members=$(tar -tzf "$archive"); wanted="jamcrc jamcrc.1 README.md LICENSE"; top=${name%.tar.gz}/ ;;
    esac
    for member in $wanted; do
        grep -qxF "$top$member" <<< "$members" || fail "$name lacks $top$member"
    done
    case $name in
        *.zip) unzip -p "$archive" bin/jamcrc.exe > "$data/program" ;;
        *) tar -xzOf "$archive" "${top}jamcrc" > "$data/program" ;;
    esac
    machine_is "$data/program" "$name"
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
echo "archives: program, documents and man pages present, each program for its processor; Linux programs static"

bash tests/package/check_hardening.sh build/release
