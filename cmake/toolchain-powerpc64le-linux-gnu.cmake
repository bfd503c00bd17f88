# Cross build for 64-bit POWER Linux, little-endian (POWER8 and later), with
# Debian's g++-powerpc64le-linux-gnu.
set(CMAKE_SYSTEM_PROCESSOR ppc64le)
set(JAMCRC_CROSS_TRIPLE powerpc64le-linux-gnu)
set(JAMCRC_CROSS_QEMU qemu-ppc64le-static)
include(${CMAKE_CURRENT_LIST_DIR}/linux_cross_toolchain.cmake)
