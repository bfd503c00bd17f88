// Linux: a large file read without filling the page cache with what it lacks.
// A buffered read of a cold file has the kernel fill a page cache as large as
// the file and then copy it into the buffer: twice the fresh memory, and fresh
// memory is what costs most on a virtual machine. The parts the cache lacks
// are read with O_DIRECT instead, straight into the buffer; the parts it holds
// are copied from it as before (reading them from the disk again would be
// slower).
//
// Which parts the cache holds is sampled, one page per 2 MiB chunk, in a way
// that tells this caller the truth, none of which reads the file:
// - cachestat() (Linux 6.5), which answers whoever it answers truthfully;
// - where it is missing, mincore() on a read-only mapping of the file, which
//   the kernel answers truthfully to the file's owner, a caller who may write
//   it, and the privileged; to anyone else (since Linux 5.0) every page looks
//   cached;
// - for anyone else, and where cachestat refuses (EPERM, which later kernels
//   say to the same others), a one-byte read that refuses to wait (RWF_NOWAIT), which any
//   reader may make: it copies the byte where the page is cached and fails
//   where it isn't. The kernel then reads that one page into the cache
//   (readahead is off while probing), so the pages the probes brought in are
//   dropped again afterwards, lest the next run take the chunk for cached.
// Runs of chunks alike are read with one request each.
//
// What a plain read promises still holds:
// - the bytes are what the file holds now: the kernel writes back data written
//   but not yet on the disk before it reads the range directly;
// - a file system that refuses direct reads (EINVAL when O_DIRECT is set, as
//   some FUSE and network file systems do), or a file that can't be sampled,
//   is read through the cache, and so is the rest of a run whose direct read
//   fails on alignment: a readable file is never a read error;
// - a file system whose cache is not the page cache (ZFS) is read through its
//   own cache: what mincore sees says nothing of it;
// - a file that shrank after it was measured comes up short; one that grew is
//   counted up to the measured length only (a direct read may bring up to a
//   block more, into the buffer's slack).
#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstddef>

#include "input_file.hpp"
#include "posix_reads.hpp"

