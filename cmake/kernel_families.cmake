# Which CPU-specific kernel families this build carries, decided once here;
# the register library and the benchmarks read these variables, the code the
# JAMCRC_KERNELS_* definitions made from them. The portable kernel is always
# built.
set(JAMCRC_KERNELS_X86 OFF)
set(JAMCRC_KERNELS_ARM OFF)
set(JAMCRC_ARM_AARCH32 OFF)
if(JAMCRC_TARGET_PROCESSOR STREQUAL "x86")
  set(JAMCRC_KERNELS_X86 ON)
elseif(JAMCRC_TARGET_LITTLE_ENDIAN)
  # The ARM kernel loads 64-bit words in native order and the CRC32
  # instructions take them as little-endian bytes: only little-endian ARM can
  # use it. ARMv8 CPUs have the instructions in 32-bit programs too (a
  # Raspberry Pi 3 or later under a 32-bit system), so it is built for both.
  if(JAMCRC_TARGET_PROCESSOR STREQUAL "aarch64")
    set(JAMCRC_KERNELS_ARM ON)
  elseif(JAMCRC_TARGET_PROCESSOR STREQUAL "arm")
    set(JAMCRC_KERNELS_ARM ON)
    set(JAMCRC_ARM_AARCH32 ON)
  endif()
endif()

# The AVX-512 kernel's instruction set, also used by the benchmark's
# load-only yardstick that streams memory the same way.
set(JAMCRC_AVX512_FLAGS -mavx512f -mavx512bw -mavx512vl -mpclmul -mvpclmulqdq)

# jamcrc_check_arm_crc32_flags(FLAGS RESULT): whether the compiler takes FLAGS
# without a word and then has the CRC32 instructions (__ARM_FEATURE_CRC32):
# some take a flag and do nothing with it.
function(jamcrc_check_arm_crc32_flags flags result)
  string(MAKE_C_IDENTIFIER "JAMCRC_ARM_CRC32_WITH${flags}" known)
  set(CMAKE_REQUIRED_FLAGS "-Werror ${flags}")
  set(CMAKE_REQUIRED_QUIET ON)
  set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
  check_cxx_source_compiles("#ifndef __ARM_FEATURE_CRC32\n#error no\n#endif\nint main() { return 0; }" ${known})
  set(${result} ${${known}} PARENT_SCOPE)
endfunction()

if(JAMCRC_KERNELS_ARM)
  # The ARM kernel's instruction set, in the first form the compiler takes:
  # a 32-bit hard-float target needs the FPU named with it (armv8-a alone has
  # none there), and some clang drivers (zig's) read -march as a CPU name and
  # take the extension on -mcpu instead, or for 32-bit ARM only an ARMv8 CPU
  # by its name.
  include(CheckCXXSourceCompiles)
  unset(JAMCRC_ARM_CRC32_FLAGS)
  foreach(flags -march=armv8-a+crc -march=armv8-a+crc+simd -mcpu=generic+crc -mcpu=cortex_a53)
    jamcrc_check_arm_crc32_flags(${flags} known)
    if(known)
      set(JAMCRC_ARM_CRC32_FLAGS ${flags})
      break()
    endif()
  endforeach()
  if(NOT JAMCRC_ARM_CRC32_FLAGS)
    # The tool still builds, with the portable kernel; the test
    # configurations would see the kernel they expect missing.
    message(WARNING "the compiler takes none of the ways tried of asking for the ARMv8 CRC32 instructions: "
      "the ARM kernel is left out")
    set(JAMCRC_KERNELS_ARM OFF)
  endif()
endif()

if(JAMCRC_KERNELS_ARM)
  # How the program asks whether the CPU has the CRC32 instructions: found by
  # looking for each system's call, not guessed from the system's name.
  # "none" trusts the compiler's target (__ARM_FEATURE_CRC32) instead.
  include(CheckSymbolExists)
  set(JAMCRC_ARM_QUERY "" CACHE STRING "How to ask for the CRC32 instructions: getauxval, elf_aux_info, sysctlbyname, windows or none (empty: detect)")
  if(JAMCRC_ARM_QUERY STREQUAL "")
    check_symbol_exists(getauxval "sys/auxv.h" JAMCRC_HAVE_GETAUXVAL)
    check_symbol_exists(elf_aux_info "sys/auxv.h" JAMCRC_HAVE_ELF_AUX_INFO)
    check_symbol_exists(sysctlbyname "sys/types.h;sys/sysctl.h" JAMCRC_HAVE_SYSCTLBYNAME)
    check_symbol_exists(IsProcessorFeaturePresent "windows.h" JAMCRC_HAVE_IS_PROCESSOR_FEATURE_PRESENT)
    if(JAMCRC_HAVE_GETAUXVAL)
      set(JAMCRC_ARM_QUERY getauxval)
    elseif(JAMCRC_HAVE_ELF_AUX_INFO)
      set(JAMCRC_ARM_QUERY elf_aux_info)
    elseif(JAMCRC_HAVE_SYSCTLBYNAME)
      set(JAMCRC_ARM_QUERY sysctlbyname)
    elseif(JAMCRC_HAVE_IS_PROCESSOR_FEATURE_PRESENT)
      set(JAMCRC_ARM_QUERY windows)
    else()
      set(JAMCRC_ARM_QUERY none)
    endif()
  endif()
  if(JAMCRC_ARM_AARCH32)
    set(arm_state "32-bit ARM")
  else()
    set(arm_state "AArch64")
  endif()
  message(STATUS "${arm_state} CRC32 instructions: asked through ${JAMCRC_ARM_QUERY}, kernel built with ${JAMCRC_ARM_CRC32_FLAGS}")
endif()
