#!/usr/bin/env bash
# Builds every package twice and fails if any member differs, naming it: once
# from this checkout, dated by its last commit, under umask 022; once from a
# copy of the sources in another folder, built in another folder a little
# later under umask 077 and another time zone, dated by SOURCE_DATE_EPOCH. Needs the MinGW-w64
# cross compilers for the Windows zips.
set -euo pipefail
cd "$(dirname "$0")/../.."
source=$PWD
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
presets=(release windows-x64 windows-x86)

# package SOURCE_DIR BUILD_ROOT: every preset's packages into BUILD_ROOT/out.
package() {
    local from=$1 root=$2 preset
    mkdir -p "$root/out"
    for preset in "${presets[@]}"; do
        (cd "$from" && cmake --preset "$preset" -B "$root/$preset" -DJAMCRC_BUILD_TESTS=OFF --no-warn-unused-cli > /dev/null &&
            cmake --build "$root/$preset" -j"$(nproc)" > /dev/null)
        (cd "$root/$preset" && rm -f jamcrc[-_]* && cpack > /dev/null && cp jamcrc[-_]* "$root/out/")
    done
}

mkdir "$work/copy-of-the-sources"
git ls-files -z --cached --others --exclude-standard | xargs -0 cp --parents -t "$work/copy-of-the-sources"
(umask 022 && package "$source" "$source/build/reproducible")
sleep 2  # another second on the clock
(umask 077 && export TZ=Pacific/Auckland SOURCE_DATE_EPOCH=$(git log -1 --format=%ct) && package "$work/copy-of-the-sources" "$work/elsewhere/b")

cd "$source/build/reproducible/out"
python3 "$source/tests/package/compare_packages.py" . "$work/elsewhere/b/out" *
