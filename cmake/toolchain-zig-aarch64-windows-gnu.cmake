# Build for Windows on ARM (MinGW-w64), with zig's clang. zig 0.14 (the
# zig-0.14 package .ci/run fetches beside 0.11): 0.11 can't link a program
# with a wide entry point (wmain) for this target.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ARM64)
# zig defines _WIN32_WINNT by the oldest Windows of the target; it must agree
# with the program's own (7, see compiler_options.cmake), or the two clash.
# Windows on ARM began with 10, which has all of 7's calls.
set(JAMCRC_ZIG_TARGET aarch64-windows.win7-gnu)
set(JAMCRC_ZIG_PACKAGE zig-0.14)
include(${CMAKE_CURRENT_LIST_DIR}/zig_toolchain.cmake)
find_program(CMAKE_RC_COMPILER NAMES llvm-windres-14 llvm-windres REQUIRED)
# windres makes x64 resources unless told the target, which the linker
# refuses; for this target it finds no system headers of its own, so it is
# given zig's MinGW-w64 ones.
get_filename_component(zig_dir ${JAMCRC_ZIG} DIRECTORY)
set(CMAKE_RC_FLAGS_INIT "--target=aarch64-w64-mingw32 -I ${zig_dir}/lib/libc/include/any-windows-any")
# zig links a PDB to every program, named in it by an id that follows the
# build folder: optimised programs are stripped instead, as the GCC builds
# carry no debug information either, so they are the same bytes wherever built.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT -s)
set(CMAKE_EXE_LINKER_FLAGS_MINSIZEREL_INIT -s)
# The programs run here under arm64 Wine on qemu-user (once
# tests/windows/wine_arm64_setup.sh has made it ready).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/windows/wine_arm64.sh)
