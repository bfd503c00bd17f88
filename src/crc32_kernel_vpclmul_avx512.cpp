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

// Below this the 128-bit accumulators finish sooner than the wide setup.
constexpr std::size_t WIDE_FROM = 128;
// The hardware prefetcher alone leaves a buffer streamed from memory well
// short of the memory's bandwidth; asking 8 KiB ahead comes close to it.
constexpr std::size_t PREFETCH_DISTANCE = 8192;

struct vector512 {
    using vec = __m512i;
    static constexpr std::size_t WIDTH = 64;

    static vec load(const std::uint8_t* p) { return _mm512_loadu_si512(p); }
    static vec start(const std::uint8_t* p, std::uint32_t reg) {
        return _mm512_xor_si512(load(p), _mm512_zextsi128_si512(register_block(reg)));
    }
    // a, b, c, d go to the first to fourth 128-bit lane.
    static vec lanes(polynomial::fold_pair a, polynomial::fold_pair b, polynomial::fold_pair c,
                     polynomial::fold_pair d) {
        const auto q = [](std::uint64_t v) { return static_cast<long long>(v); };
        return _mm512_set_epi64(q(d.later), q(d.earlier), q(c.later), q(c.earlier), q(b.later), q(b.earlier),
                                q(a.later), q(a.earlier));
    }
    static vec constants(polynomial::fold_pair pair) { return lanes(pair, pair, pair, pair); }
    static vec fold(vec block, vec k, vec data) {
        return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(block, k, 0x00),
                                         _mm512_clmulepi64_epi128(block, k, 0x11), data, 0x96);
    }
    // Lanes 0..2 are carried to the last lane's place (48, 32, 16 bytes on)
    // and everything is XORed together.
    static __m128i narrow(vec block) {
        constexpr polynomial::fold_pair BY_48 = polynomial::fold_by_bytes(48);
        constexpr polynomial::fold_pair BY_32 = polynomial::fold_by_bytes(32);
        const vec to_last = lanes(BY_48, BY_32, FOLD_16, {0, 0});
        const vec folded = fold(block, to_last, _mm512_maskz_mov_epi64(0xC0, block));
        const __m256i halves =
            _mm256_xor_si256(_mm512_castsi512_si256(folded), _mm512_extracti64x4_epi64(folded, 1));
        return _mm_xor_si128(_mm256_castsi256_si128(halves), _mm256_extracti128_si256(halves, 1));
    }
    static void prefetch(const std::uint8_t* p) {
        for (std::size_t line = 0; line < 4 * WIDTH; line += 64) {
            _mm_prefetch(reinterpret_cast<const char*>(p) + PREFETCH_DISTANCE + line, _MM_HINT_T0);
        }
    }
};

}  // namespace

std::uint32_t vpclmul_avx512(std::uint32_t reg, const std::uint8_t* p, std::size_t length) {
    if (length < 16) {
        return slice8(reg, p, length);
    }
    return length < WIDE_FROM ? fold_all<vector128>(reg, p, length) : fold_all<vector512>(reg, p, length);
}

}  // namespace jamcrc::kernel
