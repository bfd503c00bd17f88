// x86: cpuid for the instructions, XCR0 for whether the OS saves the wider
// registers across context switches (without that, AVX code must not run).
#include <cpuid.h>

#include <cstdint>

#include "cpu_features.hpp"

namespace jamcrc::cpu {

namespace {

struct cpuid_words {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
};

cpuid_words cpuid(unsigned leaf, unsigned subleaf) {
    cpuid_words w;
    if (__get_cpuid_max(0, nullptr) < leaf ||
        !__get_cpuid_count(leaf, subleaf, &w.eax, &w.ebx, &w.ecx, &w.edx)) {
        return {};
    }
    return w;
}

constexpr unsigned bit(unsigned n) { return 1u << n; }

// Leaf 1, ecx.
constexpr unsigned PCLMULQDQ = bit(1);
constexpr unsigned SSE41 = bit(19);
constexpr unsigned OSXSAVE = bit(27);
constexpr unsigned AVX = bit(28);
// Leaf 7, ebx and ecx.
constexpr unsigned AVX2 = bit(5);
constexpr unsigned AVX512F = bit(16);
constexpr unsigned AVX512BW = bit(30);
constexpr unsigned AVX512VL = bit(31);
constexpr unsigned VPCLMULQDQ = bit(10);
// XCR0: register state the OS saves.
constexpr std::uint32_t XSTATE_SSE_AVX = bit(1) | bit(2);
constexpr std::uint32_t XSTATE_AVX512 = bit(5) | bit(6) | bit(7);

std::uint32_t os_saved_state() {
    if (!(cpuid(1, 0).ecx & OSXSAVE)) {
        return 0;
    }
    std::uint32_t eax = 0;
    std::uint32_t edx = 0;
    __asm__ volatile("xgetbv" : "=a"(eax), "=d"(edx) : "c"(0));
    return eax;
}

bool all(unsigned word, unsigned bits) { return (word & bits) == bits; }

bool avx_usable() {
    return all(cpuid(1, 0).ecx, AVX | OSXSAVE) && all(os_saved_state(), XSTATE_SSE_AVX);
}

}  // namespace

bool always() { return true; }

bool has_sse41_pclmul() { return all(cpuid(1, 0).ecx, PCLMULQDQ | SSE41); }

bool has_avx2_vpclmul() {
    const cpuid_words leaf7 = cpuid(7, 0);
    return has_sse41_pclmul() && avx_usable() && all(leaf7.ebx, AVX2) && all(leaf7.ecx, VPCLMULQDQ);
}

bool has_avx512_vpclmul() {
    const cpuid_words leaf7 = cpuid(7, 0);
    return has_avx2_vpclmul() && all(leaf7.ebx, AVX512F | AVX512BW | AVX512VL) &&
           all(os_saved_state(), XSTATE_SSE_AVX | XSTATE_AVX512);
}

bool has_arm_crc32() { return false; }

}  // namespace jamcrc::cpu
