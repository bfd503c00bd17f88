#!/usr/bin/env bash
# Builds the whole release into build/dist/ from programs that passed their
# tests, byte for byte:
#   1. each build of release/targets.sh is tested (the register tests and the
#      command-line suite, under qemu-user or Wine where it isn't this
#      machine's), unless its programs are already the ones recorded as
#      passed (build/PRESET/tested-programs.sha256);
#   2. the two macOS builds are built (nothing here can run them);
#   3. release/package.sh packs them into build/dist/, with SHA256SUMS;
#   4. every package is checked to carry the very program that was tested
#      (the macOS one: both slices, as linked, each validly signed), then as a
#      user and a distribution would (tests/package/check_packages.sh).
#   release/build_release.sh
set -euo pipefail
cd "$(dirname "$0")/.."
source release/targets.sh
# The tests' own settings (tests/run_all.sh): warnings as errors, both cores.
export JAMCRC_WARNINGS_AS_ERRORS=ON LC_ALL=C
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}
dist=build/dist
fail() { echo "release: $1"; exit 1; }

# programs PRESET: the programs a build makes for its packages.
programs() {
    local program
    for program in "build/$1/jamcrc" "build/$1/jamcrc.exe"; do
        [ -e "$program" ] && echo "$program"
    done
    return 0
}
# tested PRESET: whether the build, configured and built afresh from its
# preset, is up to date, every program of it is one whose tests passed, and
# the test programs that passed it are unchanged too.
tested() {
    local record=build/$1/tested-programs.sha256 program
    [ -f "$record" ] || return 1
    { cmake --preset "$1" && cmake --build --preset "$1"; } > /dev/null || return 1
    sha256sum -c --quiet "$record" > /dev/null 2>&1 || return 1
    for program in $(programs "$1"); do
        grep -qxF "$(sha256sum "$program")" "$record" || return 1
    done
}

for entry in "${release_targets[@]}"; do
    read -r preset _ test <<< "$entry"
    if tested "$preset"; then
        echo "-- $preset: its programs passed their tests already"
    else
        echo "-- $preset: testing"
        $test
        tested "$preset" || fail "$preset: the programs are not the ones that passed"
    fi
done
for preset in "${macos_presets[@]}"; do
    cmake --workflow --preset "$preset" > /dev/null
done

rm -rf "$dist"
bash release/package.sh build "$dist"

# Each package against the program that was tested: the bytes it carries must
# be those the record names (the macOS slices: those the linker wrote).
# packed_is PACKAGE PROGRAM [RECORD] <<< THE_PROGRAM_AS_PACKED
packed_is() {
    local packed
    packed=$(sha256sum | cut -d' ' -f1)
    if [ $# -eq 3 ]; then
        grep -qxF "$packed  $2" "$3" || fail "$1 does not carry the $2 that passed its tests"
    else
        [ "$packed" = "$(sha256sum < "$2" | cut -d' ' -f1)" ] || fail "$1 does not carry $2"
    fi
    echo "-- $(basename "$1") carries $2"
}
for entry in "${release_targets[@]}"; do
    read -r preset generators _ <<< "$entry"
    record=build/$preset/tested-programs.sha256
    packages=()
    for package in "build/$preset"/jamcrc[-_]*; do
        case $package in *.sha256) ;; *) packages+=("$package") ;; esac
    done
    IFS=';' read -ra wanted <<< "$generators"
    [ "${#packages[@]}" = "${#wanted[@]}" ] || fail "$preset made ${#packages[@]} packages, not one per generator ($generators)"
    for package in "${packages[@]}"; do
        cmp -s "$package" "$dist/$(basename "$package")" || fail "$dist lacks $package"
        case $package in
            *.deb) dpkg-deb --fsys-tarfile "$package" | tar -xO ./usr/bin/jamcrc | packed_is "$package" "build/$preset/jamcrc" "$record" ;;
            *.tar.gz) tar -xzOf "$package" "$(basename "$package" .tar.gz)/jamcrc" | packed_is "$package" "build/$preset/jamcrc" "$record" ;;
            *.zip) unzip -p "$package" "$(basename "$package" .zip)/jamcrc.exe" | packed_is "$package" "build/$preset/jamcrc.exe" "$record" ;;
        esac
    done
done
# The macOS program: both slices, each with a valid ad hoc signature, each
# the program its build linked (the one signed here: that program, signed).
macos=$dist/jamcrc-$(release_version)-macos-universal.tar.gz
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tar -xzOf "$macos" "$(basename "$macos" .tar.gz)/jamcrc" > "$work/universal"
python3 release/macho_adhoc_sign.py verify "$work/universal"
archs=$(llvm-lipo-14 -archs "$work/universal" | tr ' ' '\n' | sort | xargs)
[ "$archs" = "arm64 x86_64" ] || fail "the macOS program holds $archs, not arm64 and x86_64"
for slice in arm64:macos-arm64 x86_64:macos-x64; do
    arch=${slice%%:*} built=build/${slice#*:}/jamcrc
    llvm-lipo-14 -thin "$arch" -output "$work/$arch" "$work/universal"
    if llvm-otool-14 -l "$built" | grep -q LC_CODE_SIGNATURE; then
        packed_is "$macos ($arch)" "$built" < "$work/$arch"
    else
        python3 release/macho_adhoc_sign.py sign --identifier jamcrc "$built" "$work/$arch.signed"
        cmp -s "$work/$arch.signed" "$work/$arch" || fail "$macos ($arch) is not $built, signed"
        echo "-- $(basename "$macos") ($arch) carries $built, signed here"
    fi
done

bash tests/package/check_packages.sh "$dist"
echo "release in $dist: $(ls "$dist" | wc -l) files"
