#!/usr/bin/env bash
# Tests Linux cross builds under qemu-user: for each preset its CMake
# workflow (the build, and where it has them the register tests through
# CTest, once per emulated CPU), then the whole command-line suite, built
# natively, driving the build's tool through build/<preset>/run_on_target,
# once under each CPU model JAMCRC_CLI_QEMU_CPUS names (qemu's own where it
# names none).
# A dynamically linked tool of a build whose test programs are linked
# statically (JAMCRC_STATIC_TEST_PROGRAMS: qemu-i386 hangs a dynamically
# linked program that starts a thread, as the tool does to prepare a large
# file's buffer) runs only on small files, which start no thread.
#   tests/cross/run_linux_cross.sh PRESET...
# JAMCRC_CLI_TESTS names the native command-line suite where it is built
# already (tests/run_all.sh builds it once for every stage); otherwise it is
# built here, in build/release.
set -euo pipefail
cd "$(dirname "$0")/../.."
source tests/tested_programs.sh

fail() { echo "$1"; exit 1; }
# cached PRESET NAME: the value of a build's cache entry.
cached() { sed -n "s/^$2:[A-Z]*=//p" "build/$1/CMakeCache.txt"; }
# small_files_run TOOL LAUNCHER: the check value, a missing file, no argument.
small_files_run() {
    local tool=$1 launcher=$2 data out status
    data=$(mktemp -d)
    printf 123456789 > "$data/digits"
    out=$(timeout 60 "$launcher" "$tool" "$data/digits") || fail "$tool: status $? on a small file"
    [ "$out" = "$data/digits crc32: 340bc6d9" ] || fail "$tool printed '$out'"
    status=0; out=$(timeout 60 "$launcher" "$tool" "$data/none" 2>&1) || status=$?
    [ "$status" = 255 ] && [ "$out" = "error opening $data/none" ] || fail "$tool: '$out', status $status"
    status=0; out=$(timeout 60 "$launcher" "$tool" 2>&1) || status=$?
    [ "$status" = 255 ] && [ "$out" = "specify inputfile" ] || fail "$tool: '$out', status $status"
    rm -rf "$data"
    echo "-- $tool: the check value, error opening and specify inputfile on small files"
}

cli_tests=${JAMCRC_CLI_TESTS:-}
if [ -z "$cli_tests" ]; then
    cmake --preset release && cmake --build --preset release --target cli_tests
    cli_tests=build/release/tests/cli_tests
fi
for preset in "$@"; do
    forget_tested "$preset"
    cmake --workflow --preset "$preset"
    build=build/$preset
    tool=$build/jamcrc
    # A kernel built for instructions the emulated CPU may lack shares no
    # code with the rest (the native builds' test does the same).
    bash tests/kernel_isolation.sh llvm-nm-14 $(find "$build/src/register" -name '*.o')
    launcher=$PWD/$build/run_on_target
    if [ "$(cached "$preset" JAMCRC_STATIC_TEST_PROGRAMS)" = ON ] && readelf -l "$tool" | grep -q INTERP; then
        small_files_run "$tool" "$launcher"
    else
        cpus=$(cached "$preset" JAMCRC_CLI_QEMU_CPUS)
        for cpu in ${cpus//;/ } ""; do
            [ -n "$cpu" ] || [ -z "$cpus" ] || continue  # qemu's own CPU only where none is named
            echo "-- command-line tests against $tool${cpu:+ on an emulated $cpu}"
            env ${cpu:+QEMU_CPU="$cpu"} JAMCRC_TOOL="$PWD/$tool" JAMCRC_LAUNCHER="$launcher" \
                JAMCRC_TOOL_PLATFORM=linux-emulated "$cli_tests"
        done
    fi
    test_programs=("$cli_tests")
    [ ! -e "$build/tests/register_tests" ] || test_programs+=("$build/tests/register_tests")
    record_tested "$preset" "$tool" "${test_programs[@]}"
done
