// What the running CPU, and the OS that saves its registers, can execute.
// Asked by the dispatcher once, and by tests and benchmarks to know which
// kernels they can run here. Each family declares only its own questions.
#pragma once

namespace jamcrc::cpu {

// For the portable kernel.
inline bool always() { return true; }

#if defined(__x86_64__) || defined(__i386__)
bool has_sse41_pclmul();
bool has_avx2_vpclmul();
bool has_avx512_vpclmul();

struct x86_features {
    bool sse41_pclmul;
    bool avx2_vpclmul;
    bool avx512_vpclmul;
};

// Straight from cpuid and XCR0.
x86_features x86_from_cpuid();
#endif

#if defined(__aarch64__)
bool has_arm_crc32();
#endif

}  // namespace jamcrc::cpu
