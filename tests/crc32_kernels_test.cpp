// Every kernel this CPU can run, held against the byte-at-a-time reference:
// each length, each alignment, other starting registers, large buffers, and
// no read outside the buffer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "cpu_features.hpp"
#include "crc32_kernels.hpp"
#include "guarded_buffer.hpp"
#include "reference_crc.hpp"

namespace jamcrc {
void PrintTo(const crc32_kernel& kernel, std::ostream* os) { *os << kernel.name; }
}  // namespace jamcrc

namespace {

using jamcrc::crc32_kernel;

std::vector<std::uint8_t> random_bytes(std::size_t n, std::uint32_t seed) {
    std::mt19937 gen(seed);
    std::vector<std::uint8_t> v(n);
    for (auto& b : v) b = static_cast<std::uint8_t>(gen());
    return v;
}

// Only the kernels this CPU can run are instantiated, rather than skipped:
// a 32-bit Windows build under Wine on qemu-user dies on the debug-output
// exception GoogleTest raises to report a skip.
std::vector<crc32_kernel> usable_kernels() {
    std::vector<crc32_kernel> usable;
    for (const crc32_kernel& k : jamcrc::crc32_kernels()) {
        if (k.usable()) usable.push_back(k);
    }
    return usable;
}

class KernelTest : public ::testing::TestWithParam<crc32_kernel> {
protected:
    std::uint32_t run(std::uint32_t reg, const std::uint8_t* p, std::size_t n) const {
        return GetParam().run(reg, p, n);
    }
};

constexpr std::size_t MAX_SHORT = 2200;

TEST_P(KernelTest, EveryLengthAtEveryAlignmentWithin64Bytes) {
    const auto data = random_bytes(MAX_SHORT + 64, 7);
    for (std::size_t offset = 0; offset < 64; ++offset) {
        const std::uint8_t* p = data.data() + offset;
        std::uint32_t expected = jamcrc::CRC32_INITIAL;  // the reference, one byte further each round
        for (std::size_t length = 0; length <= MAX_SHORT; ++length) {
            ASSERT_EQ(run(jamcrc::CRC32_INITIAL, p, length), expected) << "offset " << offset << ", length " << length;
            if (length < MAX_SHORT) expected = jamcrc::crc32_update(expected, p[length]);
        }
    }
}

TEST_P(KernelTest, AnyStartingRegister) {
    const auto data = random_bytes(5000, 11);
    std::mt19937 gen(3);
    for (std::size_t length : {0u, 1u, 15u, 16u, 17u, 63u, 64u, 255u, 256u, 257u, 1000u, 4099u, 5000u}) {
        for (int round = 0; round < 8; ++round) {
            const auto reg = static_cast<std::uint32_t>(gen());
            ASSERT_EQ(run(reg, data.data(), length), jamcrc::crc32_bytewise(reg, data.data(), length))
                << "register " << reg << ", length " << length;
        }
    }
}

TEST_P(KernelTest, LargeRandomBuffers) {
    for (std::size_t length : {65536u + 5u, (1u << 20) + 13u, (3u << 20) + 4095u, 6u << 20}) {
        const auto data = random_bytes(length, static_cast<std::uint32_t>(length));
        ASSERT_EQ(run(jamcrc::CRC32_INITIAL, data.data(), length),
                  jamcrc::crc32_bytewise(jamcrc::CRC32_INITIAL, data.data(), length))
            << "length " << length;
    }
}

TEST_P(KernelTest, NeverReadsOutsideTheBuffer) {
    const auto data = random_bytes(1100, 5);
    jamcrc_test::guarded_buffer guard(data.size());
    for (std::size_t length = 0; length <= data.size(); ++length) {
        const std::uint32_t expected = jamcrc::crc32_bytewise(jamcrc::CRC32_INITIAL, data.data(), length);
        ASSERT_EQ(run(jamcrc::CRC32_INITIAL, guard.at_end(data.data(), length), length), expected) << length;
        ASSERT_EQ(run(jamcrc::CRC32_INITIAL, guard.at_start(data.data(), length), length), expected) << length;
    }
}

TEST_P(KernelTest, AllZerosAndAllOnes) {
    for (std::uint8_t fill : {std::uint8_t{0x00}, std::uint8_t{0xFF}}) {
        const std::vector<std::uint8_t> data(100000, fill);
        for (std::size_t length : {16u, 64u, 256u, 4096u, 100000u}) {
            ASSERT_EQ(run(jamcrc::CRC32_INITIAL, data.data(), length),
                      jamcrc_test::bitwise_crc(data.data(), length))
                << "fill " << int{fill} << ", length " << length;
        }
    }
}

std::string kernel_name(const ::testing::TestParamInfo<crc32_kernel>& kernel) { return kernel.param.name; }

INSTANTIATE_TEST_SUITE_P(Kernels, KernelTest,
                         ::testing::ValuesIn(usable_kernels()),
                         kernel_name);

TEST(Dispatch, PicksTheFirstUsableKernelAndKeepsIt) {
    ASSERT_TRUE(jamcrc::crc32_kernels().back().usable()) << "the portable kernel must always be usable";
    EXPECT_STREQ(jamcrc::crc32_active_kernel().name, usable_kernels().front().name);
    EXPECT_EQ(&jamcrc::crc32_active_kernel(), &jamcrc::crc32_active_kernel());
    // Under an emulated CPU whose instructions are known, the CPU questions
    // must find them.
    if (const char* expected = std::getenv("JAMCRC_TEST_EXPECTED_KERNEL")) {
        EXPECT_STREQ(jamcrc::crc32_active_kernel().name, expected);
    }
}

}  // namespace

#if JAMCRC_KERNELS_X86
// Where the loader's record of the CPU is used, it must say what cpuid says.
TEST(CpuFeatures, AgreeWithCpuid) {
    const auto direct = jamcrc::cpu::x86_from_cpuid();
    EXPECT_EQ(jamcrc::cpu::has_pclmul_sse(), direct.pclmul_sse);
    EXPECT_EQ(jamcrc::cpu::has_vpclmul_avx2(), direct.vpclmul_avx2);
    EXPECT_EQ(jamcrc::cpu::has_vpclmul_avx512(), direct.vpclmul_avx512);
}
#endif
