// Large buffers come straight from the kernel, aligned to 2 MiB and marked
// for transparent huge pages: reading a big file into fresh memory is
// otherwise dominated by one page fault per 4 KiB. Small buffers come from
// the heap, which is cheaper to start.
//
// Even with huge pages, the kernel must zero every page before a read can
// copy into it, and does so on the reading thread. For a large range that the
// read will copy from the page cache, a helper thread asks for the pages to be
// made ready (zeroed and mapped, front to back) while the read is copying, so
// the read mostly finds them ready (prepare). The helper never writes to the
// buffer itself; if it can't start, or the kernel doesn't know the request,
// the read faults the pages in as usual. Ranges read directly from the disk
// get no helper: the kernel maps those pages as it reads, and a helper there
// measured only slower.
//
// Built for Linux, whatever its C library; elsewhere the heap serves, and no
// helper is started.
#include <pthread.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

// The advice is the kernel's (Linux 5.14 and later), not the C library's:
// some C libraries (musl) don't name it yet. An older kernel answers EINVAL,
// and the read then faults the pages in itself.
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "file_buffer.hpp"
#include "memory_room.hpp"

namespace jamcrc {

namespace {

constexpr std::size_t HUGE_PAGE = std::size_t{2} << 20;

// Below this the pages are ready before a thread would have started.
constexpr std::size_t PREPARE_FROM = std::size_t{64} << 20;

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

// Buffers this long are mapped, whole huge pages of them; shorter ones come
// from the heap.
bool is_mapped(std::uint32_t length) { return length >= HUGE_PAGE; }

// No object may be larger than PTRDIFF_MAX (musl refuses to map one), which
// in a 32-bit program is 2 GiB less a byte: a buffer of whole huge pages,
// with a huge page more to align it, fits only below that. The longest files
// a 32-bit program takes get a buffer of their length exactly, read through
// the cache (see input_file.hpp).
constexpr std::size_t MOST_MAPPED = PTRDIFF_MAX;
bool in_huge_pages(std::uint32_t length) { return round_up(length, HUGE_PAGE) <= MOST_MAPPED - HUGE_PAGE; }
std::size_t mapped_size(std::uint32_t length) { return in_huge_pages(length) ? round_up(length, HUGE_PAGE) : length; }

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

// A mapping of exactly `size` bytes, or null. Asked of the kernel itself:
// musl's mmap refuses PTRDIFF_MAX bytes, the length of the largest file a
// 32-bit program takes.
std::uint8_t* map_exactly(std::size_t size) {
#if defined(SYS_mmap2)
    const long call = SYS_mmap2;  // 32-bit systems: the offset in pages
#else
    const long call = SYS_mmap;
#endif
    const long map = ::syscall(call, 0L, static_cast<unsigned long>(size), static_cast<long>(PROT_READ | PROT_WRITE),
                               static_cast<long>(MAP_PRIVATE | MAP_ANONYMOUS), -1L, 0L);
    return map == -1 ? nullptr : reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(map));
}

}  // namespace

file_buffer file_buffer::allocate(std::uint32_t length) {
    if (length == 0) {
        return {nullptr, 0};
    }
    if (!is_mapped(length)) {
        return {static_cast<std::uint8_t*>(std::malloc(length)), length};
    }
    // Memory the kernel lets the tool map but not fill (a memory cgroup's
    // limit, a machine short of memory) would end it without a word.
    const std::size_t size = mapped_size(length);
    if (!memory_room_for(size)) {
        return {nullptr, length};
    }
    std::uint8_t* data = nullptr;
    if (in_huge_pages(length)) {
        data = map_aligned(size);
    } else {
        data = map_exactly(size);
    }
    file_buffer buffer{data, length};
    if (buffer.data_ != nullptr) {
        ::madvise(buffer.data_, size, MADV_HUGEPAGE);  // only advice: small pages still work
    }
    return buffer;
}

void file_buffer::prepare(std::size_t from, std::size_t to) {
    if (helper_ != nullptr || !is_mapped(length_) || to <= from || to - from < PREPARE_FROM) {
        return;
    }
    // Whole huge pages: the helper's first and last may be shared with a range
    // the read fills otherwise, which only means both may fault them in.
    const std::size_t start = from / HUGE_PAGE * HUGE_PAGE;
    helper_ = start_prefault(data_ + start, std::min(round_up(to, HUGE_PAGE), mapped_size(length_)) - start);
}

std::size_t file_buffer::capacity() const { return is_mapped(length_) ? mapped_size(length_) : length_; }

file_buffer::file_buffer(file_buffer&& other) noexcept
    : data_(other.data_), length_(other.length_), helper_(other.helper_) {
    other.data_ = nullptr;
    other.helper_ = nullptr;
}

void file_buffer::release() {
    if (helper_ != nullptr) {
        auto* job = static_cast<prefault_job*>(helper_);
        ::pthread_join(job->thread, nullptr);
        std::free(job);
        helper_ = nullptr;
    }
    if (data_ != nullptr && is_mapped(length_)) {
        ::munmap(data_, mapped_size(length_));
    } else {
        std::free(data_);
    }
    data_ = nullptr;
}

}  // namespace jamcrc
