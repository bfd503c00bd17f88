// Throughput of every kernel this CPU can run, beside the byte-at-a-time
// reference, on one buffer per size. Google Benchmark reports bytes/s; use
// --benchmark_repetitions and the medians it prints to compare.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "cpu_features.hpp"
#include "crc32_kernels.hpp"

#if JAMCRC_BENCH_ISAL
#include <isa-l/crc.h>
#endif

#if JAMCRC_KERNELS_X86
namespace jamcrc::bench {
std::uint32_t load_only_avx512(std::uint32_t reg, const std::uint8_t* p, std::size_t n);
}
#endif

namespace {

const std::vector<std::uint8_t>& data() {
    static const std::vector<std::uint8_t> bytes = [] {
        std::vector<std::uint8_t> v(64u << 20);
        std::mt19937 gen(42);
        for (auto& b : v) b = static_cast<std::uint8_t>(gen());
        return v;
    }();
    return bytes;
}

void run_kernel(benchmark::State& state, jamcrc::crc32_kernel_fn kernel) {
    const auto length = static_cast<std::size_t>(state.range(0));
    const std::uint8_t* p = data().data();
    for (auto _ : state) {
        benchmark::DoNotOptimize(kernel(jamcrc::CRC32_INITIAL, p, length));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

std::uint32_t bytewise(std::uint32_t reg, const std::uint8_t* p, std::size_t n) {
    return jamcrc::crc32_bytewise(reg, p, n);
}

std::uint32_t dispatched(std::uint32_t, const std::uint8_t* p, std::size_t n) {
    return jamcrc::crc32_buffer(p, static_cast<std::uint32_t>(n));
}

#if JAMCRC_BENCH_ISAL
// The same register from ISA-L's zlib-style CRC-32, which inverts on entry and exit.
std::uint32_t isal(std::uint32_t reg, const std::uint8_t* p, std::size_t n) { return ~crc32_gzip_refl(~reg, p, n); }
#endif

void add(const std::string& name, jamcrc::crc32_kernel_fn fn) {
    // Odd sizes around the kernels' switches (16 bytes to fold at all, 128 to
    // go wide, 256 for four wide accumulators) beside the round ones.
    auto* b = benchmark::RegisterBenchmark(name.c_str(), run_kernel, fn);
    for (std::int64_t size : {15, 64, 127, 200, 256, 1000, 4 << 10, 64 << 10, 1 << 20, 64 << 20}) {
        b->Arg(size);
    }
}

}  // namespace

int main(int argc, char** argv) {
    add("bytewise", bytewise);
    for (const auto& k : jamcrc::crc32_kernels()) {
        if (k.usable()) add(k.name, k.run);
    }
    add("crc32_buffer", dispatched);
#if JAMCRC_BENCH_ISAL
    add("isal", isal);
#endif
#if JAMCRC_KERNELS_X86
    if (jamcrc::cpu::has_vpclmul_avx512()) add("load_only_avx512", jamcrc::bench::load_only_avx512);
#endif
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
