// A yardstick, not a checksum: loads every byte with the same 512-bit loads
// and prefetching as the AVX-512 kernel and XORs them together. Where the
// kernel runs as fast as this, memory, not the folding, sets the pace.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

std::uint32_t load_only_avx512(std::uint32_t reg, const std::uint8_t* p, std::size_t n) {
    __m512i acc = _mm512_zextsi128_si512(_mm_cvtsi32_si128(static_cast<int>(reg)));
    std::size_t i = 0;
    for (; i + 256 <= n; i += 256) {
        for (std::size_t line = 0; line < 256; line += 64) {
            _mm_prefetch(reinterpret_cast<const char*>(p + i) + 8192 + line, _MM_HINT_T0);
        }
        acc = _mm512_ternarylogic_epi64(acc, _mm512_loadu_si512(p + i), _mm512_loadu_si512(p + i + 64), 0x96);
        acc = _mm512_ternarylogic_epi64(acc, _mm512_loadu_si512(p + i + 128), _mm512_loadu_si512(p + i + 192), 0x96);
    }
    alignas(64) std::uint32_t words[16];
    _mm512_store_si512(words, acc);
    std::uint32_t folded = static_cast<std::uint32_t>(n - i);
    for (std::uint32_t w : words) folded ^= w;
    return folded;
}
