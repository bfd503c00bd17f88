// Linux: the page cache map (page_cache_map_linux.hpp).
//
// Holes first: SEEK_DATA and SEEK_HOLE tell any reader where a file's data
// lies, and a chunk without any needs no read. (A hole, or an extent that is
// allocated but unwritten, reads as zeros without the disk, and would pass
// for cached with any question below.)
//
// Then each chunk with data is asked about, in a way that tells this caller
// the truth, none of which reads the file:
// - cachestat() (Linux 6.5), which answers whoever it answers truthfully
//   (later kernels refuse, EPERM, those to whom mincore lies);
// - mincore() on a read-only mapping of the file, which the kernel answers
//   truthfully to the file's owner and the privileged; to anyone else (since
//   Linux 5.0) every page looks cached, so it is asked only for them;
// - for anyone, a one-byte read that refuses to wait (RWF_NOWAIT): it copies
//   the byte where the page is cached and fails where it isn't. The kernel
//   then reads that one page in (readahead is off while asking); where the
//   page is there before the answer, the thread's count of blocks read in
//   still tells (read_without_waiting). Another run's question may just have
//   brought a page in, so a chunk whose first page looks cached is asked
//   again, at a page picked at random: one run's questions then rarely
//   answer another's. These answers are hints: the reader checks them (see
//   direct_reads_linux.cpp), and the pages the questions brought in are
//   dropped again afterwards.
// cachestat and mincore count every page of a chunk: a chunk is cached only
// if all of its pages are.
#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "page_cache_map_linux.hpp"

namespace jamcrc {

namespace {

constexpr std::size_t round_up(std::size_t n, std::size_t to) { return (n + to - 1) / to * to; }

// The kernel's numbers, for C libraries whose headers don't name them yet.
#ifndef RWF_NOWAIT
#define RWF_NOWAIT 0x00000008
#endif
#ifndef RUSAGE_THREAD  // (named only for _GNU_SOURCE)
#define RUSAGE_THREAD 1
#endif
#if defined(SYS_cachestat)
constexpr long CACHESTAT = SYS_cachestat;
#elif (defined(__x86_64__) && !defined(__ILP32__)) || defined(__i386__) || defined(__aarch64__) || \
    defined(__arm__) || defined(__s390x__) || defined(__powerpc__) || defined(__riscv) || defined(__loongarch__)
constexpr long CACHESTAT = 451;  // Linux 6.5; the same number on each of these
#else
constexpr long CACHESTAT = -1;   // not asked here
#endif

// The file is mapped for mincore a window at a time, so that a 32-bit
// process, whose address space the buffer already fills, can still ask.
constexpr std::size_t MINCORE_WINDOW = std::size_t{64} << 20;
static_assert(MINCORE_WINDOW % CHUNK == 0);
constexpr std::size_t SMALLEST_PAGE = 4096;  // no Linux has smaller pages

std::size_t page_size() { return static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)); }

struct cachestat_range {
    std::uint64_t offset, length;
};
struct cachestat_counts {
    std::uint64_t cache, dirty, writeback, evicted, recently_evicted;
};

// The pages the page cache holds of bytes [at, at + length), or -1 when it
// can't be asked.
long cached_pages(int fd, std::uint64_t at, std::uint64_t length) {
    if (CACHESTAT < 0) {
        return -1;
    }
    cachestat_range range{at, length};
    cachestat_counts counts{};
    if (::syscall(CACHESTAT, static_cast<long>(fd), &range, &counts, 0L) != 0) {
        return -1;
    }
    return static_cast<long>(counts.cache);
}

// This thread's count of blocks read in from the disk (the kernel counts
// them as it asks the disk for them), or 0 where it can't be asked.
[[maybe_unused]] long blocks_read_in() {
    rusage usage{};
    return ::getrusage(RUSAGE_THREAD, &usage) == 0 ? usage.ru_inblock : 0;
}

// Whether the page cache holds the byte at `at`: 1, 0, or -1 when it can't
// be asked.
int probe(int fd, std::size_t at) {
    unsigned char byte;
    const nowait_read r = read_without_waiting(fd, &byte, at, 1);
    if (r.got == 1) {
        return r.from_disk ? 0 : 1;
    }
    return r.got < 0 && errno == EAGAIN ? 0 : -1;
}

// A page number picked anew by each run, so that runs at once ask different
// pages (xorshift, seeded from the clock and the process).
class page_picker {
public:
    page_picker() {
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        state_ = (static_cast<std::uint64_t>(now.tv_nsec) ^ (static_cast<std::uint64_t>(::getpid()) << 32)) | 1u;
    }
    std::size_t below(std::size_t n) {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return static_cast<std::size_t>(state_ % n);
    }

private:
    std::uint64_t state_;
};

