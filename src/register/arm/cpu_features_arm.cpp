// ARM: whether the CPU has the CRC32 instructions, for an AArch64 program or a
// 32-bit one (JAMCRC_ARM_AARCH32). Each system answers in its own way; the
// build finds out which one this system offers and says so in
// JAMCRC_ARM_QUERY (see cmake/kernel_families.cmake).
#include <cstddef>

#include "cpu_features.hpp"

#define JAMCRC_ARM_QUERY_GETAUXVAL 1
#define JAMCRC_ARM_QUERY_ELF_AUX_INFO 2
#define JAMCRC_ARM_QUERY_SYSCTLBYNAME 3
#define JAMCRC_ARM_QUERY_WINDOWS 4
#define JAMCRC_ARM_QUERY_NONE 5

#if JAMCRC_ARM_QUERY == JAMCRC_ARM_QUERY_GETAUXVAL || JAMCRC_ARM_QUERY == JAMCRC_ARM_QUERY_ELF_AUX_INFO
#include <sys/auxv.h>
// Where the hardware capabilities carry CRC32: bit 7 of AT_HWCAP for an
// AArch64 program, bit 4 of AT_HWCAP2 for a 32-bit one; the same on Linux and
// FreeBSD. A 32-bit kernel file is also built for ARMv8's SIMD and floating
// point (+simd), which the rest of a 32-bit program doesn't assume: NEON and
// VFPv4, bits 12 and 16 of AT_HWCAP, are asked for too.
#if JAMCRC_ARM_AARCH32
#define JAMCRC_CRC32_HWCAP AT_HWCAP2
#define JAMCRC_CRC32_HWCAP_BIT (1ul << 4)
#define JAMCRC_SIMD_HWCAP_BITS ((1ul << 12) | (1ul << 16))
#else
#define JAMCRC_CRC32_HWCAP AT_HWCAP
#define JAMCRC_CRC32_HWCAP_BIT (1ul << 7)
#define JAMCRC_SIMD_HWCAP_BITS 0ul  // part of every AArch64 CPU
#endif
#elif JAMCRC_ARM_QUERY == JAMCRC_ARM_QUERY_SYSCTLBYNAME
#include <sys/sysctl.h>
#elif JAMCRC_ARM_QUERY == JAMCRC_ARM_QUERY_WINDOWS
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#elif JAMCRC_ARM_QUERY != JAMCRC_ARM_QUERY_NONE
#error "JAMCRC_ARM_QUERY names no known way to ask"
#endif

namespace jamcrc::cpu {

bool has_arm_crc32() {
#if JAMCRC_ARM_QUERY == JAMCRC_ARM_QUERY_GETAUXVAL
    return (getauxval(JAMCRC_CRC32_HWCAP) & JAMCRC_CRC32_HWCAP_BIT) != 0 &&  // Linux
           (getauxval(AT_HWCAP) & JAMCRC_SIMD_HWCAP_BITS) == JAMCRC_SIMD_HWCAP_BITS;
#elif JAMCRC_ARM_QUERY == JAMCRC_ARM_QUERY_ELF_AUX_INFO
    unsigned long crc = 0;  // FreeBSD, OpenBSD
    unsigned long simd = 0;
    return elf_aux_info(JAMCRC_CRC32_HWCAP, &crc, sizeof crc) == 0 && (crc & JAMCRC_CRC32_HWCAP_BIT) != 0 &&
           elf_aux_info(AT_HWCAP, &simd, sizeof simd) == 0 &&
           (simd & JAMCRC_SIMD_HWCAP_BITS) == JAMCRC_SIMD_HWCAP_BITS;
#elif JAMCRC_ARM_QUERY == JAMCRC_ARM_QUERY_SYSCTLBYNAME
    int present = 0;  // macOS; every Apple arm64 CPU says yes
    std::size_t size = sizeof present;
    return ::sysctlbyname("hw.optional.armv8_crc32", &present, &size, nullptr, 0) == 0 && present != 0;
#elif JAMCRC_ARM_QUERY == JAMCRC_ARM_QUERY_WINDOWS
    return ::IsProcessorFeaturePresent(PF_ARM_V8_CRC32_INSTRUCTIONS_AVAILABLE) != 0;
#elif defined(__ARM_FEATURE_CRC32)
    return true;  // no way to ask: the compiler was told every target CPU has them
#else
    return false;  // no way to ask, nor a promise: the portable kernel
#endif
}

}  // namespace jamcrc::cpu
