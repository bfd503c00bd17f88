# Cross build for 32-bit x86 Linux with Debian's g++-i686-linux-gnu. The test
# programs are linked statically: a dynamically linked i386 program that
# starts a thread hangs under qemu-i386-static. The tool is the Debian
# package's, dynamically linked (the portable archive's is the musl-i686
# build's, static).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(JAMCRC_CROSS_TRIPLE i686-linux-gnu)
set(JAMCRC_CROSS_QEMU qemu-i386-static)
# (A cache entry, so that tests/cross/run_linux_cross.sh can read it too.)
set(JAMCRC_STATIC_TEST_PROGRAMS ON CACHE BOOL "Link the test programs statically: the emulator can't run them otherwise")
include(${CMAKE_CURRENT_LIST_DIR}/linux_cross_toolchain.cmake)
