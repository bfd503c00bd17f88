// x86 kernel for SSE4.1 + PCLMULQDQ: four 128-bit accumulators folded
// 64 bytes at a time.
#include "crc32_kernels.hpp"
#include "x86_clmul_fold.hpp"

namespace jamcrc::kernel {

std::uint32_t pclmul(std::uint32_t reg, const std::uint8_t* p, std::size_t length) {
    if (length < 16) {
        return slice8(reg, p, length);
    }
    if (length < 64) {
        return crc128_short(reg, p, length);
    }
    __m128i a0 = _mm_xor_si128(load128(p), register_block(reg));
    __m128i a1 = load128(p + 16);
    __m128i a2 = load128(p + 32);
    __m128i a3 = load128(p + 48);
    p += 64;
    length -= 64;
    const __m128i fold64 = fold_constants(FOLD_64);
    while (length >= 64) {
        a0 = _mm_xor_si128(fold128(a0, fold64), load128(p));
        a1 = _mm_xor_si128(fold128(a1, fold64), load128(p + 16));
        a2 = _mm_xor_si128(fold128(a2, fold64), load128(p + 32));
        a3 = _mm_xor_si128(fold128(a3, fold64), load128(p + 48));
        p += 64;
        length -= 64;
    }
    const __m128i acc = _mm_xor_si128(
        _mm_xor_si128(fold128(a0, fold_constants(FOLD_48)), fold128(a1, fold_constants(FOLD_32))),
        _mm_xor_si128(fold128(a2, fold_constants(FOLD_16)), a3));
    return finish128(acc, p, length);
}

}  // namespace jamcrc::kernel
