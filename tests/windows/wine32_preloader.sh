#!/bin/sh
# Linked by wine32_setup.sh where Wine looks for its preloader
# (build/wine32/root/usr/lib/wine/wine-preloader). Wine starts every 32-bit
# program through it: the first (wine32.sh) and those a program starts itself
# (CreateProcess), which this kernel could not execute. Runs the i386 loader
# under qemu-user, with preload.so doing the real preloader's job.
#   wine-preloader LOADER PROGRAM.exe ARGUMENT...
wine32=$(cd "$(dirname "$0")/../../../.." && pwd)
# The loader must not re-execute itself: there is no i386 exec to do it with.
export WINELOADERNOEXEC=1
exec qemu-i386-static -L "$wine32/root" -E LD_PRELOAD="$wine32/preload.so" "$@"