namespace jamcrc {

namespace {

constexpr std::size_t CHUNK = std::size_t{2} << 20;
constexpr std::size_t MAX_CHUNKS = (MAX_FILE_LENGTH + CHUNK - 1) / CHUNK;
static_assert(CHUNK % DIRECT_READ_ALIGNMENT == 0, "runs start on block boundaries");
static_assert(DIRECT_READ_FROM >= CHUNK);

// The file is mapped for sampling a window at a time, so that a 32-bit
// process, whose address space the buffer already fills, can still ask.
constexpr std::size_t SAMPLE_WINDOW = std::size_t{64} << 20;
static_assert(SAMPLE_WINDOW % CHUNK == 0);

using chunk_map = std::array<bool, MAX_CHUNKS>;

constexpr std::size_t round_up(std::size_t n, std::size_t to) { return (n + to - 1) / to * to; }

// The most one read moves on Linux (MAX_RW_COUNT), whole blocks of it: a
// larger request would read as a negative count in a 32-bit program.
constexpr std::size_t MOST_PER_REQUEST = 0x7FFFF000;
static_assert(MOST_PER_REQUEST % DIRECT_READ_ALIGNMENT == 0);

// The kernel's numbers, for C libraries whose headers don't name them yet.
#ifndef RWF_NOWAIT
#define RWF_NOWAIT 0x00000008
#endif
#if defined(SYS_cachestat)
constexpr long CACHESTAT = SYS_cachestat;
#elif (defined(__x86_64__) && !defined(__ILP32__)) || defined(__i386__) || defined(__aarch64__) || \
    defined(__arm__) || defined(__s390x__) || defined(__powerpc__) || defined(__riscv) || defined(__loongarch__)
constexpr long CACHESTAT = 451;  // Linux 6.5; the same number on each of these
#else
constexpr long CACHESTAT = -1;   // not asked here
#endif

// ZFS keeps file data in a cache of its own (the ARC), which mincore doesn't
// see, and since OpenZFS 2.3 a direct read bypasses it: a file ZFS holds
// would look cold and be read from the disk. Its files are read through it.
constexpr unsigned long ZFS_SUPER_MAGIC = 0x2fc12fc1;

bool page_cache_is_the_cache(int fd) {
    struct statfs fs;
    return ::fstatfs(fd, &fs) != 0 || static_cast<unsigned long>(fs.f_type) != ZFS_SUPER_MAGIC;
}

// How this caller can learn which pages the cache holds.
enum class sampler { cachestat, mincore, probes };

struct cachestat_range {
    std::uint64_t offset, length;
};
struct cachestat_counts {
    std::uint64_t cache, dirty, writeback, evicted, recently_evicted;
};

// The page cache's pages of bytes [at, at + length), or -1 when it can't be
// asked; errno says why.
long cached_pages(int fd, std::uint64_t at, std::uint64_t length) {
    if (CACHESTAT < 0) {
        errno = ENOSYS;
        return -1;
    }
    cachestat_range range{at, length};
    cachestat_counts counts{};
    if (::syscall(CACHESTAT, static_cast<long>(fd), &range, &counts, 0L) != 0) {
        return -1;
    }
    return static_cast<long>(counts.cache);
}

sampler choose_sampler(int fd) {
    if (cached_pages(fd, 0, 1) >= 0) {
        return sampler::cachestat;
    }
    if (errno == EPERM) {
        return sampler::probes;
    }
    // No cachestat (before Linux 6.5, or an emulator): the owner and root
    // take mincore at its word, anyone else probes.
    struct stat st;
    const bool trusted = ::fstat(fd, &st) == 0 && (::geteuid() == 0 || st.st_uid == ::geteuid());
    return trusted ? sampler::mincore : sampler::probes;
}

bool sample_with_cachestat(int fd, std::uint32_t length, chunk_map& cached) {
    for (std::size_t at = 0; at < length; at += CHUNK) {
        const long pages = cached_pages(fd, at, 1);
        if (pages < 0) {
            return false;
        }
        cached[at / CHUNK] = pages > 0;
    }
    return true;
}

// Whether the page cache holds the first page of each chunk of the first
// `length` bytes, by mincore; false when it can't be asked.
bool sample_with_mincore(int fd, std::uint32_t length, chunk_map& cached) {
    for (std::size_t window = 0; window < length; window += SAMPLE_WINDOW) {
        const std::size_t size = std::min<std::size_t>(SAMPLE_WINDOW, length - window);
        void* map = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, static_cast<off_t>(window));
        if (map == MAP_FAILED) {
            return false;
        }
        bool asked = true;
        for (std::size_t at = 0; at < size && asked; at += CHUNK) {
            unsigned char page = 0;
            asked = ::mincore(static_cast<char*>(map) + at, 1, &page) == 0;
            cached[(window + at) / CHUNK] = (page & 1u) != 0;
        }
        ::munmap(map, size);
        if (!asked) {
            return false;
        }
    }
    return true;
}

// The byte at `at` if the page cache holds it, without waiting for the disk:
// 1, or -1 with EAGAIN where it doesn't. Through the system call itself, as
// not every C library wraps it (musl doesn't); the offset goes in two halves
// of a long each, low first, as the kernel puts them back together.
long read_if_cached(int fd, std::size_t at) {
#if defined(SYS_preadv2) && !(defined(__x86_64__) && defined(__ILP32__))
    unsigned char byte;
    iovec one{&byte, 1};
    const auto offset = static_cast<std::uint64_t>(at);
    constexpr unsigned HALF = sizeof(long) * 4;
    return ::syscall(SYS_preadv2, static_cast<long>(fd), &one, 1L, static_cast<unsigned long>(offset),
                     static_cast<unsigned long>((offset >> HALF) >> HALF), static_cast<long>(RWF_NOWAIT));
#else
    (void)fd;
    (void)at;
    errno = ENOSYS;
    return -1;
#endif
}

// Whether the page cache holds the byte at `at`: 1, 0, or -1 when it can't
// be asked. Asking a cold page sets off its read, and on a quick disk that
// read now and then ends before the answer: a cold page can look cached.
int probe(int fd, std::size_t at) {
    const long got = read_if_cached(fd, at);
    return got == 1 ? 1 : got < 0 && errno == EAGAIN ? 0 : -1;
}

// A second page of each chunk, asked where the first looked cached: a chunk
// the cache really holds has both, and a cold one rarely fools both probes.
constexpr std::size_t CONFIRM_AT = CHUNK / 2;

// The same, by a non-waiting read of each chunk's first byte (and, where
// that looks cached, its middle one: `asked_twice`); false when the system
// or the file system has no such reads. Readahead is off meanwhile, so that a
// probe of a cold chunk brings in its one page and no more.
bool sample_with_probes(int fd, std::uint32_t length, chunk_map& cached, chunk_map& asked_twice) {
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
    bool asked = true;
    for (std::size_t at = 0; at < length && asked; at += CHUNK) {
        int answer = probe(fd, at);
        if (answer == 1 && at + CONFIRM_AT < length) {
            asked_twice[at / CHUNK] = true;
            answer = probe(fd, at + CONFIRM_AT);
        }
        cached[at / CHUNK] = answer == 1;
        asked = answer >= 0;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_NORMAL);
    return asked;
}

// Drops the pages the probes of cold chunks brought into the cache, and no
// others.
void forget_probes(int fd, const chunk_map& cached, const chunk_map& asked_twice, std::uint32_t length) {
    const long page = ::sysconf(_SC_PAGESIZE);
    for (std::size_t at = 0; at < length; at += CHUNK) {
        if (!cached[at / CHUNK]) {
            ::posix_fadvise(fd, static_cast<off_t>(at), page, POSIX_FADV_DONTNEED);
            if (asked_twice[at / CHUNK]) {
                ::posix_fadvise(fd, static_cast<off_t>(at + CONFIRM_AT), page, POSIX_FADV_DONTNEED);
            }
        }
    }
}

// O_DIRECT on or off on the open file; false when the file system refuses.
bool set_direct(int fd, bool on) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, on ? flags | O_DIRECT : flags & ~O_DIRECT) == 0;
}

