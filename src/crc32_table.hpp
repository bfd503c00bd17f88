// The reflected CRC-32 lookup tables, built by the compiler from the
// polynomial. Table 0 is the classic byte table; tables 1..N-1 let the
// portable kernel consume several bytes per step ("slicing").
#pragma once

#include <array>
#include <cstdint>

namespace jamcrc {

// The CRC-32 polynomial x^32 + x^26 + ... + 1 without its x^32 term, in the
// usual (most significant bit = highest power) order ...
inline constexpr std::uint32_t CRC32_POLYNOMIAL = 0x04C11DB7u;

constexpr std::uint32_t reflect32(std::uint32_t v) {
    std::uint32_t r = 0;
    for (int i = 0; i < 32; ++i) {
        r = (r << 1) | ((v >> i) & 1u);
    }
    return r;
}

// ... and bit-reflected, as the register processes it (least significant bit
// first).
inline constexpr std::uint32_t CRC32_POLYNOMIAL_REFLECTED = reflect32(CRC32_POLYNOMIAL);
static_assert(CRC32_POLYNOMIAL_REFLECTED == 0xEDB88320u);

using crc32_byte_table = std::array<std::uint32_t, 256>;

// Entry n: n shifted right eight times, XOR-ing in the polynomial whenever a 1
// falls out.
constexpr crc32_byte_table make_crc32_table() {
    crc32_byte_table table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t r = n;
        for (int bit = 0; bit < 8; ++bit) {
            r = (r & 1u) ? (r >> 1) ^ CRC32_POLYNOMIAL_REFLECTED : r >> 1;
        }
        table[n] = r;
    }
    return table;
}

// slice[k][n] is the register contribution of byte n followed by k zero bytes.
template <std::size_t Slices>
constexpr std::array<crc32_byte_table, Slices> make_crc32_slices() {
    std::array<crc32_byte_table, Slices> slices{};
    slices[0] = make_crc32_table();
    for (std::size_t k = 1; k < Slices; ++k) {
        for (std::size_t n = 0; n < 256; ++n) {
            const std::uint32_t prev = slices[k - 1][n];
            slices[k][n] = (prev >> 8) ^ slices[0][prev & 0xFFu];
        }
    }
    return slices;
}

}  // namespace jamcrc
