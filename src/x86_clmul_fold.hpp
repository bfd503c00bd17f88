// 128-bit carry-less folding shared by the x86 kernels: carrying a block
// forward, the last partial block, and the final reduction to 32 bits.
//
// Each kernel file includes this with its own instruction-set flags, so all of
// it has internal linkage: no kernel may end up calling another file's copy,
// built for instructions this CPU may lack.
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "crc32_polynomial.hpp"

namespace jamcrc::kernel {
namespace {

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

// block * x^(8 * distance), as a 128-bit value congruent mod P.
inline __m128i fold128(__m128i block, __m128i constants) {
    return _mm_xor_si128(_mm_clmulepi64_si128(block, constants, 0x00),
                         _mm_clmulepi64_si128(block, constants, 0x11));
}

// Appends the last 1..15 bytes of the data, which ends at p + tail. The 16
// bytes before the end are readable (the caller has consumed at least 16).
inline __m128i fold_tail(__m128i acc, const std::uint8_t* p, std::size_t tail) {
    // A 16-byte window into this table shifts a block by whole bytes; 0x80
    // entries select zero.
    alignas(16) static constexpr std::uint8_t shifts[48] = {
        0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80,
        0,    1,    2,    3,    4,    5,    6,    7,    8,    9,    10,   11,   12,   13,   14,   15,
        0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80};
    // acc followed by the tail is 16 + tail bytes: the first `tail` bytes of
    // acc spill over and are folded across the 16 bytes that remain.
    const __m128i spill_shuffle = load128(shifts + tail);
    const __m128i keep_shuffle = load128(shifts + 16 + tail);
    const __m128i last16 = load128(p + tail - 16);
    const __m128i spill = _mm_shuffle_epi8(acc, spill_shuffle);
    const __m128i kept = _mm_blendv_epi8(last16, _mm_shuffle_epi8(acc, keep_shuffle), spill_shuffle);
    return _mm_xor_si128(fold128(spill, fold_constants(FOLD_16)), kept);
}

// The register for a 128-bit remainder block: block * x^32 mod P, in three
// carry-less steps (128 -> 96 -> 64 bits, then Barrett's division).
inline std::uint32_t reduce128(__m128i block) {
    const __m128i reduce = _mm_set_epi64x(static_cast<long long>(REDUCE_64),
                                          static_cast<long long>(REDUCE_96));
    // First 64 bits times x^96, plus the last 64 times x^32 (a 4-byte shift).
    const __m128i last_times_x32 = _mm_blend_epi16(_mm_srli_si128(block, 4), _mm_setzero_si128(), 0x03);
    const __m128i s = _mm_xor_si128(_mm_clmulepi64_si128(block, reduce, 0x00), last_times_x32);
    // The top 32 bits of those 96 times x^64; the 64-bit remainder lands in lane 1.
    const __m128i u = _mm_xor_si128(_mm_clmulepi64_si128(s, reduce, 0x10), s);
    // Barrett: quotient from the remainder's top 32 bits, then remainder + quotient * P.
    const __m128i barrett = _mm_set_epi64x(static_cast<long long>(polynomial::BARRETT_P_LANE),
                                           static_cast<long long>(polynomial::BARRETT_MU_LANE));
    const __m128i top = _mm_and_si128(u, _mm_set_epi32(0, -1, 0, 0));
    const __m128i quotient = _mm_and_si128(_mm_clmulepi64_si128(top, barrett, 0x01), _mm_set_epi32(0, 0, 0, -1));
    const __m128i product = _mm_clmulepi64_si128(quotient, barrett, 0x10);
    return static_cast<std::uint32_t>(_mm_extract_epi32(u, 3) ^ _mm_extract_epi32(product, 1));
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

// The folding loop for any vector width. `Vector` describes one register of
// WIDTH bytes (16, 32 or 64), each lane a 128-bit block:
//   vec                    the register type
//   load(p)                WIDTH bytes
//   start(p, reg)          WIDTH bytes with the register XORed into the first 32 bits
//   constants(pair)        a fold_pair in every lane
//   fold(block, k, data)   block carried forward by k's distance, XOR data
//   narrow(block)          all lanes folded into one 128-bit block
//   prefetch(p)            ask for data ahead of p, or nothing
// Four accumulators 4 * WIDTH bytes apart keep the multiplier busy while the
// data lasts; then one accumulator; then the 128-bit finish. length >= WIDTH.
template <class Vector>
inline std::uint32_t fold_all(std::uint32_t reg, const std::uint8_t* p, std::size_t length) {
    using vec = typename Vector::vec;
    constexpr std::size_t W = Vector::WIDTH;
    constexpr polynomial::fold_pair BY_1 = polynomial::fold_by_bytes(W);
    constexpr polynomial::fold_pair BY_2 = polynomial::fold_by_bytes(2 * W);
    constexpr polynomial::fold_pair BY_3 = polynomial::fold_by_bytes(3 * W);
    constexpr polynomial::fold_pair BY_4 = polynomial::fold_by_bytes(4 * W);

    vec acc = Vector::start(p, reg);
    if (length >= 4 * W) {
        vec a1 = Vector::load(p + W);
        vec a2 = Vector::load(p + 2 * W);
        vec a3 = Vector::load(p + 3 * W);
        p += 4 * W;
        length -= 4 * W;
        const vec by_4 = Vector::constants(BY_4);
        while (length >= 4 * W) {
            Vector::prefetch(p);
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
    static constexpr std::size_t WIDTH = 16;
    static vec load(const std::uint8_t* p) { return load128(p); }
    static vec start(const std::uint8_t* p, std::uint32_t reg) { return _mm_xor_si128(load128(p), register_block(reg)); }
    static vec constants(polynomial::fold_pair pair) { return fold_constants(pair); }
    static vec fold(vec block, vec k, vec data) { return _mm_xor_si128(fold128(block, k), data); }
    static vec narrow(vec block) { return block; }
    static void prefetch(const std::uint8_t*) {}
};

}  // namespace
}  // namespace jamcrc::kernel
