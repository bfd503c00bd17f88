#!/usr/bin/env bash
# Makes the release's packages from finished builds, into one folder:
#   release/package.sh BUILD_ROOT OUT
# BUILD_ROOT/PRESET is each build of release/targets.sh; OUT gets
#   jamcrc_VERSION_ARCH.deb                 cpack (amd64, i386, arm64, armhf)
#   jamcrc-VERSION-linux-PROCESSOR.tar.gz   cpack: static tool, man page and
#                                           the documents (README, LICENSE,
#                                           CHANGELOG, THIRD-PARTY-LICENSES)
#   jamcrc-VERSION-windows-PROCESSOR.zip    cpack: jamcrc.exe and the documents
#   jamcrc-VERSION-macos-universal.tar.gz   the two macOS programs joined by
#                                           llvm-lipo, man page, the documents
#   SHA256SUMS                              every package's, for sha256sum -c
# Every member is dated by SOURCE_DATE_EPOCH, else the last commit's time, and
# owned by root, so the same sources give the same bytes.
set -euo pipefail
export LC_ALL=C  # one order of names in SHA256SUMS, whoever builds
root=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
cd "$(dirname "$0")/.."
source release/targets.sh
version=$(release_version)

for entry in "${release_targets[@]}"; do
    read -r preset generators _ <<< "$entry"
    (cd "$root/$preset" && rm -f jamcrc[-_]* && cpack -G "$generators" > cpack.log) ||
        { cat "$root/$preset/cpack.log"; exit 1; }
    for package in "$root/$preset"/jamcrc[-_]*; do
        case $package in *.sha256) ;; *) cp "$package" "$out/" ;; esac
    done
done

# macOS: one program that runs on both processors, each slice signed ad hoc.
# The linker signs its arm64 program (Apple silicon runs only signed code),
# which is packed as linked; a slice it left unsigned is signed here, as
# `codesign -s -` would.
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || stat -c %Y CMakeLists.txt)}
name=jamcrc-$version-macos-universal
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/$name"
slices=()
for preset in "${macos_presets[@]}"; do
    slice=$root/$preset/jamcrc
    if ! llvm-otool-14 -l "$slice" | grep -q LC_CODE_SIGNATURE; then
        python3 release/macho_adhoc_sign.py sign --identifier jamcrc "$slice" "$stage/$preset"
        slice=$stage/$preset
    fi
    slices+=("$slice")
done
llvm-lipo-14 -create -output "$stage/$name/jamcrc" "${slices[@]}"
cp "$root/${macos_presets[0]}/man/jamcrc.1" README.md LICENSE CHANGELOG.md \
    "$root/${macos_presets[0]}/THIRD-PARTY-LICENSES" "$stage/$name/"
chmod 0755 "$stage/$name" "$stage/$name/jamcrc"
chmod 0644 "$stage/$name"/*.1 "$stage/$name"/[A-Z]*
tar -C "$stage" --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$epoch" --format=gnu -cf - "$name" |
    gzip -9n > "$out/$name.tar.gz"

(cd "$out" && rm -f SHA256SUMS && sha256sum -- * > SHA256SUMS.new && mv SHA256SUMS.new SHA256SUMS)
echo "packages in $out:"
ls "$out"
