#!/usr/bin/env bash
# Builds the 64-bit Windows executables and tests them under Wine: the
# register tests (cross-built, run through CTest), then the command-line tests
# (a native build of them, driving jamcrc.exe through Wine and expecting
# Windows behaviour: CR LF line ends, devices refused, no wildcard expansion).
#   run_windows_x64.sh [PRESET]    windows-x64 (GCC) unless named, or windows-clang
set -euo pipefail
preset=${1:-windows-x64}
cd "$(dirname "$0")/../.."
source tests/windows/wine_server.sh
source tests/tested_programs.sh
# Unix names are UTF-8 to Wine only under a UTF-8 locale; its ANSI code page
# is then 1252, as on a Western Windows.
export LC_ALL=C.UTF-8

forget_tested "$preset"
cmake --preset "$preset" && cmake --build --preset "$preset"
cmake --preset release && cmake --build --preset release --target cli_tests

wine=/usr/lib/wine/wine64  # Debian's `wine` wrapper tries the 32-bit loader first
export WINEPREFIX="$PWD/build/wine-prefix" WINEDEBUG=-all
start_wine_server "$wine"

ctest --preset "$preset"
JAMCRC_TOOL="$PWD/build/$preset/jamcrc.exe" JAMCRC_LAUNCHER="$wine" JAMCRC_TOOL_PLATFORM=windows \
    JAMCRC_HOLDER="$PWD/build/$preset/tests/hold_and_run.exe" \
    build/release/tests/cli_tests
record_tested "$preset" "build/$preset/jamcrc.exe" "build/$preset/tests/register_tests.exe" \
    "build/$preset/tests/hold_and_run.exe" build/release/tests/cli_tests
