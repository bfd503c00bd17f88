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
constexpr polynomial::fold_pair FOLD_32 = polynomial::fold_by_bytes(32);
constexpr polynomial::fold_pair FOLD_48 = polynomial::fold_by_bytes(48);
constexpr polynomial::fold_pair FOLD_64 = polynomial::fold_by_bytes(64);
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

// 16 bytes or more with 128-bit registers only: four accumulators 64 bytes
// apart keep the multiplier busy; shorter inputs go one block at a time.
inline std::uint32_t crc128(std::uint32_t reg, const std::uint8_t* p, std::size_t length) {
    if (length < 64) {
        return finish128(_mm_xor_si128(load128(p), register_block(reg)), p + 16, length - 16);
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

}  // namespace
}  // namespace jamcrc::kernel
