// x86 kernel for AVX-512 + VPCLMULQDQ: four 512-bit accumulators, each four
// independent 128-bit folds, 256 bytes per step.
#if defined(__GNUC__) && !defined(__clang__)
// GCC 12's own AVX-512 headers leave "undefined" vectors that trip this
// warning wherever a 512-bit value is narrowed or broadcast.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "crc32_kernels.hpp"
#include "x86_clmul_fold.hpp"

namespace jamcrc::kernel {

namespace {

// The hardware prefetcher alone leaves a buffer streamed from memory well
// short of the memory's bandwidth; asking 4 KiB ahead comes close to it.
constexpr std::size_t PREFETCH_DISTANCE = 4096;
// Below this the four 128-bit accumulators finish sooner than the wide setup.
constexpr std::size_t WIDE_FROM = 128;

constexpr polynomial::fold_pair FOLD_128 = polynomial::fold_by_bytes(128);
constexpr polynomial::fold_pair FOLD_192 = polynomial::fold_by_bytes(192);
constexpr polynomial::fold_pair FOLD_256 = polynomial::fold_by_bytes(256);

inline __m512i load512(const std::uint8_t* p) {
    return _mm512_loadu_si512(p);
}

// Lane by lane: a, b, c, d carry the first to fourth 128-bit lane.
inline __m512i lanes(polynomial::fold_pair a, polynomial::fold_pair b, polynomial::fold_pair c,
                     polynomial::fold_pair d) {
    const auto q = [](std::uint64_t v) { return static_cast<long long>(v); };
    return _mm512_set_epi64(q(d.later), q(d.earlier), q(c.later), q(c.earlier), q(b.later),
                            q(b.earlier), q(a.later), q(a.earlier));
}

inline __m512i broadcast(polynomial::fold_pair pair) {
    return lanes(pair, pair, pair, pair);
}

// block * x^(8 * distance) ^ data, lane by lane.
inline __m512i fold512(__m512i block, __m512i constants, __m512i data) {
    return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(block, constants, 0x00),
                                     _mm512_clmulepi64_epi128(block, constants, 0x11), data, 0x96);
}

// The four 128-bit lanes of a 64-byte block folded into one.
inline __m128i narrow(__m512i acc) {
    const __m512i to_last_lane = lanes(FOLD_48, FOLD_32, FOLD_16, {0, 0});
    const __m512i folded = fold512(acc, to_last_lane, _mm512_setzero_si512());
    const __m512i last_lane_kept = _mm512_xor_si512(folded, _mm512_maskz_mov_epi64(0xC0, acc));
    const __m256i halves = _mm256_xor_si256(_mm512_castsi512_si256(last_lane_kept),
                                            _mm512_extracti64x4_epi64(last_lane_kept, 1));
    return _mm_xor_si128(_mm256_castsi256_si128(halves), _mm256_extracti128_si256(halves, 1));
}

}  // namespace

std::uint32_t vpclmul_avx512(std::uint32_t reg, const std::uint8_t* p, std::size_t length) {
    if (length < 16) {
        return slice8(reg, p, length);
    }
    if (length < WIDE_FROM) {
        return crc128(reg, p, length);
    }
    const __m512i first = _mm512_zextsi128_si512(register_block(reg));
    __m512i acc;
    if (length >= 256) {
        __m512i a0 = _mm512_xor_si512(load512(p), first);
        __m512i a1 = load512(p + 64);
        __m512i a2 = load512(p + 128);
        __m512i a3 = load512(p + 192);
        p += 256;
        length -= 256;
        const __m512i fold256 = broadcast(FOLD_256);
        while (length >= 256) {
            for (std::size_t line = 0; line < 256; line += 64) {
                _mm_prefetch(reinterpret_cast<const char*>(p) + PREFETCH_DISTANCE + line, _MM_HINT_T0);
            }
            a0 = fold512(a0, fold256, load512(p));
            a1 = fold512(a1, fold256, load512(p + 64));
            a2 = fold512(a2, fold256, load512(p + 128));
            a3 = fold512(a3, fold256, load512(p + 192));
            p += 256;
            length -= 256;
        }
        acc = _mm512_ternarylogic_epi64(fold512(a0, broadcast(FOLD_192), a3),
                                        fold512(a1, broadcast(FOLD_128), _mm512_setzero_si512()),
                                        fold512(a2, broadcast(FOLD_64), _mm512_setzero_si512()), 0x96);
    } else {
        acc = _mm512_xor_si512(load512(p), first);
        p += 64;
        length -= 64;
    }
    const __m512i fold64 = broadcast(FOLD_64);
    while (length >= 64) {
        acc = fold512(acc, fold64, load512(p));
        p += 64;
        length -= 64;
    }
    return finish128(narrow(acc), p, length);
}

}  // namespace jamcrc::kernel
