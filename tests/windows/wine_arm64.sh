#!/usr/bin/env bash
# Runs a Windows on ARM console program here: Debian's arm64 Wine under
# qemu-aarch64-static, since this kernel can't exec arm64 programs itself.
# Needs tests/windows/wine_arm64_setup.sh to have run. QEMU_CPU picks the
# emulated CPU.
#   tests/windows/wine_arm64.sh PROGRAM.exe ARGUMENT...
# Also linked as Wine's own loader and server (wine64 and wineserver beside
# the real programs): Wine starts each new process, and its server, by those
# names, and this kernel could not execute the programs themselves.
here=$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")
wine=${JAMCRC_WINE_ARM64:-$here/../../build/wine-arm64}
bin=$wine/root/usr/lib/wine
export WINEPREFIX=$wine/prefix WINEDEBUG=${WINEDEBUG:--all}
if [ "${0##*/}" = wineserver ]; then
    exec qemu-aarch64-static "$bin/wineserver64" "$@"
fi
# The loader keeps the name wine64 (-0), by which Wine starts new processes;
# cpuinfo.so tells it the emulated CPU's features (wine_arm64_cpuinfo.c).
exec qemu-aarch64-static -E LD_PRELOAD="$wine/cpuinfo.so" -0 "$bin/wine64" "$bin/wine64.bin" "$@"
