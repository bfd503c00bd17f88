#!/usr/bin/env bash
# Builds a Windows preset's executables and tests them under Wine: the
# register tests (cross-built, run through CTest, once per emulated CPU where
# the preset names models), then the whole command-line suite (a native build
# of it, driving jamcrc.exe through Wine and expecting Windows behaviour: CR LF
# line ends, devices refused, no wildcard expansion).
#   tests/windows/run_windows.sh PRESET
#     windows-x64, windows-clang  Debian's Wine
#     windows-x86    32-bit Wine on qemu-i386, the tool's original target
#                    (wine32.sh); the suite expects what the 64-bit tool does
#     windows-arm64  Debian's arm64 Wine on qemu-aarch64 (wine_arm64.sh)
set -euo pipefail
preset=$1
cd "$(dirname "$0")/../.."
source tests/windows/wine_server.sh
source tests/tested_programs.sh
# Unix names are UTF-8 to Wine only under a UTF-8 locale; its ANSI code page
# is then 1252, as on a Western Windows.
export LC_ALL=C.UTF-8

setup= platform=windows
case $preset in
    windows-x64 | windows-clang)
        wine=/usr/lib/wine/wine64  # Debian's `wine` wrapper tries the 32-bit loader first
        export WINEPREFIX="$PWD/build/wine-prefix" ;;
    windows-x86)
        setup=tests/windows/wine32_setup.sh platform=windows-x86
        wine=$PWD/tests/windows/wine32.sh
        export WINEPREFIX="$PWD/build/wine32/prefix" ;;
    windows-arm64)
        setup=tests/windows/wine_arm64_setup.sh
        wine=$PWD/tests/windows/wine_arm64.sh
        export WINEPREFIX="$PWD/build/wine-arm64/prefix"
        export WINESERVER="$PWD/build/wine-arm64/root/usr/lib/wine/wineserver" ;;
    *) echo "run_windows.sh: $preset is not a Windows preset"; exit 2 ;;
esac
export WINEDEBUG=-all

forget_tested "$preset"
cmake --preset "$preset" && cmake --build --preset "$preset"
cli_tests=${JAMCRC_CLI_TESTS:-}  # built once for every stage by tests/run_all.sh
if [ -z "$cli_tests" ]; then
    cmake --preset release && cmake --build --preset release --target cli_tests
    cli_tests=build/release/tests/cli_tests
fi
[ -z "$setup" ] || bash "$setup"
start_wine_server "$wine"

ctest --preset "$preset" --verbose  # GoogleTest's report, per emulated CPU
build=build/$preset
echo "-- command-line tests against $build/jamcrc.exe"
JAMCRC_TOOL="$PWD/$build/jamcrc.exe" JAMCRC_LAUNCHER="$wine" JAMCRC_TOOL_PLATFORM=$platform \
    JAMCRC_HOLDER="$PWD/$build/tests/hold_and_run.exe" \
    "$cli_tests"
record_tested "$preset" "$build/jamcrc.exe" "$build/tests/register_tests.exe" \
    "$build/tests/hold_and_run.exe" "$cli_tests"
