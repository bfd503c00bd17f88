// The interchangeable implementations of the register behind crc32_buffer.
// Every kernel computes exactly what crc32_update computes byte by byte; they
// differ only in the instructions they need and how fast they run.
//
// Which families are built is decided once, by the build, and arrives here as
// JAMCRC_KERNELS_X86 and JAMCRC_KERNELS_ARM (each 0 or 1; ARM covers AArch64
// and 32-bit ARM alike).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "crc32_register.hpp"

namespace jamcrc {

// Advances `reg` over `length` bytes. No initial value or final inversion is
// applied here: that is crc32_buffer's business.
using crc32_kernel_fn = std::uint32_t (*)(std::uint32_t reg, const std::uint8_t* bytes,
                                          std::size_t length);

struct crc32_kernel {
    const char* name;  // the kernel's one name: its function, its file, its CPU question
    crc32_kernel_fn run;
    bool (*usable)();  // can this CPU (and OS) run it?
};

// Every kernel this build carries, fastest first; the last one is portable
// and always usable.
std::span<const crc32_kernel> crc32_kernels();

// The kernel crc32_buffer runs: the first usable one, chosen on first use.
const crc32_kernel& crc32_active_kernel();

// The program's reference: the table step of crc32_update, one byte at a
// time. Every kernel is tested against it; the tests check it in turn against
// their own bit-at-a-time model.
constexpr std::uint32_t crc32_bytewise(std::uint32_t reg, const std::uint8_t* bytes,
                                       std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        reg = crc32_update(reg, bytes[i]);
    }
    return reg;
}

// The kernels themselves, each in crc32_kernel_<name>.cpp, built with the
// instruction set it needs. Only the dispatcher names them.
namespace kernel {
std::uint32_t slice8(std::uint32_t reg, const std::uint8_t* bytes, std::size_t length);
#if JAMCRC_KERNELS_X86
std::uint32_t pclmul_sse(std::uint32_t reg, const std::uint8_t* bytes, std::size_t length);
std::uint32_t vpclmul_avx2(std::uint32_t reg, const std::uint8_t* bytes, std::size_t length);
std::uint32_t vpclmul_avx512(std::uint32_t reg, const std::uint8_t* bytes, std::size_t length);
#endif
#if JAMCRC_KERNELS_ARM
std::uint32_t arm_crc32(std::uint32_t reg, const std::uint8_t* bytes, std::size_t length);
#endif
}  // namespace kernel

}  // namespace jamcrc
