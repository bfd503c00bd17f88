// An independent model of the checksum for the tests: one bit at a time,
// straight from the definition, sharing no code with the program.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace jamcrc_test {

inline constexpr std::uint32_t REFLECTED_POLY = 0xEDB88320u;

constexpr std::uint32_t bitwise_step(std::uint32_t reg, std::uint8_t byte) {
    reg ^= byte;
    for (int i = 0; i < 8; ++i) {
        reg = (reg & 1u) ? (reg >> 1) ^ REFLECTED_POLY : reg >> 1;
    }
    return reg;
}

constexpr std::uint32_t bitwise_crc(const std::uint8_t* p, std::size_t n, std::uint32_t reg = 0xFFFFFFFFu) {
    for (std::size_t i = 0; i < n; ++i) {
        reg = bitwise_step(reg, p[i]);
    }
    return reg;
}

inline std::uint32_t bitwise_crc(std::string_view s) {
    return bitwise_crc(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

// The register after `n` zero bytes from all ones, for lengths too long to
// walk: a zero byte is a linear map on the register, so square its matrix.
inline std::uint32_t crc_of_zeros(std::uint64_t n) {
    using matrix = std::array<std::uint32_t, 32>;  // column i: image of bit i
    const auto apply = [](const matrix& m, std::uint32_t v) {
        std::uint32_t r = 0;
        for (int i = 0; i < 32; ++i) {
            if ((v >> i) & 1u) r ^= m[static_cast<std::size_t>(i)];
        }
        return r;
    };
    matrix step{};
    for (int i = 0; i < 32; ++i) step[static_cast<std::size_t>(i)] = bitwise_step(1u << i, 0);
    std::uint32_t reg = 0xFFFFFFFFu;
    for (; n != 0; n >>= 1) {
        if (n & 1u) reg = apply(step, reg);
        matrix squared{};
        for (std::size_t i = 0; i < 32; ++i) squared[i] = apply(step, step[i]);
        step = squared;
    }
    return reg;
}

}  // namespace jamcrc_test
