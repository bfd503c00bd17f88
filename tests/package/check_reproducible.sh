#!/usr/bin/env bash
# Builds the whole release a second time and fails if any file differs from
# build/dist/ (made by release/build_release.sh), naming each member that
# differs. The second time: from a copy of the sources in another folder,
# built in other folders later, under umask 077 and another time zone, dated
# by SOURCE_DATE_EPOCH (the copy has no git); only the programs are built.
set -euo pipefail
cd "$(dirname "$0")/../.."
source release/targets.sh
[ -f build/dist/SHA256SUMS ] || { echo "no release in build/dist: run release/build_release.sh"; exit 1; }
source=$PWD
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

copy=$work/copy-of-the-sources
mkdir -p "$copy/build"
git ls-files -z --cached --others --exclude-standard | xargs -0 cp --parents -t "$copy"
ln -s "$source/build/zig" "$copy/build/zig"  # the same pinned compilers
presets=("${macos_presets[@]}")
for entry in "${release_targets[@]}"; do
    presets+=("${entry%% *}")
done
epoch=$(git log -1 --format=%ct)
sleep 2  # another second on the clock
(
    umask 077
    export TZ=Pacific/Auckland SOURCE_DATE_EPOCH=$epoch LC_ALL=C.UTF-8
    cd "$copy"
    for preset in "${presets[@]}"; do
        { cmake --preset "$preset" -B "$work/elsewhere/$preset" -DJAMCRC_BUILD_TESTS=OFF --no-warn-unused-cli &&
            cmake --build "$work/elsewhere/$preset"; } > "$work/$preset.log" 2>&1 ||
            { cat "$work/$preset.log"; exit 1; }
    done
    bash release/package.sh "$work/elsewhere" "$work/dist" > /dev/null
)
cd build/dist
python3 "$source/tests/package/compare_packages.py" . "$work/dist" *
