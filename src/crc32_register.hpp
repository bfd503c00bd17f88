// The CRC-32 register: reflected polynomial 0xEDB88320, started from all ones
// and handed back without a final inversion (the parameter set known as
// CRC-32/JAMCRC, the complement of the common zip/Ethernet CRC-32).
#pragma once

#include <cstdint>

#include "crc32_table.hpp"

namespace jamcrc {

inline constexpr std::uint32_t CRC32_INITIAL = 0xFFFFFFFFu;

// 256 entries, 1 KiB, in read-only data.
inline constexpr crc32_byte_table crc32_table = make_crc32_table();

static_assert(sizeof(crc32_table) == 1024);
static_assert(crc32_table[0] == 0x00000000u);
static_assert(crc32_table[1] == 0x77073096u);
static_assert(crc32_table[2] == 0xEE0E612Cu);
static_assert(crc32_table[128] == 0xEDB88320u);
static_assert(crc32_table[255] == 0x2D02EF8Du);

// One step: feed one byte through the register. This is the reference every
// fast kernel is held against.
constexpr std::uint32_t crc32_update(std::uint32_t crc32_register, std::uint8_t byte) {
    return (crc32_register >> 8) ^ crc32_table[(crc32_register ^ byte) & 0xFFu];
}

// The register over a whole buffer, from CRC32_INITIAL, without final
// inversion. Runs the fastest kernel this CPU offers; the result is the same
// as crc32_update applied to every byte in order.
std::uint32_t crc32_buffer(const void* bytes, std::uint32_t length);

}  // namespace jamcrc
