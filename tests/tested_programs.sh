# Sourced by the test scripts, from the top of the checkout: beside each build,
# build/PRESET/tested-programs.sha256 names, by their SHA-256, the programs
# whose tests all passed and the test programs that ran them, so that the
# release packs the very bytes that were tested, and tests again once either
# changed (release/build_release.sh reads the record).
#   forget_tested PRESET              before the tests run
#   record_tested PRESET PROGRAM...   once every test has passed
forget_tested() {
    rm -f "build/$1/tested-programs.sha256"
}
record_tested() {
    local preset=$1
    shift
    [ $# -gt 0 ] || { echo "record_tested: no program named"; return 1; }
    sha256sum "$@" >> "build/$preset/tested-programs.sha256"
}
