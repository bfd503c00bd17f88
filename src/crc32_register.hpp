// The CRC-32 register: reflected polynomial 0xEDB88320, started from all ones
// and handed back without a final inversion (the parameter set known as
// CRC-32/JAMCRC, the complement of the common zip/Ethernet CRC-32).
#pragma once

#include <array>
#include <concepts>
#include <cstdint>

namespace jamcrc {

// The CRC-32 polynomial x^32 + x^26 + ... + 1 without its x^32 term, in the
// usual order (most significant bit = highest power) ...
inline constexpr std::uint32_t CRC32_POLYNOMIAL = 0x04C11DB7u;

// v with its bit order reversed: bit i becomes bit (width - 1 - i).
template <std::unsigned_integral T>
constexpr T reflect(T v) {
    T r = 0;
    for (unsigned i = 0; i < sizeof(T) * 8; ++i) {
        r = static_cast<T>((r << 1) | ((v >> i) & 1u));
    }
    return r;
}

// ... and bit-reflected, as the register processes it (least significant bit
// first).
inline constexpr std::uint32_t CRC32_POLYNOMIAL_REFLECTED = reflect(CRC32_POLYNOMIAL);
static_assert(CRC32_POLYNOMIAL_REFLECTED == 0xEDB88320u);

inline constexpr std::uint32_t CRC32_INITIAL = 0xFFFFFFFFu;

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

// 256 entries, 1 KiB, built by the compiler into read-only data.
inline constexpr crc32_byte_table crc32_table = make_crc32_table();

static_assert(sizeof(crc32_table) == 1024);
static_assert(crc32_table[0] == 0x00000000u);
static_assert(crc32_table[1] == 0x77073096u);
static_assert(crc32_table[2] == 0xEE0E612Cu);
static_assert(crc32_table[128] == 0xEDB88320u);
static_assert(crc32_table[255] == 0x2D02EF8Du);

// One step: feed one byte through the register. Applied to every byte in
// order, this is the definition every fast kernel is held against.
constexpr std::uint32_t crc32_update(std::uint32_t crc32_register, std::uint8_t byte) {
    return (crc32_register >> 8) ^ crc32_table[(crc32_register ^ byte) & 0xFFu];
}

// The register over a whole buffer, from CRC32_INITIAL, without final
// inversion. Runs the fastest kernel this CPU offers; the result is the same
// as crc32_update applied to every byte in order.
std::uint32_t crc32_buffer(const void* bytes, std::uint32_t length);

}  // namespace jamcrc
