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

