# Sourced by the release scripts: the builds the release is made from.
#   release_targets   "PRESET GENERATORS TEST...": a build, the packages
#                     cpack makes from it (Debian packages, dynamically
#                     linked, for the processors Debian users mostly have;
#                     the portable archives from the static builds on musl)
#                     and the command that tests it, which records the
#                     programs that passed (tests/tested_programs.sh)
#   macos_presets     the two builds joined into one universal program
release_targets=(
    "release DEB bash tests/run_native.sh release"
    "i686 DEB bash tests/cross/run_linux_cross.sh i686"
    "aarch64 DEB bash tests/cross/run_linux_cross.sh aarch64"
    "armhf DEB bash tests/cross/run_linux_cross.sh armhf"
    "musl TGZ bash tests/run_native.sh musl"
    "musl-i686 TGZ bash tests/cross/run_linux_cross.sh musl-i686"
    "musl-aarch64 TGZ bash tests/cross/run_linux_cross.sh musl-aarch64"
    "musl-armhf TGZ bash tests/cross/run_linux_cross.sh musl-armhf"
    "musl-s390x TGZ bash tests/cross/run_linux_cross.sh musl-s390x"
    "musl-ppc64le TGZ bash tests/cross/run_linux_cross.sh musl-ppc64le"
    "musl-riscv64 TGZ bash tests/cross/run_linux_cross.sh musl-riscv64"
    "windows-x64 ZIP bash tests/windows/run_windows.sh windows-x64"
    "windows-x86 ZIP bash tests/windows/run_windows.sh windows-x86"
    "windows-arm64 ZIP bash tests/windows/run_windows.sh windows-arm64"
)
macos_presets=(macos-arm64 macos-x64)

# The tool's version, as the top CMakeLists.txt gives it.
release_version() {
    sed -n 's/^project(jamcrc VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt
}
