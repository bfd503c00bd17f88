#!/usr/bin/env bash
# Builds the 32-bit Windows executables, the tool's original target, and tests
# them under 32-bit Wine on qemu-user (wine32.sh): the register tests under two
# emulated CPUs (qemu's "max", with SSE4.1, PCLMULQDQ and AVX2 but no
# VPCLMULQDQ, and "qemu32", with none of them), then the whole command-line
# suite against the 32-bit jamcrc.exe, expecting what the 64-bit one does.
set -euo pipefail
cd "$(dirname "$0")/../.."
source tests/windows/wine_server.sh
source tests/tested_programs.sh
# Unix names are UTF-8 to Wine only under a UTF-8 locale; its ANSI code page
# is then 1252, as on a Western Windows.
export LC_ALL=C.UTF-8

forget_tested windows-x86
cmake --preset windows-x86 && cmake --build --preset windows-x86
cmake --preset release && cmake --build --preset release --target cli_tests
bash tests/windows/wine32_setup.sh

wine32="$PWD/tests/windows/wine32.sh"
export WINEPREFIX="$PWD/build/wine32/prefix" WINEDEBUG=-all
start_wine_server "$wine32"

# The whole register suite once per emulated CPU, with GoogleTest's report.
ctest --preset windows-x86 --verbose
echo "-- command-line tests against the 32-bit jamcrc.exe"
JAMCRC_TOOL="$PWD/build/windows-x86/jamcrc.exe" JAMCRC_LAUNCHER="$wine32" JAMCRC_TOOL_PLATFORM=windows-x86 \
    JAMCRC_HOLDER="$PWD/build/windows-x86/tests/hold_and_run.exe" \
    build/release/tests/cli_tests
record_tested windows-x86 build/windows-x86/jamcrc.exe build/windows-x86/tests/register_tests.exe \
    build/windows-x86/tests/hold_and_run.exe build/release/tests/cli_tests
