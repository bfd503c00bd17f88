#!/usr/bin/env bash
# Tests a build for this machine: its CMake workflow (every test, the
# command-line suite against the installed tool build/<preset>/jamcrc among
# them), then the command-line suite against the static tool of the portable
# archive, build/<preset>/static/jamcrc.
#   tests/run_native.sh PRESET
set -euo pipefail
preset=$1
cd "$(dirname "$0")/.."
source tests/tested_programs.sh

forget_tested "$preset"
cmake --workflow --preset "$preset"
tested=("build/$preset/jamcrc")
tool="build/$preset/static/jamcrc"
if [ -e "$tool" ]; then  # where the C library can be linked statically
    echo "-- command-line tests against $tool"
    JAMCRC_TOOL="$PWD/$tool" "build/$preset/tests/cli_tests"
    tested+=("$tool")
fi
record_tested "$preset" "${tested[@]}" "build/$preset/tests/register_tests" "build/$preset/tests/cli_tests"
