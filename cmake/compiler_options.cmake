# Warnings, optional -Werror and sanitizers, hardening and reproducibility,
# applied to every target of ours through one interface library.
include(CheckCXXCompilerFlag)
include(CheckLinkerFlag)
add_library(jamcrc_options INTERFACE)
# Warnings are always on. They stop the build only where asked (the test
# configurations ask): a newer compiler's new warning must not stop anyone
# from building the tool.
target_compile_options(jamcrc_options INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion)
if(JAMCRC_WARNINGS_AS_ERRORS)
  target_compile_options(jamcrc_options INTERFACE -Werror)
endif()
if(WIN32)
  # The oldest Windows the tool promises (7): its headers then declare what
  # that system has and nothing newer, whatever default they come with.
  target_compile_definitions(jamcrc_options INTERFACE _WIN32_WINNT=0x0601)
endif()

# jamcrc_check_compile_flag(FLAG RESULT): whether the compiler takes FLAG for
# this target without a word. Checked with -Werror, as the tests build: a
# compiler that merely warns the flag is unused (Darwin's and AArch64 clang's
# -fstack-clash-protection) would otherwise break every warnings-as-errors
# build, and gains nothing from it. Where the compiler warns even without the
# flag (a user's CXXFLAGS may name a warning it doesn't know), every flag
# would be refused, so the flag is judged without the user's flags there.
check_cxx_compiler_flag(-Werror JAMCRC_CXX_COMPILES_WITHOUT_WARNINGS)
function(jamcrc_check_compile_flag flag result)
  string(MAKE_C_IDENTIFIER "JAMCRC_CXX_FLAG${flag}" known)
  if(NOT JAMCRC_CXX_COMPILES_WITHOUT_WARNINGS)
    set(CMAKE_CXX_FLAGS "")
  endif()
  set(CMAKE_REQUIRED_FLAGS -Werror)
  # Compiled, not linked: a flag of the compiler is judged by the compiler
  # (zig's driver would also build its runtimes anew for each such link).
  set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
  check_cxx_compiler_flag("${flag}" ${known})
  set(${result} ${${known}} PARENT_SCOPE)
endfunction()

# jamcrc_check_link_flag(FLAG RESULT): the same for a flag of the link step.
function(jamcrc_check_link_flag flag result)
  string(MAKE_C_IDENTIFIER "JAMCRC_LINKER${flag}" known)
  if(NOT JAMCRC_CXX_COMPILES_WITHOUT_WARNINGS)
    set(CMAKE_CXX_FLAGS "")
  endif()
  check_linker_flag(CXX "${flag}" ${known})
  set(${result} ${${known}} PARENT_SCOPE)
endfunction()
if(JAMCRC_SANITIZE)
  target_compile_options(jamcrc_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(jamcrc_options INTERFACE -fsanitize=address,undefined)
endif()

if(NOT WIN32)
  # 64-bit file offsets and times in every target, 32-bit builds included: a
  # file of 2 GiB or more must open and be measured (and then refused) like
  # any other, and one dated after 2038 must not make fstat fail. No-ops where
  # they are 64-bit already.
  add_compile_definitions(_FILE_OFFSET_BITS=64 _TIME_BITS=64)

  # Hardened as distributions build their packages: position-independent
  # (address randomisation), stack canaries and probes, control-flow marks where the
  # processor has them (x86), checked libc calls in optimised builds, and
  # relocations resolved at start and made read-only. Each flag is used where
  # the compiler or linker takes it.
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  foreach(flag -fstack-protector-strong -fstack-clash-protection -fcf-protection)
    jamcrc_check_compile_flag(${flag} known)
    if(known)
      target_compile_options(jamcrc_options INTERFACE ${flag})
    endif()
  endforeach()
  if(NOT JAMCRC_SANITIZE)  # the sanitizers check these calls their own way
    target_compile_options(jamcrc_options INTERFACE
      "$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
  endif()
  jamcrc_check_link_flag("-Wl,-z,relro,-z,now" relro_now)
  if(relro_now)
    target_link_options(jamcrc_options INTERFACE -Wl,-z,relro -Wl,-z,now)
  endif()
endif()

# No build folder in any program: the same sources give the same bytes
# wherever they are built.
target_compile_options(jamcrc_options INTERFACE
  -ffile-prefix-map=${PROJECT_SOURCE_DIR}/=  -ffile-prefix-map=${PROJECT_BINARY_DIR}/=)

if(MINGW)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND JAMCRC_TARGET_PROCESSOR STREQUAL "x86")
    # Windows only promises 16-byte stack alignment, but GCC spills 32- and
    # 64-byte vectors with aligned moves; have the GNU assembler emit
    # unaligned ones. Clang realigns its stack and needs nothing.
    target_compile_options(jamcrc_options INTERFACE -Wa,-muse-unaligned-vector-move)
  endif()
  # No DLLs beyond the system's own: libgcc, libstdc++ and winpthread go in.
  target_link_options(jamcrc_options INTERFACE -static)
  # The PE header's time stamp would differ on every link: zero, which says
  # none, where the linker takes it (GNU ld, lld's MinGW driver); zig's driver
  # refuses that but passes lld's own flag, which stamps a hash of the program.
  set(stamp_flag "")
  foreach(flag -Wl,--no-insert-timestamp -Wl,-Brepro)
    jamcrc_check_link_flag(${flag} known)
    if(known)
      set(stamp_flag ${flag})
      target_link_options(jamcrc_options INTERFACE ${flag})
      break()
    endif()
  endforeach()
  if(NOT stamp_flag)
    message(WARNING "The linker takes no flag against the PE time stamp: programs will differ on every link")
  endif()
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # A 32-bit program gets 4 GiB of address space on 64-bit Windows only when
    # it says it can use addresses above 2 GiB; without that no buffer near
    # the largest file the tool takes (2 GiB - 1) can fit.
    target_link_options(jamcrc_options INTERFACE -Wl,--large-address-aware)
  endif()
endif()