// Whether mincore tells this caller the truth about the file: the kernel
// does for its owner, for a caller who may write it, and for one with the
// power to act as its owner (root, but not the root of a user namespace
// that doesn't map the file's owner).
bool trusted_by_mincore(int fd) {
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        return false;
    }
    if (st.st_uid == ::geteuid()) {
        return true;
    }
#if defined(SYS_faccessat2) && defined(AT_EMPTY_PATH)
    if (::syscall(SYS_faccessat2, static_cast<long>(fd), "", static_cast<long>(W_OK),
                  static_cast<long>(AT_EMPTY_PATH | AT_EACCESS)) == 0) {
        return true;
    }
#endif
    if (::geteuid() != 0) {
        return false;
    }
    // Root of the machine itself, whose user namespace maps every user: its
    // map is "0 0 4294967295".
    char map[64] = {};
    const int map_fd = ::open("/proc/self/uid_map", O_RDONLY | O_CLOEXEC);
    const ssize_t got = map_fd < 0 ? -1 : ::read(map_fd, map, sizeof map - 1);
    if (map_fd >= 0) {
        ::close(map_fd);
    }
    unsigned long inside = 1, outside = 1, count = 0;
    return got > 0 && std::sscanf(map, "%lu %lu %lu", &inside, &outside, &count) == 3 && inside == 0 &&
           outside == 0 && count == 4294967295ul;
}

}  // namespace

nowait_read read_without_waiting(int fd, std::uint8_t* out, std::size_t at, std::size_t count) {
#if defined(SYS_preadv2) && !(defined(__x86_64__) && defined(__ILP32__))
    iovec piece{out, count};
    const auto offset = static_cast<std::uint64_t>(at);
    constexpr unsigned HALF = sizeof(long) * 4;
    const long before = blocks_read_in();
    ssize_t got = 0;
    do {  // (an interrupted try may have set off a disk read too: counted from the first)
        got = static_cast<ssize_t>(::syscall(SYS_preadv2, static_cast<long>(fd), &piece, 1L,
                                             static_cast<unsigned long>(offset),
                                             static_cast<unsigned long>((offset >> HALF) >> HALF),
                                             static_cast<long>(RWF_NOWAIT)));
    } while (got < 0 && errno == EINTR);
    const int error = errno;
    const bool from_disk = blocks_read_in() != before;
    errno = error;
    return {got, from_disk};
#else
    (void)fd, (void)out, (void)at, (void)count;
    errno = ENOSYS;
    return {-1, false};
#endif
}

void drop_pages_read_in(int fd, std::size_t from, std::size_t to) {
    // Whole pages: the kernel keeps a page it would drop only in part.
    const std::size_t page = page_size();
    const std::size_t start = from / page * page;
    const std::size_t end = round_up(to, page);
    for (std::size_t at = start; at < end; at += page) {
        unsigned char byte;
        while (::pread(fd, &byte, 1, static_cast<off_t>(at)) < 0 && errno == EINTR) {
        }
    }
    ::posix_fadvise(fd, static_cast<off_t>(start), static_cast<off_t>(end - start), POSIX_FADV_DONTNEED);
}

