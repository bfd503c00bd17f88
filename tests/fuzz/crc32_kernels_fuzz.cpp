// libFuzzer target: arbitrary bytes, lengths, starting registers and
// alignments, through every kernel this CPU can run, against the reference.
//
// Input layout: 4 bytes starting register, 1 byte alignment (0..63), then the
// data. The data is copied to an allocation that ends exactly where it does,
// so AddressSanitizer sees any read past the end.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "crc32_kernels.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    if (size < 5) {
        return 0;
    }
    std::uint32_t reg;
    std::memcpy(&reg, input, sizeof reg);
    const std::size_t offset = input[4] % 64u;
    const std::size_t length = size - 5;

    std::vector<std::uint8_t> storage(offset + length);
    std::uint8_t* data = storage.data() + offset;
    if (length != 0) {
        std::memcpy(data, input + 5, length);
    }

    const std::uint32_t expected = jamcrc::crc32_bytewise(reg, data, length);
    for (const jamcrc::crc32_kernel& kernel : jamcrc::crc32_kernels()) {
        if (!kernel.usable()) {
            continue;
        }
        const std::uint32_t got = kernel.run(reg, data, length);
        if (got != expected) {
            std::fprintf(stderr, "%s: %08x, reference %08x (register %08x, offset %zu, length %zu)\n",
                         kernel.name, got, expected, reg, offset, length);
            __builtin_trap();
        }
    }
    return 0;
}
