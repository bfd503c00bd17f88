#!/usr/bin/env bash
# Tests Linux cross builds under qemu-user: for each preset its CMake
# workflow (build, then the register tests through CTest), then the whole
# command-line suite, built natively, driving each cross-built tool through
# build/<preset>/run_on_target: the installed one (build/<preset>/jamcrc) and
# the static one of the portable archive (build/<preset>/static/jamcrc).
# A build the release does not ship (release/targets.sh) tests its static
# tool, the same objects linked statically, only on small files.
# qemu-i386 hangs a dynamically linked program that starts a thread, as the
# tool does to prepare a large file's buffer, so the dynamic i686 tool gets
# only a run on small files (which start no thread) too.
#   tests/cross/run_linux_cross.sh PRESET...
set -euo pipefail
cd "$(dirname "$0")/../.."
source tests/tested_programs.sh
source release/targets.sh

# shipped PRESET: whether the release is made from this build.
shipped() {
    local entry
    for entry in "${release_targets[@]}"; do
        [ "${entry%% *}" = "$1" ] && return 0
    done
    return 1
}

fail() { echo "$1"; exit 1; }
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

cmake --preset release && cmake --build --preset release --target cli_tests
for preset in "$@"; do
    forget_tested "$preset"
    cmake --workflow --preset "$preset"
    launcher="$PWD/build/$preset/run_on_target"
    tested=()
    for tool in "build/$preset/jamcrc" "build/$preset/static/jamcrc"; do
        [ -e "$tool" ] || continue
        if { [ "$preset" = i686 ] && readelf -l "$tool" | grep -q INTERP; } ||
            { [ "$tool" = "build/$preset/static/jamcrc" ] && ! shipped "$preset"; }; then
            small_files_run "$tool" "$launcher"
        else
            echo "-- command-line tests against the $preset $tool"
            JAMCRC_TOOL="$PWD/$tool" JAMCRC_LAUNCHER="$launcher" \
                JAMCRC_TOOL_PLATFORM=linux-emulated build/release/tests/cli_tests
        fi
        tested+=("$tool")
    done
    record_tested "$preset" "${tested[@]}" "build/$preset/tests/register_tests" build/release/tests/cli_tests
done