page_cache_map::answers page_cache_map::ask(int fd, std::uint32_t length, bool holes_known) {
    length_ = length;
    const std::size_t chunks = (std::size_t{length} + CHUNK - 1) / CHUNK;
    const std::size_t page = page_size();
    page_picker pick;
    first_probe_.fill(NONE);
    second_probe_.fill(NONE);

    // Where the data is: each data run marks the chunks it touches, and a
    // chunk's first data byte is where it is first asked about; the second
    // question goes to a page of the same run. After a run, a chunk already
    // known to hold data is not looked into further.
    std::fill_n(state_.begin(), chunks, holes_known ? chunk_state::hole : chunk_state::cold);
    for (std::size_t c = 0; c < chunks && !holes_known; ++c) {
        first_probe_[c] = static_cast<std::uint32_t>(c * CHUNK);
        const std::size_t pages = (std::min<std::size_t>(length - c * CHUNK, CHUNK) + page - 1) / page;
        second_probe_[c] = static_cast<std::uint32_t>(std::min<std::size_t>(length - 1, c * CHUNK + pick.below(pages) * page));
    }
    for (std::size_t at = 0; at < length && holes_known;) {
        off_t data = ::lseek(fd, static_cast<off_t>(at), SEEK_DATA);
        off_t hole = data < 0 ? -1 : ::lseek(fd, data, SEEK_HOLE);
        if (data < 0 && errno == ENXIO) {
            break;  // no data from here to the end
        }
        if (data < 0 || hole < 0) {
            data = static_cast<off_t>(at);  // no way to tell: data to the end
            hole = static_cast<off_t>(length);
        }
        if (data >= static_cast<off_t>(length)) {
            break;  // the data there came after the length measured
        }
        const auto from = static_cast<std::size_t>(data);
        const auto to = static_cast<std::size_t>(std::min(hole, static_cast<off_t>(length)));
        for (std::size_t c = from / CHUNK; c * CHUNK < to; ++c) {
            const std::size_t first = std::max(from, c * CHUNK);
            const std::size_t end = std::min(to, (c + 1) * CHUNK);
            if (state_[c] == chunk_state::hole) {
                state_[c] = chunk_state::cold;
                first_probe_[c] = static_cast<std::uint32_t>(first);
                const std::size_t pages = std::max<std::size_t>((end - first + page - 1) / page, 1);
                second_probe_[c] = static_cast<std::uint32_t>(std::min(end - 1, first + pick.below(pages) * page));
            }
        }
        at = round_up(std::max(to, from + 1), CHUNK);
    }

    // cachestat wherever it answers.
    bool asked = true;
    for (std::size_t c = 0; c < chunks && asked; ++c) {
        if (state_[c] == chunk_state::hole) continue;
        const std::size_t end = std::min<std::size_t>((c + 1) * CHUNK, length);
        const long pages = cached_pages(fd, c * CHUNK, end - c * CHUNK);
        asked = pages >= 0;
        state_[c] = pages >= 0 && static_cast<std::size_t>(pages) >= (end - c * CHUNK + page - 1) / page
                        ? chunk_state::cached
                        : chunk_state::cold;
    }
    if (asked) {
        first_probe_.fill(NONE);  // none was made
        second_probe_.fill(NONE);
        return answers::exact;
    }

    // mincore, for those it tells the truth.
    if (trusted_by_mincore(fd)) {
        asked = true;
        for (std::size_t window = 0; window < length && asked; window += MINCORE_WINDOW) {
            const std::size_t size = std::min<std::size_t>(MINCORE_WINDOW, length - window);
            void* map = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, static_cast<off_t>(window));
            asked = map != MAP_FAILED;
            for (std::size_t at = 0; at < size && asked; at += CHUNK) {
                const std::size_t c = (window + at) / CHUNK;
                if (state_[c] == chunk_state::hole) continue;
                const std::size_t bytes = std::min(CHUNK, size - at);
                std::array<unsigned char, CHUNK / SMALLEST_PAGE> resident{};
                asked = ::mincore(static_cast<char*>(map) + at, bytes, resident.data()) == 0;
                const auto pages = static_cast<std::ptrdiff_t>((bytes + page - 1) / page);
                state_[c] = std::all_of(resident.begin(), resident.begin() + pages,
                                        [](unsigned char r) { return (r & 1u) != 0; })
                                ? chunk_state::cached
                                : chunk_state::cold;
            }
            if (map != MAP_FAILED) {
                ::munmap(map, size);
            }
        }
        if (asked) {
            first_probe_.fill(NONE);
            second_probe_.fill(NONE);
            return answers::exact;
        }
    }

    // One-byte reads that refuse to wait, with readahead off, so that a
    // question about a cold page brings in that page and no more.
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
    asked = true;
    for (std::size_t c = 0; c < chunks && asked; ++c) {
        if (state_[c] == chunk_state::hole) continue;
        int answer = probe(fd, first_probe_[c]);
        if (answer != 1 || second_probe_[c] == first_probe_[c]) {
            second_probe_[c] = NONE;
        } else {
            answer = probe(fd, second_probe_[c]);
        }
        asked = answer >= 0;
        state_[c] = answer == 1 ? chunk_state::cached : chunk_state::cold;
        if (!asked) {  // nothing more was asked, so nothing more is to be dropped
            std::fill(first_probe_.begin() + static_cast<std::ptrdiff_t>(c), first_probe_.end(), NONE);
            std::fill(second_probe_.begin() + static_cast<std::ptrdiff_t>(c), second_probe_.end(), NONE);
        }
    }
    if (asked) {
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_NORMAL);
        return answers::hints;
    }

    // No way of asking answered: everything with data through the cache.
    forget_pages_asked(fd, {});
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_NORMAL);
    first_probe_.fill(NONE);
    second_probe_.fill(NONE);
    for (std::size_t c = 0; c < chunks; ++c) {
        if (state_[c] != chunk_state::hole) state_[c] = chunk_state::cached;
    }
    return answers::none;
}

void page_cache_map::forget_pages_asked(int fd, const std::array<bool, MAX_CHUNKS>& found_cold) const {
    for (std::size_t c = 0; c * CHUNK < length_; ++c) {
        if (state_[c] == chunk_state::cached && !found_cold[c]) {
            continue;  // those pages were in the cache before
        }
        for (const std::uint32_t at : {first_probe_[c], second_probe_[c]}) {
            if (at != NONE) {
                drop_pages_read_in(fd, at, std::size_t{at} + 1);
            }
        }
    }
}

}  // namespace jamcrc
