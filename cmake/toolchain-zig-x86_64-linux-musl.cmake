# Build for x86-64 Linux on musl (the Alpine class of C library), with zig's
# clang. The programs are static and run here as they are.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(JAMCRC_ZIG_TARGET x86_64-linux-musl)
include(${CMAKE_CURRENT_LIST_DIR}/zig_toolchain.cmake)
