# Build for macOS on Intel, with zig's clang.
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(JAMCRC_ZIG_TARGET x86_64-macos.11.0)  # the oldest zig builds for
include(${CMAKE_CURRENT_LIST_DIR}/zig_toolchain.cmake)
