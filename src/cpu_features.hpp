// What the running CPU, and the OS that saves its registers, can execute.
// Asked by the dispatcher once, and by tests and benchmarks to know which
// kernels they can run here.
#pragma once

namespace jamcrc::cpu {

bool always();
bool has_sse41_pclmul();
bool has_avx2_vpclmul();
bool has_avx512_vpclmul();
bool has_arm_crc32();

#if defined(__x86_64__) || defined(__i386__)
struct x86_features {
    bool sse41_pclmul;
    bool avx2_vpclmul;
    bool avx512_vpclmul;
};

// Straight from cpuid and XCR0.
x86_features x86_from_cpuid();
#endif

}  // namespace jamcrc::cpu
