#!/usr/bin/env bash
# Runs a 32-bit Windows console program here: Debian's i386 Wine loader under
# qemu-i386-static, since this kernel can't exec i386 programs itself. Needs
# tests/windows/wine32_setup.sh to have run. QEMU_CPU picks the emulated CPU.
#   tests/windows/wine32.sh PROGRAM.exe ARGUMENT...
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
wine32=${JAMCRC_WINE32:-$here/../../build/wine32}
export WINEPREFIX=$wine32/prefix WINEDEBUG=${WINEDEBUG:--all}
# As Wine starts a 32-bit program itself (wine32_preloader.sh).
exec "$wine32/root/usr/lib/wine/wine-preloader" "$wine32/root/usr/lib/wine/wine" "$@"
