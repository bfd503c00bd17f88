// x86 kernel for SSE4.1 + PCLMULQDQ: four 128-bit accumulators folded
// 64 bytes at a time.
#include "clmul_fold.hpp"

namespace jamcrc::kernel {

std::uint32_t pclmul_sse(std::uint32_t reg, const std::uint8_t* p, std::size_t length) {
    return clmul_kernel<vector128>(reg, p, length);
}

}  // namespace jamcrc::kernel
