# Which CPU-specific kernel families this build carries, decided once here;
# the register library and the benchmarks read these variables, the code the
# JAMCRC_KERNELS_* definitions made from them. The portable kernel is always
# built.
set(JAMCRC_KERNELS_X86 OFF)
set(JAMCRC_KERNELS_AARCH64 OFF)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|i[3-6]86|x86|X86)$")
  set(JAMCRC_KERNELS_X86 ON)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64|ARM64)$" AND CMAKE_CXX_BYTE_ORDER STREQUAL "LITTLE_ENDIAN")
  # The kernel loads 64-bit words in native order and the CRC32 instructions
  # take them as little-endian bytes: only a little-endian AArch64 can use it.
  set(JAMCRC_KERNELS_AARCH64 ON)
endif()

# The AVX-512 kernel's instruction set, also used by the benchmark's
# load-only yardstick that streams memory the same way.
set(JAMCRC_AVX512_FLAGS -mavx512f -mavx512bw -mavx512vl -mpclmul -mvpclmulqdq)

# How an AArch64 program asks whether the CPU has the CRC32 instructions:
# found by looking for each system's call, not guessed from the system's name.
# "none" trusts the compiler's target (__ARM_FEATURE_CRC32) instead.
if(JAMCRC_KERNELS_AARCH64)
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
  message(STATUS "AArch64 CRC32 instructions: asked through ${JAMCRC_ARM_QUERY}")
endif()
