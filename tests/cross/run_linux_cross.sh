#!/usr/bin/env bash
# Tests Linux cross builds under qemu-user: for each preset its CMake
# workflow (build, then the register tests through CTest), then the whole
# command-line suite, built natively, driving the cross-built tool through
# build/<preset>/run_on_target.
#   tests/cross/run_linux_cross.sh PRESET...
set -euo pipefail
cd "$(dirname "$0")/../.."

cmake --preset release && cmake --build --preset release --target cli_tests
for preset in "$@"; do
    cmake --workflow --preset "$preset"
    echo "-- command-line tests against the $preset jamcrc"
    JAMCRC_TOOL="$PWD/build/$preset/jamcrc" JAMCRC_LAUNCHER="$PWD/build/$preset/run_on_target" \
        JAMCRC_TOOL_PLATFORM=linux-emulated build/release/tests/cli_tests
done
