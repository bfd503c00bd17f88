// Portable kernel: eight bytes per step through eight tables, for CPUs
// without a faster path and for the short ends the vector kernels leave.
#include "crc32_kernels.hpp"

namespace jamcrc::kernel {

namespace {

// slices[k][n] is the register contribution of byte n followed by k zero
// bytes, so eight bytes take eight lookups and no dependent steps.
template <std::size_t Slices>
constexpr std::array<crc32_byte_table, Slices> make_slices() {
    std::array<crc32_byte_table, Slices> slices{};
    slices[0] = crc32_table;
    for (std::size_t k = 1; k < Slices; ++k) {
        for (std::size_t n = 0; n < 256; ++n) {
            const std::uint32_t prev = slices[k - 1][n];
            slices[k][n] = (prev >> 8) ^ crc32_table[prev & 0xFFu];
        }
    }
    return slices;
}

constexpr auto slices = make_slices<8>();

// Little-endian assembly from bytes: correct on any host byte order, and
// compilers turn it into one load where that is valid.
inline std::uint32_t load_le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

std::uint32_t slice8(std::uint32_t reg, const std::uint8_t* bytes, std::size_t length) {
    while (length >= 8) {
        const std::uint32_t low = reg ^ load_le32(bytes);
        const std::uint32_t high = load_le32(bytes + 4);
        reg = slices[7][low & 0xFF] ^ slices[6][(low >> 8) & 0xFF] ^
              slices[5][(low >> 16) & 0xFF] ^ slices[4][low >> 24] ^
              slices[3][high & 0xFF] ^ slices[2][(high >> 8) & 0xFF] ^
              slices[1][(high >> 16) & 0xFF] ^ slices[0][high >> 24];
        bytes += 8;
        length -= 8;
    }
    return crc32_bytewise(reg, bytes, length);
}

}  // namespace jamcrc::kernel
