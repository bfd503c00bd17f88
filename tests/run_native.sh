#!/usr/bin/env bash
# Tests a build for this machine: its CMake workflow (every test, the
# command-line suite against the build's tool build/<preset>/jamcrc among
# them), then records the programs that passed.
#   tests/run_native.sh PRESET
set -euo pipefail
preset=$1
cd "$(dirname "$0")/.."
source tests/tested_programs.sh

forget_tested "$preset"
cmake --workflow --preset "$preset"
record_tested "$preset" "build/$preset/jamcrc" "build/$preset/tests/register_tests" "build/$preset/tests/cli_tests"
