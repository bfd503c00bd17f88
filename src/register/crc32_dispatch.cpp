// The single point that picks a kernel: the first usable one in the list,
// chosen on the first checksum and kept for the rest of the run.
#include <atomic>
#include <iterator>

#include "cpu_features.hpp"
#include "crc32_kernels.hpp"

namespace jamcrc {

namespace {

constexpr crc32_kernel KERNELS[] = {
#if JAMCRC_KERNELS_X86
    {"vpclmul_avx512", kernel::vpclmul_avx512, cpu::has_vpclmul_avx512},
    {"vpclmul_avx2", kernel::vpclmul_avx2, cpu::has_vpclmul_avx2},
    {"pclmul_sse", kernel::pclmul_sse, cpu::has_pclmul_sse},
#endif
#if JAMCRC_KERNELS_ARM
    {"arm_crc32", kernel::arm_crc32, cpu::has_arm_crc32},
#endif
    {"slice8", kernel::slice8, cpu::always},
};

const crc32_kernel* choose() {
    for (const crc32_kernel& k : KERNELS) {
        if (k.usable()) {
            return &k;
        }
    }
    return &KERNELS[std::size(KERNELS) - 1];
}

std::atomic<const crc32_kernel*> active{nullptr};

// crc32_buffer's first call lands here, and has every later call jump
// straight to the chosen kernel: one load and one jump per checksum.
std::uint32_t choose_and_run(std::uint32_t reg, const std::uint8_t* bytes, std::size_t length);
std::atomic<crc32_kernel_fn> run_active{choose_and_run};

std::uint32_t choose_and_run(std::uint32_t reg, const std::uint8_t* bytes, std::size_t length) {
    const crc32_kernel_fn run = crc32_active_kernel().run;
    run_active.store(run, std::memory_order_relaxed);
    return run(reg, bytes, length);
}

}  // namespace

std::span<const crc32_kernel> crc32_kernels() { return KERNELS; }

const crc32_kernel& crc32_active_kernel() {
    const crc32_kernel* k = active.load(std::memory_order_relaxed);
    if (k == nullptr) {
        // A race here only repeats the same choice.
        k = choose();
        active.store(k, std::memory_order_relaxed);
    }
    return *k;
}

std::uint32_t crc32_buffer(const void* bytes, std::uint32_t length) {
    const crc32_kernel_fn run = run_active.load(std::memory_order_relaxed);
    return run(CRC32_INITIAL, static_cast<const std::uint8_t*>(bytes), length);
}

}  // namespace jamcrc
