# Cross build for 32-bit x86 Linux with Debian's g++-i686-linux-gnu, linked
# statically: qemu-i386-static then needs no i386 libraries, and a
# dynamically linked i386 program that starts a thread hangs under it.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(JAMCRC_CROSS_TRIPLE i686-linux-gnu)
set(JAMCRC_CROSS_QEMU qemu-i386-static)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
include(${CMAKE_CURRENT_LIST_DIR}/linux_cross_toolchain.cmake)
