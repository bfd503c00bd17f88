// The single point that picks a kernel: the first usable one in the list,
// chosen on the first checksum and kept for the rest of the run.
#include <atomic>
#include <iterator>

#include "cpu_features.hpp"
#include "crc32_kernels.hpp"

namespace jamcrc {

namespace {

constexpr crc32_kernel KERNELS[] = {
#if defined(__x86_64__) || defined(__i386__)
    {"avx512-vpclmul", kernel::vpclmul_avx512, cpu::has_avx512_vpclmul},
    {"avx2-vpclmul", kernel::vpclmul_avx2, cpu::has_avx2_vpclmul},
    {"sse-pclmul", kernel::pclmul, cpu::has_sse41_pclmul},
#endif
#if defined(__aarch64__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    {"arm-crc32", kernel::arm_crc32, cpu::has_arm_crc32},
#endif
    {"slice8", kernel::slice8, cpu::always},
};

std::atomic<const crc32_kernel*> active{nullptr};

const crc32_kernel* choose() {
    for (const crc32_kernel& k : KERNELS) {
        if (k.usable()) {
            return &k;
        }
    }
    return &KERNELS[std::size(KERNELS) - 1];
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
    return crc32_active_kernel().run(CRC32_INITIAL, static_cast<const std::uint8_t*>(bytes), length);
}

}  // namespace jamcrc
