// x86 kernel for SSE4.1 + PCLMULQDQ: four 128-bit accumulators folded
// 64 bytes at a time.
#include "crc32_kernels.hpp"
#include "x86_clmul_fold.hpp"

namespace jamcrc::kernel {

std::uint32_t pclmul(std::uint32_t reg, const std::uint8_t* p, std::size_t length) {
    return length < 16 ? slice8(reg, p, length) : fold_all<vector128>(reg, p, length);
}

}  // namespace jamcrc::kernel
