# Shared by the Linux cross toolchain files: Debian's cross compiler for
# JAMCRC_CROSS_TRIPLE, its sysroot under /usr/<triple>, and the qemu-user
# emulator JAMCRC_CROSS_QEMU that runs the programs here (CMake runs the
# register tests through it; the command-line tests run the tool through
# build/<preset>/run_on_target, made from it). QEMU_CPU, where set, picks the
# emulated CPU.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${JAMCRC_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${JAMCRC_CROSS_TRIPLE}-g++)
set(CMAKE_CROSSCOMPILING_EMULATOR ${JAMCRC_CROSS_QEMU} -L /usr/${JAMCRC_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH /usr/${JAMCRC_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
