# Cross build for 64-bit ARM Linux with Debian's clang, against the sysroot and
# C++ library of Debian's g++-aarch64-linux-gnu.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(JAMCRC_CROSS_TRIPLE aarch64-linux-gnu)
set(JAMCRC_CROSS_QEMU qemu-aarch64-static)
include(${CMAKE_CURRENT_LIST_DIR}/linux_cross_toolchain.cmake)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${JAMCRC_CROSS_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${JAMCRC_CROSS_TRIPLE})
