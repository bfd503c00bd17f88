// x86 kernel for AVX2 + VPCLMULQDQ (CPUs with 256-bit carry-less multiply but
// no AVX-512): four 256-bit accumulators, 128 bytes per step.
#include "crc32_kernels.hpp"
#include "x86_clmul_fold.hpp"

namespace jamcrc::kernel {

namespace {

// Below this the 128-bit accumulators finish sooner than the wide setup.
constexpr std::size_t WIDE_FROM = 128;

struct vector256 {
    using vec = __m256i;
    static constexpr std::size_t WIDTH = 32;
    static vec load(const std::uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
    static vec start(const std::uint8_t* p, std::uint32_t reg) {
        return _mm256_xor_si256(load(p), _mm256_zextsi128_si256(register_block(reg)));
    }
    static vec constants(polynomial::fold_pair pair) { return _mm256_broadcastsi128_si256(fold_constants(pair)); }
    static vec fold(vec block, vec k, vec data) {
        return _mm256_xor_si256(_mm256_xor_si256(_mm256_clmulepi64_epi128(block, k, 0x00),
                                                 _mm256_clmulepi64_epi128(block, k, 0x11)),
                                data);
    }
    static __m128i narrow(vec block) {
        return _mm_xor_si128(fold128(_mm256_castsi256_si128(block), fold_constants(FOLD_16)),
                             _mm256_extracti128_si256(block, 1));
    }
    static void prefetch(const std::uint8_t*) {}
};

}  // namespace

std::uint32_t vpclmul_avx2(std::uint32_t reg, const std::uint8_t* p, std::size_t length) {
    if (length < 16) {
        return slice8(reg, p, length);
    }
    return length < WIDE_FROM ? fold_all<vector128>(reg, p, length) : fold_all<vector256>(reg, p, length);
}

}  // namespace jamcrc::kernel
