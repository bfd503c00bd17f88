# Cross build for 64-bit Windows with Debian's clang, the compiler of
# llvm-mingw and MSYS2's CLANG64: MinGW-w64's headers and C runtime, which
# clang finds by itself, and the MinGW GCC's C++ library, which it doesn't.
# That library is the POSIX-threads flavour the GCC builds use (GoogleTest
# needs std::mutex), so links name winpthread through -pthread.
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-x86_64.cmake)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET x86_64-w64-mingw32)
set(CMAKE_CXX_COMPILER_TARGET x86_64-w64-mingw32)
set(jamcrc_mingw_gcc /usr/lib/gcc/x86_64-w64-mingw32/12-posix)
set(CMAKE_CXX_FLAGS_INIT
  "-isystem ${jamcrc_mingw_gcc}/include/c++ -isystem ${jamcrc_mingw_gcc}/include/c++/x86_64-w64-mingw32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -L${jamcrc_mingw_gcc} -pthread")
