# Sourced by the test scripts, from the top of the checkout: beside each build,
# build/PRESET/tested-programs.sha256 names the programs whose tests all
# passed, by their SHA-256, so that the release packs the very bytes that
# were tested (release/build_release.sh checks the record).
#   forget_tested PRESET              before the tests run
#   record_tested PRESET PROGRAM...   once every test has passed
forget_tested() {
    rm -f "build/$1/tested-programs.sha256"
}
record_tested() {
    local preset=$1
    shift
    sha256sum "$@" >> "build/$preset/tested-programs.sha256"
}
