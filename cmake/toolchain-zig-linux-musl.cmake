# Build for Linux on musl (the Alpine class of C library) with zig's clang:
# the programs of the portable archives, static and position-independent,
# for any Linux of their processor. The preset names the target as zig does
# (JAMCRC_ZIG_TARGET: aarch64-linux-musl, arm-linux-musleabihf, ...), and
# where a CPU older than the target's baseline must run them, that CPU
# (JAMCRC_ZIG_CPU, as zig names it: arm1176jzf_s for the ARMv6 of the first
# Raspberry Pi). A program for another processor than this machine's runs
# here under JAMCRC_CROSS_QEMU.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES JAMCRC_ZIG_TARGET JAMCRC_ZIG_CPU JAMCRC_CROSS_QEMU)
# The processor as uname -m names it (and so the portable archive).
string(REGEX MATCH "^[^-]+" processor "${JAMCRC_ZIG_TARGET}")
string(REGEX REPLACE "^powerpc64le$" ppc64le processor "${processor}")
string(REGEX REPLACE "^x86$" i686 processor "${processor}")
if(NOT processor STREQUAL CMAKE_HOST_SYSTEM_PROCESSOR)
  set(CMAKE_SYSTEM_NAME Linux)
endif()
set(CMAKE_SYSTEM_PROCESSOR ${processor})
include(${CMAKE_CURRENT_LIST_DIR}/zig_toolchain.cmake)
# Position-independent, compiled and linked so everywhere, the configure
# checks too: zig builds its runtimes once for such links.
set(flags -fPIE)
if(JAMCRC_ZIG_CPU)
  string(APPEND flags " -mcpu=${JAMCRC_ZIG_CPU}")
endif()
set(CMAKE_C_FLAGS_INIT "${flags}")
set(CMAKE_CXX_FLAGS_INIT "${flags}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${JAMCRC_ZIG_LINK_FLAGS} -pie")
if(JAMCRC_CROSS_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${JAMCRC_CROSS_QEMU})
endif()
# Read by the packaging: this build's program is the portable archive's.
set(JAMCRC_STATIC_PROGRAM ON)
