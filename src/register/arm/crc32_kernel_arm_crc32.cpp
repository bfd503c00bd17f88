// ARM kernel, for AArch64 and for 32-bit programs on ARMv8 CPUs: the CPU's own
// CRC32 instructions, which step this very polynomial eight bytes at a time
// (four in a 32-bit program, where __crc32d is two steps). Three independent streams keep the
// instruction's pipeline full; their registers are then carried past the
// streams that follow them with precomputed tables.
#include <arm_acle.h>

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

constexpr shift_tables make_shift_tables() {
    shift_tables t{};
    for (std::uint32_t k = 0; k < 4; ++k) {
        for (std::uint32_t b = 0; b < 256; ++b) {
            t.table[k][b] = polynomial::shift_by_zero_bytes(b << (8 * k), STREAM_BYTES);
        }
    }
    return t;
}

constexpr shift_tables SHIFT = make_shift_tables();
static_assert(SHIFT.table[0][0] == 0);

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
