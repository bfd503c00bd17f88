#!/usr/bin/env bash
# Checks a release folder as a user and a distribution would:
#   - SHA256SUMS names every file, and sha256sum -c passes;
#   - every Debian package passes lintian with no error or warning and holds
#     the tool, the compressed man page and the copyright; this machine's
#     installs (with dpkg as root; elsewhere it is unpacked into a scratch
#     folder) and the installed tool and man page work;
#   - every archive holds one folder named like it, with its program, the
#     man page where the system has man pages, README.md, LICENSE, the
#     release notes (CHANGELOG.md, whose newest entry is this version) and
#     THIRD-PARTY-LICENSES; a Windows zip's documents end their lines in
#     CR LF; the Linux programs are static, on musl, and this machine's works;
#   - every program carries the licence texts of what it is built from: a C
#     library that asks for its licence (musl; glibc, whose LGPL would also
#     ask for the means to relink, is refused), mingw-w64's runtime, zig's
#     compiler runtime;
#   - no ELF program keeps a .comment section (the compilers' names);
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

version=$(sed -n 's/^project(jamcrc VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
grep -qx "## $version ([0-9-]*)" <(grep -m1 '^## ' CHANGELOG.md) || fail "CHANGELOG.md's newest entry is not $version"

debs=("$dist"/*.deb)
lintian --fail-on error,warning "${debs[@]}"
for deb in "${debs[@]}"; do
    members=$(dpkg-deb -c "$deb")
    for member in ./usr/bin/jamcrc ./usr/share/man/man1/jamcrc.1.gz ./usr/share/doc/jamcrc/copyright \
        ./usr/share/doc/jamcrc/changelog.gz; do
        grep -q " $member\$" <<< "$members" || fail "$(basename "$deb") lacks $member"
    done
    dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/jamcrc/changelog.gz | gunzip |
        head -n 1 | grep -q "^jamcrc ($version)" || fail "$(basename "$deb")'s changelog has no entry for $version"
done
echo "Debian packages: lintian-clean, tool, man page, copyright and this version's notes in each"

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
# holds PATTERN FILE: FILE (a program) holds bytes matching PATTERN. (The
# strings are read whole first: grep -q leaving early would fail the pipe.)
holds() { local found; found=$(strings -a "$2"); grep -Eq "$1" <<< "$found"; }
# carries NOTICES TEXT...: the licence file holds each text.
carries() {
    local notices=$1 text
    shift
    for text in "$@"; do
        grep -qF "$text" "$notices" || fail "$name's THIRD-PARTY-LICENSES lacks '$text'"
    done
}
for archive in "$dist"/*.tar.gz "$dist"/*.zip; do
    name=$(basename "$archive")
    top=${name%.tar.gz}
    top=${top%.zip}
    rm -rf "$data/unpacked"
    mkdir "$data/unpacked"
    case $name in
        *.zip) members=$(unzip -Z1 "$archive"); program=jamcrc.exe; unzip -q "$archive" -d "$data/unpacked" ;;
        *) members=$(tar -tzf "$archive"); program=jamcrc; tar -xzf "$archive" -C "$data/unpacked" ;;
    esac
    [ "$(cut -d/ -f1 <<< "$members" | sort -u)" = "$top" ] || fail "$name does not unpack into one folder $top"
    wanted="$program README.md LICENSE CHANGELOG.md THIRD-PARTY-LICENSES"
    [[ $name == *.zip ]] || wanted+=" jamcrc.1"
    for member in $wanted; do
        [ -f "$data/unpacked/$top/$member" ] || fail "$name lacks $top/$member"
    done
    files=$data/unpacked/$top
    cmp -s <(tr -d '\r' < "$files/CHANGELOG.md") CHANGELOG.md || fail "$name's CHANGELOG.md is not the release's"
    if [[ $name == *.zip ]]; then
        for document in README.md LICENSE CHANGELOG.md THIRD-PARTY-LICENSES; do
            # Every line ends in CR LF: as many CRs before an LF as LFs.
            if [ "$(grep -c $'\r$' "$files/$document")" != "$(wc -l < "$files/$document")" ]; then
                fail "$name: $document has lines that don't end in CR LF"
            fi
        done
    fi
    tool=$files/$program
    machine_is "$tool" "$name"
    # The licences of what the program is built from.
    case $name in
        *-linux-*)
            headers=$(readelf -l -d "$tool")  # static: no loader asked for, no library needed
            if grep -Eq 'INTERP|NEEDED' <<< "$headers"; then fail "the tool in $name is not static"; fi
            if holds 'GNU C Library|Fatal glibc error' "$tool"; then
                fail "the tool in $name carries glibc, whose licence (LGPL 2.1) would ask for its text and the means to relink"
            fi
            carries "$files/THIRD-PARTY-LICENSES" "musl as a whole is licensed under the following standard MIT license" \
                "Copyright (c) Zig contributors" ;;
        *-windows-*)
            holds 'Mingw-w64 runtime' "$tool" || fail "the tool in $name lacks mingw-w64's runtime (what else?)"
            carries "$files/THIRD-PARTY-LICENSES" "mingw-w64" "ZPL" "Redistributions in binary form must reproduce"
            [[ $name != *-arm64.zip ]] || carries "$files/THIRD-PARTY-LICENSES" "Copyright (c) Zig contributors" ;;
        *-macos-*)
            carries "$files/THIRD-PARTY-LICENSES" "Copyright (c) Zig contributors"
            # Both slices for the macOS the README names.
            minos=$(llvm-otool-14 -arch all -l "$tool" | awk '$1 == "minos" { print $2 }' | sort -u | xargs)
            [ "$minos" = 11.0 ] || fail "the macOS program asks for macOS $minos, not 11.0" ;;
    esac
    if [[ $name == *-linux-* ]] && readelf -S "$tool" | grep -q '\.comment'; then
        fail "the tool in $name keeps a .comment section"
    fi
    if [ "$name" = "$(basename "$dist"/jamcrc-*-linux-"$(uname -m)".tar.gz)" ]; then
        actual=$("$tool" "$data/digits")
        [ "$actual" = "$expected" ] || fail "$name's tool printed '$actual', not '$expected'"
        echo "$name: its static tool works here"
    fi
done
for deb in "${debs[@]}"; do
    dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/bin/jamcrc > "$data/program"
    if readelf -S "$data/program" | grep -q '\.comment'; then fail "the tool in $(basename "$deb") keeps a .comment section"; fi
done
echo "archives: one folder each, program, documents, notes, licences and man pages present, zips' documents in CR LF, each program for its processor; Linux programs static on musl; no .comment"

bash tests/package/check_hardening.sh build/release build/musl