// The file from `from` (on a block boundary) to `to`, read directly; up to a
// block past `to` may be written. `refused`: the direct read failed on
// alignment, and the rest came through the cache.
std::uint32_t read_directly(int fd, std::uint8_t* out, std::uint32_t from, std::uint32_t to, bool& refused) {
    const std::size_t wanted = to - from;
    const std::size_t request = round_up(wanted, DIRECT_READ_ALIGNMENT);
    std::size_t done = 0;
    while (done < wanted) {
        const ssize_t got = ::pread(fd, out + from + done, std::min(request - done, MOST_PER_REQUEST),
                                    static_cast<off_t>(from + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0 && errno == EINVAL) {
            refused = true;
            set_direct(fd, false);
            const auto rest = static_cast<std::uint32_t>(wanted - done);
            return static_cast<std::uint32_t>(done) + read_range(fd, out + from + done, static_cast<off_t>(from + done), rest);
        }
        if (got <= 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return static_cast<std::uint32_t>(std::min(done, wanted));
}

// The end of the run of chunks alike that starts at chunk `first`.
std::size_t run_end(const chunk_map& cached, std::size_t first, std::uint32_t length) {
    std::size_t last = first + 1;
    while (last * CHUNK < length && cached[last] == cached[first]) {
        ++last;
    }
    return std::min<std::size_t>(last * CHUNK, length);
}

// The longest run the page cache holds, whose pages a helper may prepare
// while it is copied (the buffer's side of that, see file_buffer.hpp).
void prepare_longest_cached_run(file_buffer& buffer, const chunk_map& cached, std::uint32_t length) {
    std::size_t best_from = 0, best_to = 0;
    for (std::size_t from = 0; from < length;) {
        const std::size_t to = run_end(cached, from / CHUNK, length);
        if (cached[from / CHUNK] && to - from > best_to - best_from) {
            best_from = from;
            best_to = to;
        }
        from = to;
    }
    buffer.prepare(best_from, best_to);
}

// The whole file through the cache, as for small files.
std::uint32_t read_through_cache(int fd, file_buffer& buffer, std::uint32_t length) {
    buffer.prepare(0, length);
    return read_range(fd, buffer.data(), 0, length);
}

}  // namespace

std::uint32_t read_cold_parts_directly(int fd, file_buffer& buffer, std::uint32_t length) {
    if (!page_cache_is_the_cache(fd)) {
        return read_through_cache(fd, buffer, length);
    }
    chunk_map cached{};
    chunk_map asked_twice{};
    const sampler how = choose_sampler(fd);
    const bool sampled = how == sampler::cachestat ? sample_with_cachestat(fd, length, cached)
                         : how == sampler::mincore ? sample_with_mincore(fd, length, cached)
                                                   : sample_with_probes(fd, length, cached, asked_twice);
    if (!sampled) {
        return read_through_cache(fd, buffer, length);
    }
    std::uint8_t* const out = buffer.data();
    // The sampling's mappings are gone before a helper starts: mapping waits
    // for a helper's work to end.
    prepare_longest_cached_run(buffer, cached, length);
    bool direct = false;   // O_DIRECT is set on the file now
    bool refused = false;  // direct reads failed: the cache serves the rest
    std::uint32_t done = 0;
    while (done < length) {
        const std::size_t first = done / CHUNK;
        const auto end = static_cast<std::uint32_t>(run_end(cached, first, length));
        const bool read_direct = !cached[first] && !refused;
        if (read_direct != direct) {
            if (set_direct(fd, read_direct)) {
                direct = read_direct;
            } else if (read_direct) {
                refused = true;  // this file system has no direct reads
            }
            // (O_DIRECT that can't be cleared again leaves the cached run
            // to be read directly too: slower, never wrong.)
        }
        const std::uint32_t got = direct ? read_directly(fd, out, done, end, refused)
                                         : read_range(fd, out + done, done, end - done);
        if (refused) {
            direct = false;
        }
        done += got;
        if (done < end) {
            break;  // the end of the file came early, or the disk failed
        }
    }
    if (how == sampler::probes) {
        forget_probes(fd, cached, asked_twice, length);
    }
    return done;
}

}  // namespace jamcrc
