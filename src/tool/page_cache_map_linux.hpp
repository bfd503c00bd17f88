// Linux: which parts of a file the page cache holds, chunk by chunk, learned
// without reading the file into the cache. The reader (direct_reads_linux.cpp)
// copies what the cache holds, reads the rest directly from the disk, and
// reads no hole at all.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include <sys/types.h>

#include "input_file.hpp"

namespace jamcrc {

// The unit of the map: the size of a huge page, in which the buffer is
// mapped, and a whole number of direct-read blocks.
inline constexpr std::size_t CHUNK = std::size_t{2} << 20;
inline constexpr std::size_t MAX_CHUNKS = (MAX_FILE_LENGTH + CHUNK - 1) / CHUNK;
static_assert(CHUNK % DIRECT_READ_ALIGNMENT == 0, "chunks start on block boundaries");

// Bytes [at, at + count) into `out` if the page cache holds them, without
// waiting for the disk (preadv2 with RWF_NOWAIT). `got`: the count copied,
// fewer where a page is missing, or -1 with errno (EAGAIN where the first one
// is; ENOSYS and others where the system has no such reads; never EINTR). `from_disk`: this
// thread had the disk read meanwhile. The kernel starts reading what it finds
// missing, and where that ends before it looks again (a quick disk, a busy
// processor) the bytes come back as if they had been cached: only the
// thread's count of blocks read in (getrusage) tells. It stays false, as if
// nothing told, where the kernel keeps no such count, a filter refuses
// getrusage, or the file system reads without the block layer (network and
// FUSE file systems); it is true for any disk read of the thread meanwhile
// (a page of the program swapped back in, say), which only costs a direct
// read of bytes that were cached.
struct nowait_read {
    ssize_t got;
    bool from_disk;
};
nowait_read read_without_waiting(int fd, std::uint8_t* out, std::size_t at, std::size_t count);

// Drops from the page cache the pages of bytes [from, to), which a question
// or a read that refused to wait had the kernel read in, once those reads
// have ended: the kernel keeps a page it is still reading, so each page is
// read first (a byte, waiting for it). Readahead must be off
// (POSIX_FADV_RANDOM), lest that read bring in more, and O_DIRECT too.
void drop_pages_read_in(int fd, std::size_t from, std::size_t to);

enum class chunk_state : std::uint8_t {
    hole,    // no data at all (a hole, or an extent allocated but never
             // written): reads as zeros, so it needs no read
    cold,    // the cache lacks some of it: read directly
    cached,  // the cache held it when asked: copied from the cache
};

class page_cache_map {
public:
    // Maps the first `length` bytes of the file open as `fd`; its holes where
    // `holes_known`, that is where the file system's SEEK_DATA and SEEK_HOLE
    // count data still only in the cache (not every network or FUSE file
    // system's does). Every way of
    // asking that tells this caller the truth is tried in turn, each refused
    // one (a kernel without it, a filter that forbids it) passing on to the
    // next: cachestat(), then mincore() where it tells this caller the truth,
    // then one-byte reads that refuse to wait. None answered: every chunk with
    // data is then marked cached, to be read through the cache.
    enum class answers {
        exact,  // by counting the pages: cached chunks are wholly cached
        hints,  // by one-byte reads: a cached chunk may turn out not to be
        none,
    };
    answers ask(int fd, std::uint32_t length, bool holes_known);

    chunk_state operator[](std::size_t chunk) const { return state_[chunk]; }

    // Asking by one-byte reads brings the pages asked about into the cache.
    // Drops again those of chunks that turned out not to be cached: those the
    // map calls cold, and those `found_cold` says the reader found so. As
    // drop_pages_read_in: readahead and O_DIRECT off.
    void forget_pages_asked(int fd, const std::array<bool, MAX_CHUNKS>& found_cold) const;

private:
    std::uint32_t length_ = 0;
    std::array<chunk_state, MAX_CHUNKS> state_{};
    // Where the one-byte reads asked in each chunk (first and second
    // question); NONE where they didn't.
    static constexpr std::uint32_t NONE = UINT32_MAX;
    std::array<std::uint32_t, MAX_CHUNKS> first_probe_{};
    std::array<std::uint32_t, MAX_CHUNKS> second_probe_{};
};

}  // namespace jamcrc
