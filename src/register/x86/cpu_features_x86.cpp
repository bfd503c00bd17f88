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
// glibc 2.32 and 2.33 have the header but not yet these questions.
#if defined(CPU_FEATURE_ACTIVE)
#define JAMCRC_LOADER_CPU_FEATURES 1
#endif
#endif

#ifdef __APPLE__
#include <sys/sysctl.h>
#include <sys/types.h>
#endif

#include "cpu_features.hpp"

namespace jamcrc::cpu {

namespace {

constexpr unsigned bit(unsigned n) { return 1u << n; }

// The instruction sets the kernels' compile flags let the compiler use, one
// bit each, named as glibc's loader names them.
namespace isa {
constexpr unsigned MMX = bit(0), FXSR = bit(1), SSE = bit(2), SSE2 = bit(3), SSE3 = bit(4), SSSE3 = bit(5),
                   SSE4_1 = bit(6), SSE4_2 = bit(7), POPCNT = bit(8), PCLMULQDQ = bit(9), XSAVE = bit(10),
                   AVX = bit(11), FMA = bit(12), F16C = bit(13), AVX2 = bit(14), VPCLMULQDQ = bit(15),
                   AVX512F = bit(16), AVX512BW = bit(17), AVX512VL = bit(18);
}  // namespace isa

// What each kernel needs: everything its flags in src/register/CMakeLists.txt
// switch on, in GCC or clang, the sets they imply included (-msse4.1 brings
// SSE to SSSE3 with it, -mavx2 SSE4.2, POPCNT and AVX, clang's -mavx512f FMA
// and F16C). Each list holds the one before it: a wider kernel's flags imply
// the narrower one's.
constexpr unsigned NEEDS_PCLMUL_SSE =
    isa::MMX | isa::FXSR | isa::SSE | isa::SSE2 | isa::SSE3 | isa::SSSE3 | isa::SSE4_1 | isa::PCLMULQDQ;
constexpr unsigned NEEDS_VPCLMUL_AVX2 =
    NEEDS_PCLMUL_SSE | isa::SSE4_2 | isa::POPCNT | isa::XSAVE | isa::AVX | isa::AVX2 | isa::VPCLMULQDQ;
constexpr unsigned NEEDS_VPCLMUL_AVX512 =
    NEEDS_VPCLMUL_AVX2 | isa::FMA | isa::F16C | isa::AVX512F | isa::AVX512BW | isa::AVX512VL;

// Instruction sets that use the 256-bit and the 512-bit register state, which
// the OS must save before they may run.
constexpr unsigned USES_AVX_STATE = isa::AVX | isa::FMA | isa::F16C | isa::AVX2 | isa::VPCLMULQDQ;
constexpr unsigned USES_AVX512_STATE = isa::AVX512F | isa::AVX512BW | isa::AVX512VL;

// Where cpuid reports each: leaf 1 (edx, ecx), leaf 7 (ebx, ecx).
struct cpuid_bit {
    unsigned set;
    unsigned leaf;
    enum { EBX, ECX, EDX } reg;
    unsigned position;
};
constexpr cpuid_bit CPUID_BITS[] = {
    {isa::MMX, 1, cpuid_bit::EDX, 23},        {isa::FXSR, 1, cpuid_bit::EDX, 24},
    {isa::SSE, 1, cpuid_bit::EDX, 25},        {isa::SSE2, 1, cpuid_bit::EDX, 26},
    {isa::SSE3, 1, cpuid_bit::ECX, 0},        {isa::PCLMULQDQ, 1, cpuid_bit::ECX, 1},
    {isa::SSSE3, 1, cpuid_bit::ECX, 9},       {isa::FMA, 1, cpuid_bit::ECX, 12},
    {isa::SSE4_1, 1, cpuid_bit::ECX, 19},     {isa::SSE4_2, 1, cpuid_bit::ECX, 20},
    {isa::POPCNT, 1, cpuid_bit::ECX, 23},     {isa::XSAVE, 1, cpuid_bit::ECX, 26},
    {isa::AVX, 1, cpuid_bit::ECX, 28},        {isa::F16C, 1, cpuid_bit::ECX, 29},
    {isa::AVX2, 7, cpuid_bit::EBX, 5},        {isa::AVX512F, 7, cpuid_bit::EBX, 16},
    {isa::AVX512BW, 7, cpuid_bit::EBX, 30},   {isa::AVX512VL, 7, cpuid_bit::EBX, 31},
    {isa::VPCLMULQDQ, 7, cpuid_bit::ECX, 10},
};
constexpr unsigned OSXSAVE = bit(27);  // leaf 1, ecx: the OS uses XSAVE, so XCR0 can be read

// XCR0: register state the OS saves.
constexpr std::uint32_t XSTATE_SSE_AVX = bit(1) | bit(2);

bool all(unsigned word, unsigned bits) { return (word & bits) == bits; }

std::uint32_t xcr0() {
    std::uint32_t eax = 0;
    std::uint32_t edx = 0;
    __asm__ volatile("xgetbv" : "=a"(eax), "=d"(edx) : "c"(0));
    return eax;
}

// Whether the OS saves the 512-bit state. macOS turns it on per thread at a
// thread's first use, so XCR0 doesn't show it beforehand; the system says
// whether it will.
#ifdef __APPLE__
bool apple_says(const char* name) {
    int value = 0;
    std::size_t size = sizeof value;
    return ::sysctlbyname(name, &value, &size, nullptr, 0) == 0 && value != 0;
}
bool os_saves_avx512(std::uint32_t) {
    return apple_says("hw.optional.avx512f") && apple_says("hw.optional.avx512bw") &&
           apple_says("hw.optional.avx512vl");
}
#else
constexpr std::uint32_t XSTATE_AVX512 = bit(5) | bit(6) | bit(7);
bool os_saves_avx512(std::uint32_t saved) { return all(saved, XSTATE_SSE_AVX | XSTATE_AVX512); }
#endif

x86_features from_instruction_sets(unsigned usable) {
    return {all(usable, NEEDS_PCLMUL_SSE), all(usable, NEEDS_VPCLMUL_AVX2), all(usable, NEEDS_VPCLMUL_AVX512)};
}

#ifdef JAMCRC_LOADER_CPU_FEATURES
x86_features from_loader() {
    // "Active" means the CPU has it and the OS lets it run.
#define JAMCRC_ACTIVE(name) (CPU_FEATURE_ACTIVE(name) ? isa::name : 0u)
    return from_instruction_sets(
        JAMCRC_ACTIVE(MMX) | JAMCRC_ACTIVE(FXSR) | JAMCRC_ACTIVE(SSE) | JAMCRC_ACTIVE(SSE2) | JAMCRC_ACTIVE(SSE3) |
        JAMCRC_ACTIVE(SSSE3) | JAMCRC_ACTIVE(SSE4_1) | JAMCRC_ACTIVE(SSE4_2) | JAMCRC_ACTIVE(POPCNT) |
        JAMCRC_ACTIVE(PCLMULQDQ) | JAMCRC_ACTIVE(XSAVE) | JAMCRC_ACTIVE(AVX) | JAMCRC_ACTIVE(FMA) |
        JAMCRC_ACTIVE(F16C) | JAMCRC_ACTIVE(AVX2) | JAMCRC_ACTIVE(VPCLMULQDQ) | JAMCRC_ACTIVE(AVX512F) |
        JAMCRC_ACTIVE(AVX512BW) | JAMCRC_ACTIVE(AVX512VL));
#undef JAMCRC_ACTIVE
}
#endif

// The answers, packed as bits once asked (ASKED set), so that the CPU is asked
// once however many questions follow. A race only asks twice.
constexpr unsigned ASKED = bit(0);
constexpr unsigned ANSWER_PCLMUL_SSE = bit(1);
constexpr unsigned ANSWER_VPCLMUL_AVX2 = bit(2);
constexpr unsigned ANSWER_VPCLMUL_AVX512 = bit(3);
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
                (f.vpclmul_avx512 ? ANSWER_VPCLMUL_AVX512 : 0u);
        answers.store(known, std::memory_order_relaxed);
    }
    return {(known & ANSWER_PCLMUL_SSE) != 0, (known & ANSWER_VPCLMUL_AVX2) != 0,
            (known & ANSWER_VPCLMUL_AVX512) != 0};
}

