# Cross build for 32-bit ARM Linux, hard float (the Raspberry Pi OS class of
# system), with Debian's g++-arm-linux-gnueabihf.
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(JAMCRC_CROSS_TRIPLE arm-linux-gnueabihf)
set(JAMCRC_CROSS_QEMU qemu-arm-static)
include(${CMAKE_CURRENT_LIST_DIR}/linux_cross_toolchain.cmake)
