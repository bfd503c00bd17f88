// What the running CPU, and the OS that saves its registers, can execute: one
// question per kernel, named after it. Asked by the dispatcher, and by tests
// and benchmarks to know which kernels they can run here. Each family declares
// only its own questions.
//
// A kernel's question must ask for every instruction set its code may use:
// all that its compile flags switch on, implied sets included. The flags are
// set in src/register/CMakeLists.txt (jamcrc_kernel) and the sets each
// question asks for are listed beside it (NEEDS_* in x86/cpu_features_x86.cpp,
// the CRC32 extension in arm/cpu_features_arm.cpp); a change to one is a
// change to the other.
#pragma once

namespace jamcrc::cpu {

// For the portable kernel.
inline bool always() { return true; }

#if JAMCRC_KERNELS_X86
bool has_pclmul_sse();
bool has_vpclmul_avx2();
bool has_vpclmul_avx512();
// Not a question of what runs but of how fast: whether streaming from memory
// wants its prefetches near rather than far ahead, as AMD's designs before
// Zen 5 do. Told by the vendor (AMD or Hygon, which hypervisors pass on even
// where they hide other marks) and the family.
bool x86_prefers_near_prefetch();

struct x86_features {
    bool pclmul_sse;
    bool vpclmul_avx2;
    bool vpclmul_avx512;
};

// Straight from cpuid and XCR0, asked anew on every call.
x86_features x86_from_cpuid();
#endif

#if JAMCRC_KERNELS_ARM
bool has_arm_crc32();
#endif

}  // namespace jamcrc::cpu
