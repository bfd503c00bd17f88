// Linux: a large file read without filling the page cache with what it lacks.
// A buffered read of a cold file has the kernel fill a page cache as large as
// the file and then copy it into the buffer: twice the fresh memory, and fresh
// memory is what costs most on a virtual machine. The parts the cache lacks
// are read with O_DIRECT instead, straight into the buffer; the parts it holds
// are copied from it as before (reading them from the disk again would be
// slower).
//
// Which parts the cache holds is sampled, one page per 2 MiB chunk, by
// mincore() on a read-only mapping of the file: that reads nothing, and the
// sampling of a 1 GiB file takes a fraction of a millisecond. Runs of chunks
// alike are read with one request each.
//
// What a plain read promises still holds:
// - the bytes are what the file holds now: the kernel writes back data written
//   but not yet on the disk before it reads the range directly;
// - a file system that refuses direct reads (EINVAL when O_DIRECT is set, as
//   some FUSE and network file systems do), or a file that can't be mapped,
//   is read through the cache, and so is the rest of a run whose direct read
//   fails on alignment: a readable file is never a read error;
// - a file that shrank after it was measured comes up short; one that grew is
//   counted up to the measured length only (a direct read may bring up to a
//   block more, into the buffer's slack).
#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
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

// Whether the page cache holds the first page of each chunk of the first
// `length` bytes; false when it can't be asked.
bool sample_cache(int fd, std::uint32_t length, chunk_map& cached) {
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

}  // namespace

std::uint32_t read_cold_parts_directly(int fd, file_buffer& buffer, std::uint32_t length) {
    std::uint8_t* const out = buffer.data();
    chunk_map cached{};
    if (!sample_cache(fd, length, cached)) {
        buffer.prepare(0, length);
        return read_range(fd, out, 0, length);
    }
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
    return done;
}

}  // namespace jamcrc
