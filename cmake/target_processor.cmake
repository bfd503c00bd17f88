# What the compiler builds for, asked of the compiler itself through its
# predefined macros: the processor family and the byte order. CMake's own
# guesses can miss (its byte order is empty for Apple targets it can't run, and
# CMAKE_SYSTEM_PROCESSOR is only what a toolchain file says), and a missed
# guess would quietly drop a kernel.
#   JAMCRC_TARGET_PROCESSOR  x86 (32- or 64-bit), aarch64, arm (32-bit) or other
#   JAMCRC_TARGET_LITTLE_ENDIAN  ON or OFF
include(CheckCXXSourceCompiles)

# jamcrc_target_is(CONDITION RESULT): whether CONDITION, a preprocessor
# expression, holds for the target.
function(jamcrc_target_is condition result)
  set(CMAKE_REQUIRED_QUIET ON)
  check_cxx_source_compiles("#if !(${condition})\n#error no\n#endif\nint main() { return 0; }" ${result})
endfunction()

jamcrc_target_is("defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)" JAMCRC_TARGET_IS_X86)
jamcrc_target_is("defined(__aarch64__) || defined(_M_ARM64)" JAMCRC_TARGET_IS_AARCH64)
jamcrc_target_is("defined(__arm__) || defined(_M_ARM)" JAMCRC_TARGET_IS_ARM)
# Windows is little-endian on every processor it runs on.
jamcrc_target_is("(defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__) || defined(_WIN32)"
  JAMCRC_TARGET_IS_LITTLE_ENDIAN)

if(JAMCRC_TARGET_IS_X86)
  set(JAMCRC_TARGET_PROCESSOR x86)
elseif(JAMCRC_TARGET_IS_AARCH64)
  set(JAMCRC_TARGET_PROCESSOR aarch64)
elseif(JAMCRC_TARGET_IS_ARM)
  set(JAMCRC_TARGET_PROCESSOR arm)
else()
  set(JAMCRC_TARGET_PROCESSOR other)
endif()
set(JAMCRC_TARGET_LITTLE_ENDIAN ${JAMCRC_TARGET_IS_LITTLE_ENDIAN})
if(JAMCRC_TARGET_LITTLE_ENDIAN)
  set(byte_order little-endian)
else()
  set(byte_order big-endian)
endif()
message(STATUS "Target processor: ${JAMCRC_TARGET_PROCESSOR}, ${byte_order}")
