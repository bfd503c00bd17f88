# Cross build for 64-bit IBM Z Linux with Debian's g++-s390x-linux-gnu: a
# big-endian system, where any byte-order fault in the tool or the portable
# kernel shows.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(JAMCRC_CROSS_TRIPLE s390x-linux-gnu)
set(JAMCRC_CROSS_QEMU qemu-s390x-static)
include(${CMAKE_CURRENT_LIST_DIR}/linux_cross_toolchain.cmake)