// The vendor's name as cpuid leaf 0 spells it, four letters to a register.
constexpr std::uint32_t letters(const char (&four)[5]) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(four[0])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(four[1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(four[2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(four[3])) << 24;
}
static_assert(letters("Auth") == 0x68747541u, "ebx of AuthenticAMD");

// AMD's Zen 5 (family 0x1A) streams best with prefetches far ahead, as
// Intel's designs do; earlier AMD designs (Zen 4, family 0x19) with near ones.
constexpr unsigned ZEN5_FAMILY = 0x1A;

}  // namespace

x86_features x86_from_cpuid() {
    const auto max_leaf = static_cast<unsigned>(__get_cpuid_max(0, nullptr));
    if (max_leaf < 1) {
        return {};
    }
    unsigned regs[8][3] = {};  // ebx, ecx, edx of leaves 1 and 7
    unsigned eax = 0;
    __cpuid(1, eax, regs[1][0], regs[1][1], regs[1][2]);
    if (max_leaf >= 7) {
        __cpuid_count(7, 0, eax, regs[7][0], regs[7][1], regs[7][2]);
    }
    unsigned present = 0;
    for (const cpuid_bit& b : CPUID_BITS) {
        present |= (regs[b.leaf][b.reg] >> b.position & 1u) != 0 ? b.set : 0u;
    }
    const std::uint32_t saved = all(regs[1][1], OSXSAVE) ? xcr0() : 0;
    if (!all(saved, XSTATE_SSE_AVX)) {
        present &= ~(USES_AVX_STATE | USES_AVX512_STATE);
    }
    if (!os_saves_avx512(saved)) {
        present &= ~USES_AVX512_STATE;
    }
    return from_instruction_sets(present);
}

bool has_pclmul_sse() { return features().pclmul_sse; }
bool has_vpclmul_avx2() { return features().vpclmul_avx2; }
bool has_vpclmul_avx512() { return features().vpclmul_avx512; }

bool x86_prefers_near_prefetch() {
    // Asked of cpuid only when first needed (large buffers), and kept:
    // 0 not yet asked, 1 no, 2 yes. A race only asks twice.
    static std::atomic<int> answer{0};
    int known = answer.load(std::memory_order_relaxed);
    if (known == 0) {
        unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
        __cpuid(0, eax, ebx, ecx, edx);
        const bool amd = (ebx == letters("Auth") && edx == letters("enti") && ecx == letters("cAMD")) ||
                         (ebx == letters("Hygo") && edx == letters("nGen") && ecx == letters("uine"));
        __cpuid(1, eax, ebx, ecx, edx);
        const unsigned base_family = eax >> 8 & 0xFu;
        const unsigned family = base_family == 0xFu ? base_family + (eax >> 20 & 0xFFu) : base_family;
        known = amd && family < ZEN5_FAMILY ? 2 : 1;
        answer.store(known, std::memory_order_relaxed);
    }
    return known == 2;
}

}  // namespace jamcrc::cpu
