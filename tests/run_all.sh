#!/usr/bin/env bash
# Builds and runs every test configuration, one after another:
#   release   optimised build, warnings as errors, all tests
#   sanitize  the same tests under AddressSanitizer + UndefinedBehaviorSanitizer
# A configuration whose tools are missing here is skipped with a note; under
# CI (CI=true) a missing tool is a failure instead.
set -uo pipefail
cd "$(dirname "$0")/.."

passed=0
failed=0
failures=()

# stage NAME REQUIRED-COMMANDS COMMAND...
stage() {
    local name=$1 needs=$2
    shift 2
    local tool
    for tool in $needs; do
        if ! command -v "$tool" >/dev/null 2>&1; then
            if [ "${CI:-}" = "true" ]; then
                echo "== $name: FAILED, $tool is missing"
                failed=$((failed + 1)); failures+=("$name")
            else
                echo "== $name: skipped, $tool is not installed"
            fi
            return
        fi
    done
    echo "== $name"
    if "$@"; then
        passed=$((passed + 1))
    else
        echo "== $name: FAILED"
        failed=$((failed + 1)); failures+=("$name")
    fi
}

stage release "cmake g++" cmake --workflow --preset release
stage sanitize "cmake g++" cmake --workflow --preset sanitize

[ "$failed" -eq 0 ] || echo "failed: ${failures[*]}"
echo "configurations: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
