// ARM kernel, for AArch64 and for 32-bit programs on ARMv8 CPUs: the CPU's own
// CRC32 instructions, which step this very polynomial eight bytes at a time
// (four in a 32-bit program, where __crc32d is two steps). Three independent streams keep the
// instruction's pipeline full; their registers are then carried past the
// streams that follow them with precomputed tables.
#include <arm_acle.h>

#include <bit>
#include <cstring>

#include "crc32_kernels.hpp"
#include "crc32_polynomial.hpp"

namespace jamcrc::kernel {

namespace {

constexpr std::size_t STREAM_BYTES = 4096;

// shift_tables[k][b]: byte b at position k of a register, carried past
// STREAM_BYTES zero bytes. The carry is linear, so four lookups do it.
struct shift_tables {
    std::uint32_t table[4][256];
};

// Carrying a register past n zero bytes multiplies it by x^(8n), a linear map:
// it is enough to know where each of the 32 register bits goes. Bit i stands
// for x^(31-i), so bit 31's image is x^(8n) itself and every other bit's is
// its right-hand neighbour's times x. Each entry is then one XOR of an entry
// already made and one bit's image: x^(8n) is worked out once, not per entry.
constexpr shift_tables make_shift_tables() {
    constexpr std::uint32_t BITS = 32;
    std::uint32_t bit_image[BITS]{};
    bit_image[BITS - 1] = polynomial::x_power(8 * STREAM_BYTES);
    for (std::uint32_t i = BITS - 1; i != 0; --i) {
        bit_image[i - 1] = polynomial::times_x(bit_image[i]);
    }
    shift_tables t{};
    for (std::uint32_t k = 0; k < 4; ++k) {
        for (std::uint32_t b = 1; b < 256; ++b) {
            const std::uint32_t low_bit = b & (0u - b);
            const std::uint32_t low_bit_index = static_cast<std::uint32_t>(std::countr_zero(low_bit));
            t.table[k][b] = t.table[k][b ^ low_bit] ^ bit_image[8 * k + low_bit_index];
        }
    }
    return t;
}

constexpr shift_tables SHIFT = make_shift_tables();
// Spot checks against the direct product: a lone low bit, a lone top bit and a
// mixed byte in each position.
static_assert(SHIFT.table[0][0] == 0);
static_assert(SHIFT.table[0][1] == polynomial::shift_by_zero_bytes(1, STREAM_BYTES));
static_assert(SHIFT.table[3][0x80] == polynomial::shift_by_zero_bytes(0x80000000u, STREAM_BYTES));
static_assert(SHIFT.table[1][0xA5] == polynomial::shift_by_zero_bytes(0xA500u, STREAM_BYTES));
static_assert(SHIFT.table[2][0xFF] == polynomial::shift_by_zero_bytes(0xFF0000u, STREAM_BYTES));

inline std::uint32_t past_one_stream(std::uint32_t reg) {
    return SHIFT.table[0][reg & 0xFF] ^ SHIFT.table[1][(reg >> 8) & 0xFF] ^
           SHIFT.table[2][(reg >> 16) & 0xFF] ^ SHIFT.table[3][reg >> 24];
}

inline std::uint64_t load64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

}  // namespace

std::uint32_t arm_crc32(std::uint32_t reg, const std::uint8_t* p, std::size_t length) {
    while (length >= 3 * STREAM_BYTES) {
        std::uint32_t r0 = reg;
        std::uint32_t r1 = 0;
        std::uint32_t r2 = 0;
        for (std::size_t i = 0; i < STREAM_BYTES; i += 8) {
            r0 = __crc32d(r0, load64(p + i));
            r1 = __crc32d(r1, load64(p + STREAM_BYTES + i));
            r2 = __crc32d(r2, load64(p + 2 * STREAM_BYTES + i));
        }
        reg = past_one_stream(past_one_stream(r0) ^ r1) ^ r2;
        p += 3 * STREAM_BYTES;
        length -= 3 * STREAM_BYTES;
    }
    while (length >= 8) {
        reg = __crc32d(reg, load64(p));
        p += 8;
        length -= 8;
    }
    while (length != 0) {
        reg = __crc32b(reg, *p++);
        --length;
    }
    return reg;
}

}  // namespace jamcrc::kernel
