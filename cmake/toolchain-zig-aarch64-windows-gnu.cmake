# Build for Windows on ARM (MinGW-w64), with zig's clang.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ARM64)
set(JAMCRC_ZIG_TARGET aarch64-windows-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/zig_toolchain.cmake)
# The version resource needs a resource compiler to configure; this build
# compiles sources and links nothing, so it is never run.
find_program(CMAKE_RC_COMPILER NAMES llvm-windres-14 llvm-windres REQUIRED)
