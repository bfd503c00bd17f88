// Carry-less folding shared by the x86 kernels: the folding loop for any
// vector width, carrying a 128-bit block forward, the last partial block, the
// final reduction to 32 bits, and the kernel entry that picks among them.
//
// Each kernel file includes this with its own instruction-set flags, so all of
// it has internal linkage: no kernel may end up calling another file's copy,
// built for instructions this CPU may lack.
//
// Notation: data is a polynomial over GF(2), its first bit the highest power;
// a 128-bit block B is H·x^64 + L, H its first 64 bits (lane 0), L its last
// (lane 1). The register of data D is D·x^32 mod P, with the incoming register
// XORed into D's first 32 bits.
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "cpu_features.hpp"
#include "crc32_kernels.hpp"
#include "crc32_polynomial.hpp"

namespace jamcrc::kernel {
namespace {

// The 64-bit lanes of a 128-bit block, and the selector that makes a
// carry-less multiply take lane `a` of its first operand and lane `b` of its
// second (the same selector for 128-, 256- and 512-bit multiplies).
constexpr int FIRST = 0;
constexpr int LAST = 1;
constexpr int lanes(int a, int b) { return a | b << 4; }

constexpr polynomial::fold_pair FOLD_16 = polynomial::fold_by_bytes(16);
constexpr std::uint64_t REDUCE_96 = polynomial::fold_lane(96);
constexpr std::uint64_t REDUCE_64 = polynomial::fold_lane(64);

// Lane 0 multiplies the block's first 64 bits, lane 1 its last 64.
inline __m128i fold_constants(polynomial::fold_pair pair) {
    return _mm_set_epi64x(static_cast<long long>(pair.later),
                          static_cast<long long>(pair.earlier));
}

inline __m128i load128(const std::uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// The register enters as the first 32 bits of the data it precedes.
inline __m128i register_block(std::uint32_t reg) {
    return _mm_cvtsi32_si128(static_cast<int>(reg));
}

// B·x^(8d) ≡ H·(x^(8d+64) mod P) + L·(x^(8d) mod P), d the pair's distance in
// bytes: a 128-bit value congruent to the block carried d bytes forward.
inline __m128i fold128(__m128i block, __m128i constants) {
    return _mm_xor_si128(_mm_clmulepi64_si128(block, constants, lanes(FIRST, FIRST)),
                         _mm_clmulepi64_si128(block, constants, lanes(LAST, LAST)));
}

// Appends the last t = 1..15 bytes T of the data, which ends at p + t. The 16
// bytes before the end are readable (the caller has consumed at least 16).
//   acc·x^(8t) + T = spill·x^128 + kept
// where spill is acc's first t bytes (ending a block of zeros) and kept is
// acc's other 16 - t bytes followed by T.
inline __m128i fold_tail(__m128i acc, const std::uint8_t* p, std::size_t t) {
    // A 16-byte window into this table shifts a block by whole bytes; ZERO
    // entries select zero, and also mark which bytes come from acc.
    constexpr std::uint8_t ZERO = 0x80;
    alignas(16) static constexpr std::uint8_t shifts[48] = {
        ZERO, ZERO, ZERO, ZERO, ZERO, ZERO, ZERO, ZERO, ZERO, ZERO, ZERO, ZERO, ZERO, ZERO, ZERO, ZERO,
        0,    1,    2,    3,    4,    5,    6,    7,    8,    9,    10,   11,   12,   13,   14,   15,
        ZERO, ZERO, ZERO, ZERO, ZERO, ZERO, ZERO, ZERO, ZERO, ZERO, ZERO, ZERO, ZERO, ZERO, ZERO, ZERO};
    const __m128i spill_shuffle = load128(shifts + t);      // acc's first t bytes to the end
    const __m128i keep_shuffle = load128(shifts + 16 + t);  // acc's other bytes to the front
    const __m128i last16 = load128(p + t - 16);             // ends with T
    const __m128i spill = _mm_shuffle_epi8(acc, spill_shuffle);
    // Where spill_shuffle is ZERO, acc's bytes; elsewhere, T.
    const __m128i kept = _mm_blendv_epi8(last16, _mm_shuffle_epi8(acc, keep_shuffle), spill_shuffle);
    return _mm_xor_si128(fold128(spill, fold_constants(FOLD_16)), kept);
}

// The register for a remainder block: B·x^32 mod P, in three carry-less steps.
inline std::uint32_t reduce128(__m128i block) {
    const __m128i reduce = _mm_set_epi64x(static_cast<long long>(REDUCE_64),
                                          static_cast<long long>(REDUCE_96));
    // 1. s = H·(x^96 mod P) + L·x^32 ≡ B·x^32, 96 bits in the last 96 bit places.
    //    L·x^32 is a 4-byte shift; the 32 bits of H it shifts in are dropped.
    constexpr int FIRST_32_BITS = 0x03;  // blend mask, in 16-bit words
    const __m128i l_times_x32 = _mm_blend_epi16(_mm_srli_si128(block, 4), _mm_setzero_si128(), FIRST_32_BITS);
    const __m128i s = _mm_xor_si128(_mm_clmulepi64_si128(block, reduce, lanes(FIRST, FIRST)), l_times_x32);
    // 2. R = S_hi·(x^64 mod P) + S_lo ≡ s, where s = S_hi·x^64 + S_lo and S_hi
    //    is s's first 32 bits (they sit in lane 0). R, 64 bits, lands in lane 1.
    const __m128i u = _mm_xor_si128(_mm_clmulepi64_si128(s, reduce, lanes(FIRST, LAST)), s);
    // 3. Barrett, with R = R_hi·x^32 + R_lo and mu = floor(x^64 / P):
    //      q = floor(R_hi·mu / x^32)
    //      R mod P = (R_lo + q·P) mod x^32
    const __m128i barrett = _mm_set_epi64x(static_cast<long long>(polynomial::BARRETT_P_LANE),
                                           static_cast<long long>(polynomial::BARRETT_MU_LANE));
    const __m128i r_hi = _mm_and_si128(u, _mm_set_epi32(0, -1, 0, 0));  // 32-bit element 2 of u
    const __m128i q = _mm_and_si128(_mm_clmulepi64_si128(r_hi, barrett, lanes(LAST, FIRST)),
                                    _mm_set_epi32(0, 0, 0, -1));  // 32-bit element 0
    const __m128i q_times_p = _mm_clmulepi64_si128(q, barrett, lanes(FIRST, LAST));
    return static_cast<std::uint32_t>(_mm_extract_epi32(u, 3) ^ _mm_extract_epi32(q_times_p, 1));  // R_lo + q·P
}

// Everything after the wide loops: whole 16-byte blocks, the tail, the
// reduction. `acc` holds all data before p, which is at least 16 bytes.
inline std::uint32_t finish128(__m128i acc, const std::uint8_t* p, std::size_t length) {
    const __m128i fold16 = fold_constants(FOLD_16);
    while (length >= 16) {
        acc = _mm_xor_si128(fold128(acc, fold16), load128(p));
        p += 16;
        length -= 16;
    }
    if (length != 0) {
        acc = fold_tail(acc, p, length);
    }
    return reduce128(acc);
}

// The folding loop for any vector width. `Vector` describes one vector of
// WIDTH bytes (16, 32 or 64), each 128-bit lane a block:
//   vec                    the vector type
//   narrower, FROM         see fold_with
//   load(p)                WIDTH bytes
//   start(p, reg)          WIDTH bytes with the register XORed into the first 32 bits
//   constants(pair)        a fold_pair in every lane
//   fold(block, k, data)   block carried forward by k's distance, XOR data
//   narrow(block)          all lanes folded into one 128-bit block
//   prefetch<AHEAD>(p)     ask for the data AHEAD bytes beyond p (nothing for 0)
//   PREFETCH_FROM          the length from which it asks at all (0: never), and
//   PREFETCH_NEAR, _FAR    how far ahead then, where x86_prefers_near_prefetch and elsewhere
// Four accumulators 4 * WIDTH bytes apart keep the multiplier busy while the
// data lasts; then one accumulator; then the 128-bit finish. length >= WIDTH.
template <class Vector, std::size_t AHEAD>
inline std::uint32_t fold_all(std::uint32_t reg, const std::uint8_t* p, std::size_t length) {
    using vec = typename Vector::vec;
    constexpr std::size_t W = Vector::WIDTH;
    constexpr polynomial::fold_pair BY_1 = polynomial::fold_by_bytes(W);
    constexpr polynomial::fold_pair BY_2 = polynomial::fold_by_bytes(2 * W);
    constexpr polynomial::fold_pair BY_3 = polynomial::fold_by_bytes(3 * W);
    constexpr polynomial::fold_pair BY_4 = polynomial::fold_by_bytes(4 * W);

    vec acc = Vector::start(p, reg);
    // Any sizable input spends its time here; laid out first, it also keeps
    // the shortest inputs that take it (64 bytes of 128-bit vectors) quick.
    if (length >= 4 * W) [[likely]] {
        vec a1 = Vector::load(p + W);
        vec a2 = Vector::load(p + 2 * W);
        vec a3 = Vector::load(p + 3 * W);
        p += 4 * W;
        length -= 4 * W;
        const vec by_4 = Vector::constants(BY_4);
        while (length >= 4 * W) {
            Vector::template prefetch<AHEAD>(p);
            acc = Vector::fold(acc, by_4, Vector::load(p));
            a1 = Vector::fold(a1, by_4, Vector::load(p + W));
            a2 = Vector::fold(a2, by_4, Vector::load(p + 2 * W));
            a3 = Vector::fold(a3, by_4, Vector::load(p + 3 * W));
            p += 4 * W;
            length -= 4 * W;
        }
        acc = Vector::fold(acc, Vector::constants(BY_3),
                           Vector::fold(a1, Vector::constants(BY_2), Vector::fold(a2, Vector::constants(BY_1), a3)));
    } else {
        p += W;
        length -= W;
    }
    const vec by_1 = Vector::constants(BY_1);
    while (length >= W) {
        acc = Vector::fold(acc, by_1, Vector::load(p));
        p += W;
        length -= W;
    }
    return finish128(Vector::narrow(acc), p, length);
}

struct vector128 {
    using vec = __m128i;
    using narrower = void;
    static constexpr std::size_t WIDTH = 16;
    static constexpr std::size_t FROM = 16;  // one block, the least that folds
    static vec load(const std::uint8_t* p) { return load128(p); }
    static vec start(const std::uint8_t* p, std::uint32_t reg) { return _mm_xor_si128(load128(p), register_block(reg)); }
    static vec constants(polynomial::fold_pair pair) { return fold_constants(pair); }
    static vec fold(vec block, vec k, vec data) { return _mm_xor_si128(fold128(block, k), data); }
    static vec narrow(vec block) { return block; }
    static constexpr std::size_t PREFETCH_FROM = 0;
    template <std::size_t AHEAD>
    static void prefetch(const std::uint8_t*) {}
};

// Folding with `Vector`s from their FROM bytes on, with narrower ones below,
// where a wider vector's setup and final narrowing cost more than its width
// saves. length >= vector128::FROM.
template <class Vector>
inline std::uint32_t fold_with(std::uint32_t reg, const std::uint8_t* p, std::size_t length) {
    static_assert(Vector::FROM >= Vector::WIDTH);
    if constexpr (!std::is_void_v<typename Vector::narrower>) {
        if (length < Vector::FROM) {
            return fold_with<typename Vector::narrower>(reg, p, length);
        }
    }
    if constexpr (Vector::PREFETCH_FROM != 0) {
        // The distance is part of the loop's code: an offset held in a
        // register instead measured slower, even where nothing is fetched.
        if (length >= Vector::PREFETCH_FROM) {
            return cpu::x86_prefers_near_prefetch() ? fold_all<Vector, Vector::PREFETCH_NEAR>(reg, p, length)
                                         : fold_all<Vector, Vector::PREFETCH_FAR>(reg, p, length);
        }
    }
    return fold_all<Vector, 0>(reg, p, length);
}

// A whole kernel whose widest vectors are `Vector`s: the portable kernel for
// inputs too short to fold, fold_with for the rest.
template <class Vector>
inline std::uint32_t clmul_kernel(std::uint32_t reg, const std::uint8_t* p, std::size_t length) {
    if (length < vector128::FROM) {
        return slice8(reg, p, length);
    }
    return fold_with<Vector>(reg, p, length);
}

}  // namespace
}  // namespace jamcrc::kernel
