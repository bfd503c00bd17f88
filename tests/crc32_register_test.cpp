// The register's public face: the table, one step, and crc32_buffer.
#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "crc32_register.hpp"
#include "reference_crc.hpp"

namespace {

using jamcrc_test::bitwise_crc;

struct check_value {
    std::string bytes;
    std::uint32_t expected;
};

std::string all_byte_values() {
    std::string s(256, '\0');
    std::iota(s.begin(), s.end(), '\0');
    return s;
}

TEST(Crc32Buffer, KnownCheckValues) {
    const check_value cases[] = {
        {"", 0xFFFFFFFFu},
        {"123456789", 0x340BC6D9u},
        {"abc", 0xCADBBE3Du},
        {"0", 0x0B2420DEu},
        {all_byte_values(), 0xD6FA738Cu},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(jamcrc::crc32_buffer(c.bytes.data(), static_cast<std::uint32_t>(c.bytes.size())), c.expected)
            << "input of " << c.bytes.size() << " bytes";
        EXPECT_EQ(bitwise_crc(c.bytes), c.expected) << "the test's own model disagrees";
    }
    // The register is the complement of the common CRC-32 (0xCBF43926 for "123456789").
    EXPECT_EQ(~jamcrc::crc32_buffer("123456789", 9), 0xCBF43926u);
}

TEST(Crc32Table, EveryEntryFollowsTheShiftAndXorRule) {
    for (std::uint32_t n = 0; n < 256; ++n) {
        EXPECT_EQ(jamcrc::crc32_table[n], jamcrc_test::bitwise_step(n, 0)) << "entry " << n;
    }
}

TEST(Crc32Update, AgreesWithBitwiseStepForEveryByteAndManyRegisters) {
    std::uint32_t reg = 0x12345678u;
    for (int round = 0; round < 64; ++round) {
        for (unsigned b = 0; b < 256; ++b) {
            const auto byte = static_cast<std::uint8_t>(b);
            ASSERT_EQ(jamcrc::crc32_update(reg, byte), jamcrc_test::bitwise_step(reg, byte));
        }
        reg = reg * 2654435761u + 1;
    }
}

// Every length up to a few hundred, from several starting alignments.
TEST(Crc32Buffer, EveryLengthAndAlignmentMatchesTheBitwiseModel) {
    std::vector<std::uint8_t> data(600 + 64);
    std::uint32_t seed = 1;
    for (auto& b : data) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(seed >> 16);
    }
    for (std::size_t offset : {0u, 1u, 3u, 7u, 8u, 15u, 31u, 63u}) {
        for (std::uint32_t length = 0; length <= 600; ++length) {
            ASSERT_EQ(jamcrc::crc32_buffer(data.data() + offset, length), bitwise_crc(data.data() + offset, length))
                << "offset " << offset << ", length " << length;
        }
    }
}

}  // namespace
