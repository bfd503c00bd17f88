// x86 kernel for AVX2 + VPCLMULQDQ (CPUs with 256-bit carry-less multiply but
// no AVX-512): four 256-bit accumulators, 128 bytes per step.
#include "wide_vectors.hpp"

namespace jamcrc::kernel {

std::uint32_t vpclmul_avx2(std::uint32_t reg, const std::uint8_t* p, std::size_t length) {
    return clmul_kernel<vector256>(reg, p, length);
}

}  // namespace jamcrc::kernel
