# Build for macOS on Apple silicon, with zig's clang.
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_PROCESSOR arm64)
set(JAMCRC_ZIG_TARGET aarch64-macos.11.0)  # macOS 11, the first for Apple silicon
include(${CMAKE_CURRENT_LIST_DIR}/zig_toolchain.cmake)
