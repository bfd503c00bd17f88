// The wide vectors, each lane a 128-bit block: 256-bit (AVX2 + VPCLMULQDQ)
// and 512-bit (AVX-512 + VPCLMULQDQ, streamed with prefetching). A kernel
// includes this with the instruction-set flags of the widest type it uses and
// uses no wider one; the benchmark's load-only yardstick walks memory with
// vector512 exactly as the AVX-512 kernel does.
#pragma once

#include "clmul_fold.hpp"

namespace jamcrc::kernel {
namespace {

struct vector256 {
    using vec = __m256i;
    using narrower = vector128;
    static constexpr std::size_t WIDTH = 32;
    // From here on two blocks per multiply beat one (bench/crc32_bench's odd
    // sizes: at 64 bytes the 128-bit path still wins, at 127 this one).
    static constexpr std::size_t FROM = 96;

    static vec load(const std::uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
    static vec start(const std::uint8_t* p, std::uint32_t reg) {
        return _mm256_xor_si256(load(p), _mm256_zextsi128_si256(register_block(reg)));
    }
    static vec constants(polynomial::fold_pair pair) { return _mm256_broadcastsi128_si256(fold_constants(pair)); }
    static vec fold(vec block, vec k, vec data) {
        return _mm256_xor_si256(_mm256_xor_si256(_mm256_clmulepi64_epi128(block, k, lanes(FIRST, FIRST)),
                                                 _mm256_clmulepi64_epi128(block, k, lanes(LAST, LAST))),
                                data);
    }
    static __m128i narrow(vec block) {
        return _mm_xor_si128(fold128(_mm256_castsi256_si128(block), fold_constants(FOLD_16)),
                             _mm256_extracti128_si256(block, 1));
    }
    static constexpr std::size_t PREFETCH_FROM = 0;
    template <std::size_t AHEAD>
    static void prefetch(const std::uint8_t*) {}
};

#ifdef __AVX512F__  // only where the AVX-512 flags are on
struct vector512 {
    using vec = __m512i;
    using narrower = vector256;
    static constexpr std::size_t WIDTH = 64;
    // Below this the 256-bit vectors finish sooner (measured as above).
    static constexpr std::size_t FROM = 128;
    // The bytes fold_all's main loop takes per turn: four accumulators.
    static constexpr std::size_t STEP = 4 * WIDTH;
    // How far ahead of the data the kernel asks for it, by measurement of
    // 64 MiB streamed from memory (bench/crc32_bench, README's Speed). On
    // Intel's Sapphire Rapids the hardware prefetcher alone leaves a third of
    // the bandwidth unused and 2 to 8 KiB ahead recovers it; so does AMD's
    // Zen 5, 8 KiB ahead running 1.3 times as fast as 256 bytes. AMD's Zen 4
    // lost a quarter to requests 1 KiB or more ahead and did best at 256
    // bytes.
    static constexpr std::size_t PREFETCH_FAR = 8192;
    static constexpr std::size_t PREFETCH_NEAR = 256;
    // Shorter buffers are not prefetched: they are often in the caches
    // already, and the question would cost a short input its share.
    static constexpr std::size_t PREFETCH_FROM = std::size_t{64} << 10;
    static constexpr std::size_t CACHE_LINE = 64;

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
        constexpr int XOR3 = 0x96;  // ternary-logic truth table of a ^ b ^ c
        return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(block, k, kernel::lanes(FIRST, FIRST)),
                                         _mm512_clmulepi64_epi128(block, k, kernel::lanes(LAST, LAST)), data, XOR3);
    }
    // Lanes 0..2 are carried to the last lane's place (48, 32, 16 bytes on)
    // and everything is XORed together.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
// GCC 12's narrowing intrinsics start from an "undefined" vector that its own
// -Wmaybe-uninitialized then reports (GCC bug 105593, mended in later releases).
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
    static __m128i narrow(vec block) {
        constexpr polynomial::fold_pair BY_48 = polynomial::fold_by_bytes(48);
        constexpr polynomial::fold_pair BY_32 = polynomial::fold_by_bytes(32);
        constexpr __mmask8 LAST_LANE = 0xC0;  // its two 64-bit halves
        const vec to_last = lanes(BY_48, BY_32, FOLD_16, {0, 0});
        const vec folded = fold(block, to_last, _mm512_maskz_mov_epi64(LAST_LANE, block));
        const __m256i halves =
            _mm256_xor_si256(_mm512_castsi512_si256(folded), _mm512_extracti64x4_epi64(folded, 1));
        return _mm_xor_si128(_mm256_castsi256_si128(halves), _mm256_extracti128_si256(halves, 1));
    }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
    // Asks for the step AHEAD bytes beyond p.
    template <std::size_t AHEAD>
    static void prefetch(const std::uint8_t* p) {
        if constexpr (AHEAD != 0) {
            for (std::size_t line = 0; line < STEP; line += CACHE_LINE) {
                _mm_prefetch(reinterpret_cast<const char*>(p) + AHEAD + line, _MM_HINT_T0);
            }
        }
    }
};
#endif

}  // namespace
}  // namespace jamcrc::kernel
