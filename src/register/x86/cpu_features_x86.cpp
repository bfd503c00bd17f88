// x86: cpuid for the instructions, XCR0 for whether the OS saves the wider
// registers across context switches (without that, AVX code must not run).
//
// Under a hypervisor each cpuid traps and can cost tens of microseconds, a
// noticeable share of a short run. glibc's loader has already asked the same
// questions at start-up (including the XCR0 check) and keeps the answers, so
// where it offers them they are read from there instead.
#include <cpuid.h>

#include <atomic>
#include <cstdint>

#if __has_include(<sys/platform/x86.h>)
#ifdef __clang__
#define _Bool bool  // the header is written for C; GCC accepts _Bool in C++, clang doesn't
#include <sys/platform/x86.h>
#undef _Bool
#else
#include <sys/platform/x86.h>
#endif
#define JAMCRC_LOADER_CPU_FEATURES 1
#endif

#include "cpu_features.hpp"

namespace jamcrc::cpu {

namespace {

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
// Leaf 0x80000001, ecx.
constexpr unsigned SSE4A = bit(6);
// XCR0: register state the OS saves.
constexpr std::uint32_t XSTATE_SSE_AVX = bit(1) | bit(2);
constexpr std::uint32_t XSTATE_AVX512 = bit(5) | bit(6) | bit(7);

bool all(unsigned word, unsigned bits) { return (word & bits) == bits; }

std::uint32_t xcr0() {
    std::uint32_t eax = 0;
    std::uint32_t edx = 0;
    __asm__ volatile("xgetbv" : "=a"(eax), "=d"(edx) : "c"(0));
    return eax;
}

#ifdef JAMCRC_LOADER_CPU_FEATURES
x86_features from_loader() {
    // "Active" means the CPU has it and the OS lets it run.
    x86_features f{};
    f.pclmul_sse = CPU_FEATURE_ACTIVE(SSE4_1) && CPU_FEATURE_ACTIVE(PCLMULQDQ);
    f.vpclmul_avx2 = f.pclmul_sse && CPU_FEATURE_ACTIVE(AVX2) && CPU_FEATURE_ACTIVE(VPCLMULQDQ);
    f.vpclmul_avx512 = f.vpclmul_avx2 && CPU_FEATURE_ACTIVE(AVX512F) && CPU_FEATURE_ACTIVE(AVX512BW) &&
                       CPU_FEATURE_ACTIVE(AVX512VL);
    f.amd_design = CPU_FEATURE_PRESENT(SSE4A);
    return f;
}
#endif

// The answers, packed as bits once asked (ASKED set), so that the CPU is asked
// once however many questions follow. A race only asks twice.
constexpr unsigned ASKED = bit(0);
constexpr unsigned ANSWER_PCLMUL_SSE = bit(1);
constexpr unsigned ANSWER_VPCLMUL_AVX2 = bit(2);
constexpr unsigned ANSWER_VPCLMUL_AVX512 = bit(3);
constexpr unsigned ANSWER_AMD_DESIGN = bit(4);
std::atomic<unsigned> answers{0};

x86_features features() {
    unsigned known = answers.load(std::memory_order_relaxed);
    if (known == 0) {
#ifdef JAMCRC_LOADER_CPU_FEATURES
        const x86_features f = from_loader();
#else
        const x86_features f = x86_from_cpuid();
#endif
        known = ASKED | (f.pclmul_sse ? ANSWER_PCLMUL_SSE : 0u) | (f.vpclmul_avx2 ? ANSWER_VPCLMUL_AVX2 : 0u) |
                (f.vpclmul_avx512 ? ANSWER_VPCLMUL_AVX512 : 0u) | (f.amd_design ? ANSWER_AMD_DESIGN : 0u);
        answers.store(known, std::memory_order_relaxed);
    }
    return {(known & ANSWER_PCLMUL_SSE) != 0, (known & ANSWER_VPCLMUL_AVX2) != 0,
            (known & ANSWER_VPCLMUL_AVX512) != 0, (known & ANSWER_AMD_DESIGN) != 0};
}

}  // namespace

x86_features x86_from_cpuid() {
    x86_features f{};
    const auto max_leaf = static_cast<unsigned>(__get_cpuid_max(0, nullptr));
    if (max_leaf < 1) {
        return f;
    }
    unsigned eax = 0, ebx = 0, ecx1 = 0, edx = 0;
    __cpuid(1, eax, ebx, ecx1, edx);
    f.pclmul_sse = all(ecx1, PCLMULQDQ | SSE41);
    if (static_cast<unsigned>(__get_cpuid_max(0x80000000u, nullptr)) >= 0x80000001u) {
        unsigned ecx_extended = 0;
        __cpuid(0x80000001u, eax, ebx, ecx_extended, edx);
        f.amd_design = all(ecx_extended, SSE4A);
    }
    if (max_leaf < 7 || !all(ecx1, AVX | OSXSAVE)) {
        return f;
    }
    unsigned ebx7 = 0, ecx7 = 0;
    __cpuid_count(7, 0, eax, ebx7, ecx7, edx);
    const std::uint32_t saved = xcr0();
    f.vpclmul_avx2 = f.pclmul_sse && all(saved, XSTATE_SSE_AVX) && all(ebx7, AVX2) && all(ecx7, VPCLMULQDQ);
    f.vpclmul_avx512 = f.vpclmul_avx2 && all(saved, XSTATE_SSE_AVX | XSTATE_AVX512) &&
                       all(ebx7, AVX512F | AVX512BW | AVX512VL);
    return f;
}

bool has_pclmul_sse() { return features().pclmul_sse; }
bool has_vpclmul_avx2() { return features().vpclmul_avx2; }
bool has_vpclmul_avx512() { return features().vpclmul_avx512; }
bool x86_amd_design() { return features().amd_design; }

}  // namespace jamcrc::cpu
