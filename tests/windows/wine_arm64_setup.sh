#!/usr/bin/env bash
# Makes arm64 Wine ready to run under qemu-user, in build/wine-arm64 (once;
# later runs only refresh what is cheap):
#   root/     Debian's arm64 Wine and the libraries it loads, unpacked from
#             their packages rather than installed; its loader (wine64.bin)
#             and server (wineserver64) patched to find their ELF interpreter
#             and libraries there, as qemu's -L, which would do that, also
#             hides the real root from Wine's drive Z:
#   cpuinfo.so  tells Wine what the emulated CPU can do, see
#             wine_arm64_cpuinfo.c
#   prefix/   a Wine prefix for 64-bit ARM Windows
# Needs the arm64 architecture in dpkg's package lists (dpkg --add-architecture
# arm64 && apt-get update), patchelf, aarch64-linux-gnu-gcc,
# qemu-aarch64-static and wine64.
set -euo pipefail
cd "$(dirname "$0")/../.."
dir=$PWD/build/wine-arm64
bin=$dir/root/usr/lib/wine
launcher=$PWD/tests/windows/wine_arm64.sh

if [ ! -x "$bin/wine64.bin" ]; then
    rm -rf "$dir/root" "$dir/debs" "$dir/prefix"
    mkdir -p "$dir/debs" "$dir/root"
    # The same Wine release as the system's; fontconfig keeps it from
    # starting explorer.exe over and over while it makes the prefix.
    version=$(dpkg-query -W -f='${Version}' wine64)
    (cd "$dir/debs" && apt-get download "wine64:arm64=$version" "libwine:arm64=$version" \
        libc6:arm64 libgcc-s1:arm64 libunwind8:arm64 liblzma5:arm64 libfreetype6:arm64 libpng16-16:arm64 \
        zlib1g:arm64 libbrotli1:arm64 libfontconfig1:arm64 libexpat1:arm64)
    for deb in "$dir"/debs/*.deb; do
        dpkg-deb -x "$deb" "$dir/root"
    done
    # The search path as DT_RPATH, which also serves the libraries Wine
    # opens later (its own .so files and theirs); DT_RUNPATH would not.
    libs=$dir/root/lib/aarch64-linux-gnu:$dir/root/usr/lib/aarch64-linux-gnu
    for program in wine64 wineserver64; do
        patchelf --set-interpreter "$dir/root/lib/aarch64-linux-gnu/ld-linux-aarch64.so.1" \
            --force-rpath --set-rpath "$libs" "$bin/$program"
    done
    mv "$bin/wine64" "$bin/wine64.bin"  # last: marks the root complete
fi
ln -sf "$launcher" "$bin/wine64"
aarch64-linux-gnu-gcc -std=c11 -O2 -Wall -Wextra -Werror -shared -fPIC \
    -o "$dir/cpuinfo.so" tests/windows/wine_arm64_cpuinfo.c
ln -sf "$launcher" "$bin/wineserver"  # Debian's script there runs /usr/lib/wine's

if [ ! -e "$dir/prefix/.ready" ]; then
    # Bounded, as a Wine that goes wrong under emulation may never end, and
    # killed if the end asked for is not taken. A prefix not made whole is
    # removed, never reused.
    made=0
    timeout -k 30 300 "$launcher" wineboot -i < /dev/null > /dev/null 2>&1 &&
        timeout -k 30 120 "$bin/wineserver" -w || made=$?
    timeout -k 10 60 "$bin/wineserver" -k || true
    if [ "$made" != 0 ] || [ ! -e "$dir/prefix/drive_c/windows/system32/kernel32.dll" ]; then
        rm -rf "$dir/prefix"
        echo "no Wine prefix made in $dir/prefix (status $made)" >&2
        exit 1
    fi
    touch "$dir/prefix/.ready"
fi
echo "arm64 Wine ready in $dir"
