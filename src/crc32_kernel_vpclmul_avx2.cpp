// x86 kernel for AVX2 + VPCLMULQDQ (CPUs with 256-bit carry-less multiply but
// no AVX-512): four 256-bit accumulators, 128 bytes per step.
#include "crc32_kernels.hpp"
#include "x86_clmul_fold.hpp"

namespace jamcrc::kernel {

namespace {

constexpr polynomial::fold_pair FOLD_96 = polynomial::fold_by_bytes(96);
constexpr polynomial::fold_pair FOLD_128 = polynomial::fold_by_bytes(128);

// Below this the four 128-bit accumulators finish sooner than the wide setup.
constexpr std::size_t WIDE_FROM = 128;

inline __m256i load256(const std::uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

inline __m256i broadcast(polynomial::fold_pair pair) {
    return _mm256_broadcastsi128_si256(fold_constants(pair));
}

inline __m256i fold256(__m256i block, __m256i constants) {
    return _mm256_xor_si256(_mm256_clmulepi64_epi128(block, constants, 0x00),
                            _mm256_clmulepi64_epi128(block, constants, 0x11));
}

// The two 128-bit lanes of a 32-byte block folded into one.
inline __m128i narrow(__m256i acc) {
    return _mm_xor_si128(fold128(_mm256_castsi256_si128(acc), fold_constants(FOLD_16)),
                         _mm256_extracti128_si256(acc, 1));
}

}  // namespace

std::uint32_t vpclmul_avx2(std::uint32_t reg, const std::uint8_t* p, std::size_t length) {
    if (length < 16) {
        return slice8(reg, p, length);
    }
    if (length < WIDE_FROM) {
        return crc128(reg, p, length);
    }
    __m256i a0 = _mm256_xor_si256(load256(p), _mm256_zextsi128_si256(register_block(reg)));
    __m256i a1 = load256(p + 32);
    __m256i a2 = load256(p + 64);
    __m256i a3 = load256(p + 96);
    p += 128;
    length -= 128;
    const __m256i fold128b = broadcast(FOLD_128);
    while (length >= 128) {
        a0 = _mm256_xor_si256(fold256(a0, fold128b), load256(p));
        a1 = _mm256_xor_si256(fold256(a1, fold128b), load256(p + 32));
        a2 = _mm256_xor_si256(fold256(a2, fold128b), load256(p + 64));
        a3 = _mm256_xor_si256(fold256(a3, fold128b), load256(p + 96));
        p += 128;
        length -= 128;
    }
    __m256i acc = _mm256_xor_si256(_mm256_xor_si256(fold256(a0, broadcast(FOLD_96)), fold256(a1, broadcast(FOLD_64))),
                                   _mm256_xor_si256(fold256(a2, broadcast(FOLD_32)), a3));
    const __m256i fold32 = broadcast(FOLD_32);
    while (length >= 32) {
        acc = _mm256_xor_si256(fold256(acc, fold32), load256(p));
        p += 32;
        length -= 32;
    }
    return finish128(narrow(acc), p, length);
}

}  // namespace jamcrc::kernel
