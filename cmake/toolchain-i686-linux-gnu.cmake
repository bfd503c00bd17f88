# Cross build for 32-bit x86 Linux with Debian's g++-i686-linux-gnu. The test
# programs are linked statically: a dynamically linked i386 program that
# starts a thread hangs under qemu-i386-static. The tool itself is built both
# ways, as for every Linux: dynamic for the Debian package, static for the
# portable archive.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(JAMCRC_CROSS_TRIPLE i686-linux-gnu)
set(JAMCRC_CROSS_QEMU qemu-i386-static)
set(JAMCRC_STATIC_TEST_PROGRAMS ON)
include(${CMAKE_CURRENT_LIST_DIR}/linux_cross_toolchain.cmake)
