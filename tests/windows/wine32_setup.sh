#!/usr/bin/env bash
# Makes 32-bit Wine ready to run under qemu-user, in build/wine32 (once; later
# runs only refresh what is cheap):
#   root/     Debian's i386 Wine loader and what it needs, unpacked from four
#             packages rather than installed (installing wine32:i386 pulls in
#             169 packages and upgrades system ones); the 64-bit helpers Wine
#             starts are the system's own, run natively
#   preload.so  the preloader's job, see wine32_preload.c; Wine starts each
#             32-bit program through wine32_preloader.sh, which loads it
#   prefix/   a Wine prefix whose syswow64 holds the 32-bit DLLs
# Needs the i386 architecture in dpkg's package lists (dpkg --add-architecture
# i386 && apt-get update), i686-linux-gnu-gcc and wine64.
set -euo pipefail
cd "$(dirname "$0")/../.."
dir=$PWD/build/wine32
mkdir -p "$dir/debs" "$dir/root"

if [ ! -x "$dir/root/usr/lib/wine/wine" ]; then
    # The same Wine release as the system's 64-bit one: they share a server.
    version=$(dpkg-query -W -f='${Version}' wine64)
    (cd "$dir/debs" && apt-get download "wine32:i386=$version" "libwine:i386=$version" libc6:i386 libgcc-s1:i386)
    for deb in "$dir"/debs/*.deb; do
        dpkg-deb -x "$deb" "$dir/root"
    done
fi
ln -sf /usr/lib/wine/wine64 "$dir/root/usr/lib/wine/wine64"
ln -sf "$PWD/tests/windows/wine32_preloader.sh" "$dir/root/usr/lib/wine/wine-preloader"

i686-linux-gnu-gcc -std=c11 -O2 -Wall -Wextra -Werror -shared -fPIC \
    -o "$dir/preload.so" tests/windows/wine32_preload.c

if [ ! -d "$dir/prefix/drive_c/windows/syswow64" ]; then
    WINEPREFIX=$dir/prefix WINEDEBUG=-all /usr/lib/wine/wine64 wineboot -i < /dev/null > /dev/null 2>&1
fi
# wineboot leaves syswow64 empty; without kernel32.dll and the rest there a
# 32-bit program can't start (status c0000135).
ln -sf "$dir"/root/usr/lib/i386-linux-gnu/wine/i386-windows/* "$dir/prefix/drive_c/windows/syswow64/"

# The first 32-bit program brings the prefix up to date for 32-bit Windows in
# the background, for many seconds under qemu. Let it finish here, with none
# of our streams, rather than under a test that reads a program's output.
if [ ! -e "$dir/prefix/.ready-for-32-bit" ]; then
    tests/windows/wine32.sh cmd /c exit < /dev/null > /dev/null 2>&1 || true
    WINEPREFIX=$dir/prefix /usr/lib/wine/wineserver -w
    touch "$dir/prefix/.ready-for-32-bit"
fi
echo "32-bit Wine ready in $dir"
