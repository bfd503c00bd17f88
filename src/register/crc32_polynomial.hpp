// Arithmetic on polynomials over GF(2) modulo the CRC-32 polynomial P, done
// by the compiler. The fast kernels fold data with multiplications by powers
// of x; their constants are derived here from P instead of being pasted in.
//
// Two bit orders appear:
//  - "reflected" 32-bit values, as the register holds them: bit i is the
//    coefficient of x^(31-i);
//  - 64-bit "lanes", as a carry-less multiplier reads reflected data: bit i is
//    the coefficient of x^(63-i).
#pragma once

#include <cstdint>

#include "crc32_register.hpp"

namespace jamcrc::polynomial {

// a * x mod P, reflected.
constexpr std::uint32_t times_x(std::uint32_t a) {
    return (a & 1u) ? (a >> 1) ^ CRC32_POLYNOMIAL_REFLECTED : a >> 1;
}

// a * b mod P, reflected.
constexpr std::uint32_t multiply(std::uint32_t a, std::uint32_t b) {
    std::uint32_t product = 0;
    for (int power = 0; power < 32; ++power) {  // b holds b * x^power
        if ((a >> (31 - power)) & 1u) {
            product ^= b;
        }
        b = times_x(b);
    }
    return product;
}

// x^n mod P, reflected, by square and multiply.
constexpr std::uint32_t x_power(std::uint64_t n) {
    std::uint32_t result = 1u << 31;  // x^0
    std::uint32_t square = 1u << 30;  // x^1
    for (; n != 0; n >>= 1) {
        if (n & 1u) {
            result = multiply(result, square);
        }
        square = multiply(square, square);
    }
    return result;
}

// Advancing the register over n zero bytes multiplies it by x^(8n): this is
// how a CRC of one piece is carried past the pieces that follow it.
constexpr std::uint32_t shift_by_zero_bytes(std::uint32_t reg, std::uint64_t n) {
    return multiply(reg, x_power(8 * n));
}

// A lane that, multiplied carry-lessly with a data lane, multiplies the data by
// x^n (mod P). Multiplying two bit-reflected operands leaves the product one
// place too high, an extra factor of x, hence x^(n-1).
constexpr std::uint64_t fold_lane(std::uint64_t n) {
    return static_cast<std::uint64_t>(x_power(n - 1)) << 32;
}

// The pair of lanes that carries a 128-bit block forward by `distance` bytes:
// `earlier` multiplies its first (higher-order) 64 bits, `later` its last 64.
struct fold_pair {
    std::uint64_t earlier;
    std::uint64_t later;
};

constexpr fold_pair fold_by_bytes(std::uint64_t distance) {
    return {fold_lane(8 * distance + 64), fold_lane(8 * distance)};
}

// Barrett reduction of a 64-bit remainder needs mu = floor(x^64 / P). Both
// mu and P have degree 32; here they are in plain order (bit i: x^i).
inline constexpr std::uint64_t POLYNOMIAL_FULL = (std::uint64_t{1} << 32) | CRC32_POLYNOMIAL;

struct quotient_remainder {
    std::uint64_t quotient;
    std::uint64_t remainder;
};

constexpr quotient_remainder divide_x64_by_p() {
    std::uint64_t quotient = 0;
    std::uint64_t remainder = 0;
    for (int bit = 64; bit >= 0; --bit) {  // long division, one dividend bit at a time
        remainder = (remainder << 1) | (bit == 64 ? 1u : 0u);
        quotient <<= 1;
        if ((remainder >> 32) & 1u) {
            remainder ^= POLYNOMIAL_FULL;
            quotient |= 1u;
        }
    }
    return {quotient, remainder};
}

inline constexpr std::uint64_t BARRETT_MU = divide_x64_by_p().quotient;

// Lanes for the Barrett step, placed so that each product lands in the low
// 64 bits of the 128-bit result: mu * x^31 and P * x^31.
inline constexpr std::uint64_t BARRETT_MU_LANE = reflect(BARRETT_MU << 31);
inline constexpr std::uint64_t BARRETT_P_LANE = reflect(POLYNOMIAL_FULL << 31);

// Compile-time checks that tie this arithmetic to the byte table: the table
// entry of a single bit is that bit's power of x times x^32.
constexpr bool powers_match_table() {
    for (unsigned bit = 0; bit < 8; ++bit) {
        if (x_power(32 + 7 - bit) != crc32_table[1u << bit]) {
            return false;
        }
    }
    return true;
}
static_assert(powers_match_table());
static_assert(x_power(32) == CRC32_POLYNOMIAL_REFLECTED);
static_assert(multiply(x_power(100), x_power(28)) == x_power(128));
static_assert(shift_by_zero_bytes(crc32_table[7], 1) == crc32_update(crc32_table[7], 0));

// mu really is the quotient: the remainder has degree below 32 and equals
// x^64 mod P, and mu has degree exactly 32.
static_assert(divide_x64_by_p().remainder >> 32 == 0);
static_assert(reflect(static_cast<std::uint32_t>(divide_x64_by_p().remainder)) == x_power(64));
static_assert(BARRETT_MU >> 32 == 1);

// The same arithmetic pinned to values published for this polynomial (Intel's
// white paper on CRC folding with PCLMULQDQ lists x^n mod P reflected and
// shifted left once, and mu and P reflected over 33 bits), so a reader can
// check it by hand.
constexpr std::uint64_t published_form(std::uint64_t n) { return std::uint64_t{x_power(n)} << 1; }
static_assert(published_form(32) == 0x1DB710640u);   // x^32
static_assert(published_form(64) == 0x163CD6124u);   // x^64
static_assert(published_form(96) == 0x0CCAA009Eu);   // x^(128 - 32)
static_assert(published_form(160) == 0x1751997D0u);  // x^(128 + 32)
static_assert(published_form(480) == 0x1C6E41596u);  // x^(4 * 128 - 32)
static_assert(published_form(544) == 0x154442BD4u);  // x^(4 * 128 + 32)
static_assert(BARRETT_MU == 0x104D101DFu);           // floor(x^64 / P), plain order
static_assert(BARRETT_MU_LANE == 0x1F7011641u);
static_assert(BARRETT_P_LANE == 0x1DB710641u);

}  // namespace jamcrc::polynomial
