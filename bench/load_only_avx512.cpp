// A yardstick, not a checksum: loads every byte with the AVX-512 kernel's own
// loads, a step at a time, and XORs them together, with no prefetching beyond
// the hardware's own. Where the kernel runs as fast as this, memory, not the
// folding, sets the pace; where it runs faster, its prefetching pays.
#include "x86/wide_vectors.hpp"

namespace jamcrc::bench {

std::uint32_t load_only_avx512(std::uint32_t reg, const std::uint8_t* p, std::size_t n) {
    using kernel::vector512;
    constexpr int XOR3 = 0x96;
    __m512i acc = _mm512_zextsi128_si512(kernel::register_block(reg));
    std::size_t i = 0;
    for (; i + vector512::STEP <= n; i += vector512::STEP) {
        for (std::size_t v = 0; v < vector512::STEP; v += 2 * vector512::WIDTH) {
            acc = _mm512_ternarylogic_epi64(acc, vector512::load(p + i + v),
                                            vector512::load(p + i + v + vector512::WIDTH), XOR3);
        }
    }
    alignas(64) std::uint32_t words[16];
    _mm512_store_si512(words, acc);
    auto folded = static_cast<std::uint32_t>(n - i);
    for (std::uint32_t w : words) folded ^= w;
    return folded;
}

}  // namespace jamcrc::bench
