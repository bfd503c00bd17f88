// x86 kernel for AVX-512 + VPCLMULQDQ: four 512-bit accumulators, each four
// independent 128-bit folds, 256 bytes per step.
#include "wide_vectors.hpp"

namespace jamcrc::kernel {

std::uint32_t vpclmul_avx512(std::uint32_t reg, const std::uint8_t* p, std::size_t length) {
    return clmul_kernel<vector512>(reg, p, length);
}

}  // namespace jamcrc::kernel
