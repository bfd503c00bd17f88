// Large buffers come straight from the kernel, aligned to 2 MiB and marked
// for transparent huge pages: reading a big file into fresh memory is
// otherwise dominated by one page fault per 4 KiB. Small buffers come from
// the heap, which is cheaper to start.
//
// Even with huge pages, the kernel must zero every page before the read can
// copy into it, and does so on the reading thread. For a very large buffer a
// helper thread asks for the pages to be made ready (zeroed and mapped,
// front to back) while the read is copying, so the read mostly finds them
// ready. The helper never writes to the buffer itself; if it can't start, or
// the kernel doesn't know the request, the read faults the pages in as usual.
#include <pthread.h>
#include <sys/mman.h>

#include <cstdlib>

#include "file_buffer.hpp"

namespace jamcrc {

namespace {

constexpr std::size_t HUGE_PAGE = std::size_t{2} << 20;

// Below this the pages are ready before a thread would have started.
constexpr std::size_t PREFAULT_FROM = std::size_t{64} << 20;

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23  // Linux 5.14
#endif

struct prefault_job {
    pthread_t thread;
    void* start;
    std::size_t size;
};

void* prefault(void* arg) {
    auto* job = static_cast<prefault_job*>(arg);
    ::madvise(job->start, job->size, MADV_POPULATE_WRITE);
    return nullptr;
}

prefault_job* start_prefault(void* start, std::size_t size) {
    auto* job = static_cast<prefault_job*>(std::malloc(sizeof(prefault_job)));
    if (job == nullptr) {
        return nullptr;
    }
    *job = {{}, start, size};
    if (::pthread_create(&job->thread, nullptr, prefault, job) != 0) {
        std::free(job);
        return nullptr;
    }
    return job;
}

constexpr std::size_t round_up(std::size_t n, std::size_t to) { return (n + to - 1) / to * to; }

// A mapping of `size` bytes (a multiple of HUGE_PAGE) starting on a
// HUGE_PAGE boundary, or null.
std::uint8_t* map_aligned(std::size_t size) {
    const std::size_t padded = size + HUGE_PAGE;
    void* raw = ::mmap(nullptr, padded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) {
        return nullptr;
    }
    auto* start = static_cast<std::uint8_t*>(raw);
    const std::size_t lead = round_up(reinterpret_cast<std::uintptr_t>(start), HUGE_PAGE) -
                             reinterpret_cast<std::uintptr_t>(start);
    if (lead != 0) {
        ::munmap(start, lead);
    }
    ::munmap(start + lead + size, HUGE_PAGE - lead);
    return start + lead;
}

}  // namespace

file_buffer file_buffer::allocate(std::uint32_t length) {
    if (length == 0) {
        return {nullptr, 0, true};
    }
    if (length < HUGE_PAGE) {
        auto* heap = static_cast<std::uint8_t*>(std::malloc(length));
        return {heap, 0, heap != nullptr};
    }
    const std::size_t size = round_up(length, HUGE_PAGE);
    std::uint8_t* mapped = map_aligned(size);
    if (mapped == nullptr) {
        return {nullptr, 0, false};
    }
#ifdef MADV_HUGEPAGE
    ::madvise(mapped, size, MADV_HUGEPAGE);  // only advice: small pages still work
#endif
    file_buffer buffer{mapped, size, true};
    if (size >= PREFAULT_FROM) {
        buffer.prefault_ = start_prefault(mapped, size);
    }
    return buffer;
}

file_buffer::file_buffer(file_buffer&& other) noexcept
    : data_(other.data_), mapped_(other.mapped_), valid_(other.valid_), prefault_(other.prefault_) {
    other.data_ = nullptr;
    other.mapped_ = 0;
    other.prefault_ = nullptr;
}

void file_buffer::release() {
    if (prefault_ != nullptr) {
        auto* job = static_cast<prefault_job*>(prefault_);
        ::pthread_join(job->thread, nullptr);
        std::free(job);
        prefault_ = nullptr;
    }
    if (mapped_ != 0) {
        ::munmap(data_, mapped_);
    } else {
        std::free(data_);
    }
    data_ = nullptr;
    mapped_ = 0;
}

}  // namespace jamcrc
