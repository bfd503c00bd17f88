#!/usr/bin/env bash
# Builds the Windows on ARM executables and tests them under Debian's arm64
# Wine on qemu-user (wine_arm64.sh): the register tests, then the whole
# command-line suite against the arm64 jamcrc.exe, expecting what the x64 one
# does.
set -euo pipefail
cd "$(dirname "$0")/../.."
source tests/windows/wine_server.sh
source tests/tested_programs.sh
# Unix names are UTF-8 to Wine only under a UTF-8 locale; its ANSI code page
# is then 1252, as on a Western Windows.
export LC_ALL=C.UTF-8

forget_tested windows-arm64
cmake --preset windows-arm64 && cmake --build --preset windows-arm64
cmake --preset release && cmake --build --preset release --target cli_tests
bash tests/windows/wine_arm64_setup.sh

wine="$PWD/tests/windows/wine_arm64.sh"
export WINEPREFIX="$PWD/build/wine-arm64/prefix" WINEDEBUG=-all
export WINESERVER="$PWD/build/wine-arm64/root/usr/lib/wine/wineserver"
start_wine_server "$wine"

ctest --preset windows-arm64 --verbose
echo "-- command-line tests against the arm64 jamcrc.exe"
JAMCRC_TOOL="$PWD/build/windows-arm64/jamcrc.exe" JAMCRC_LAUNCHER="$wine" JAMCRC_TOOL_PLATFORM=windows \
    JAMCRC_HOLDER="$PWD/build/windows-arm64/tests/hold_and_run.exe" \
    build/release/tests/cli_tests
record_tested windows-arm64 build/windows-arm64/jamcrc.exe build/windows-arm64/tests/register_tests.exe \
    build/windows-arm64/tests/hold_and_run.exe build/release/tests/cli_tests
