// Linux: a large file read without filling the page cache with what it lacks.
// A buffered read of a cold file has the kernel fill a page cache as large as
// the file and then copy it into the buffer: twice the fresh memory, and fresh
// memory is what costs most on a virtual machine. So the page cache is asked
// first which parts it holds (page_cache_map_linux.hpp), and then
// - holes are not read at all: the fresh buffer is all zeros already;
// - the parts it lacks are read with O_DIRECT, straight into the buffer;
// - the parts it holds are copied from it. Where the cache's answers were
//   only hints (one-byte questions, which another run's questions may have
//   answered), they are copied by reads that refuse to wait for the disk
//   (RWF_NOWAIT), a piece at a time: where the cache turns out not to hold a
//   piece after all, the rest of its chunk is read directly. So a run leaves
//   in the cache only what it found there, whoever runs it and however many
//   run at once.
// Runs of chunks alike are read with one request each.
//
// What a plain read promises still holds:
// - the bytes are what the file holds now: the kernel writes back data written
//   but not yet on the disk before it reads the range directly;
// - a file system that refuses direct reads (EINVAL when O_DIRECT is set, as
//   some FUSE and network file systems do), or a file about which no way of
//   asking answers, is read through the cache, and so is the rest of a run
//   whose direct read fails on alignment: a readable file is never a read
//   error;
// - a file system whose cache is not the page cache (ZFS) is read through its
//   own cache: what the page cache holds says nothing of it;
// - a file that shrank after it was measured comes up short, holes or not
//   (its length is looked at again once it has been read); one that grew is
//   counted up to the measured length only (a direct read may bring up to a
//   block more, into the buffer's slack).
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstddef>

#include "input_file.hpp"
#include "page_cache_map_linux.hpp"
#include "posix_reads.hpp"

namespace jamcrc {

namespace {

static_assert(DIRECT_READ_FROM >= CHUNK);

constexpr std::size_t round_up(std::size_t n, std::size_t to) { return (n + to - 1) / to * to; }

// The most one read moves on Linux (MAX_RW_COUNT), whole blocks of it: a
// larger request would read as a negative count in a 32-bit program.
constexpr std::size_t MOST_PER_REQUEST = 0x7FFFF000;
static_assert(MOST_PER_REQUEST % DIRECT_READ_ALIGNMENT == 0);

// What a read that refuses to wait asks for at once. Where it finds a page
// missing, the kernel reads in the rest of the request (readahead is off
// meanwhile, so no more than that): a small piece wastes little there, a
// large one takes fewer calls.
constexpr std::size_t CACHED_PIECE = std::size_t{256} << 10;
static_assert(CHUNK % CACHED_PIECE == 0 && CACHED_PIECE % DIRECT_READ_ALIGNMENT == 0);

// File systems by the type fstatfs gives (0 where it can't).
unsigned long file_system_type(int fd) {
    struct statfs fs;
    return ::fstatfs(fd, &fs) == 0 ? static_cast<unsigned long>(fs.f_type) : 0;
}

// ZFS keeps file data in a cache of its own (the ARC), which the page cache
// questions don't see, and since OpenZFS 2.3 a direct read bypasses it: a file
// ZFS holds would look cold and be read from the disk. Its files are read
// through it.
constexpr unsigned long ZFS_SUPER_MAGIC = 0x2fc12fc1;

// Where SEEK_DATA and SEEK_HOLE count as data what is written but still only
// in the page cache, so that a hole they report reads as zeros: ext2/3/4,
// XFS, Btrfs and tmpfs. Elsewhere (FUSE, which asks its server, say) every
// part of the file is taken for data.
bool holes_are_known(unsigned long type) {
    constexpr unsigned long EXT4_SUPER_MAGIC = 0xEF53, XFS_SUPER_MAGIC = 0x58465342,
                            BTRFS_SUPER_MAGIC = 0x9123683E, TMPFS_MAGIC = 0x01021994;
    return type == EXT4_SUPER_MAGIC || type == XFS_SUPER_MAGIC || type == BTRFS_SUPER_MAGIC || type == TMPFS_MAGIC;
}

// The next hole at or after `at` (the end of the data there), or `limit`.
// (Compared as offsets: a file grown past 4 GiB meanwhile must not wrap in a
// 32-bit program.)
std::size_t data_end(int fd, std::size_t at, std::size_t limit) {
    const off_t hole = ::lseek(fd, static_cast<off_t>(at), SEEK_HOLE);
    return hole < 0 ? limit : static_cast<std::size_t>(std::min(hole, static_cast<off_t>(limit)));
}

// The next data at or after `at`: `limit` where there is none, `at` itself
// where the file system can't tell.
std::size_t next_data(int fd, std::size_t at, std::size_t limit) {
    const off_t data = ::lseek(fd, static_cast<off_t>(at), SEEK_DATA);
    if (data < 0) {
        return errno == ENXIO ? limit : at;
    }
    return static_cast<std::size_t>(std::min(data, static_cast<off_t>(limit)));
}

// The reads of one file into the buffer, with O_DIRECT set on the file
// only while it reads directly.
class file_reader {
public:
    file_reader(int fd, std::uint8_t* out) : fd_(fd), out_(out) {}

    // Bytes [from, to) read straight from the disk, `from` on a block
    // boundary; up to a block past `to` may be written. After a refusal on
    // alignment (refused()), the rest comes through the cache.
    std::uint32_t directly(std::uint32_t from, std::uint32_t to) {
        if (refused_ || !set_direct(true)) {
            refused_ = true;  // this file system has no direct reads
            return through_cache(from, to);
        }
        const std::size_t wanted = to - from;
        const std::size_t request = round_up(wanted, DIRECT_READ_ALIGNMENT);
        std::size_t done = 0;
        while (done < wanted) {
            const ssize_t got = ::pread(fd_, out_ + from + done, std::min(request - done, MOST_PER_REQUEST),
                                        static_cast<off_t>(from + done));
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0 && errno == EINVAL) {
                refused_ = true;
                return static_cast<std::uint32_t>(done) + through_cache(static_cast<std::uint32_t>(from + done), to);
            }
            if (got <= 0) {
                break;
            }
            done += static_cast<std::size_t>(got);
        }
        return static_cast<std::uint32_t>(std::min(done, wanted));
    }

    // Bytes [from, to) through the page cache.
    std::uint32_t through_cache(std::uint32_t from, std::uint32_t to) {
        set_direct(false);  // (O_DIRECT that can't be cleared again only reads slower)
        return read_range(fd_, out_ + from, static_cast<off_t>(from), to - from);
    }

    // Bytes [from, to), `from` on a block boundary, copied from the page
    // cache where it holds them; holes are left as they are. Where a piece
    // turns out not to be cached, the rest of its chunk is read directly and
    // the piece is noted in `missed` (its chunk's first miss), as the kernel
    // reads it into the cache meanwhile.
    std::uint32_t copied_else_directly(std::uint32_t from, std::uint32_t to, std::array<std::uint32_t, MAX_CHUNKS>& missed) {
        set_direct(false);
        std::size_t at = from;
        std::size_t data_to = data_end(fd_, at, to);
        while (at < to) {
            if (at >= data_to) {  // a hole: zeros already
                at = next_data(fd_, at, to);
                data_to = at < to ? data_end(fd_, at, to) : to;
                if (data_to <= at) {
                    data_to = to;  // no answer: data from here on
                }
                continue;
            }
            const std::size_t piece = std::min(data_to, round_up(at + 1, CACHED_PIECE)) - at;
            const nowait_read r = read_without_waiting(fd_, out_ + at, at, piece);
            if (r.got == 0) {
                break;  // the end of the file came early
            }
            if (r.got < 0 && errno != EAGAIN) {
                // No reads that refuse to wait here (a kernel before 4.14, a
                // filter that forbids them): the cache serves the rest.
                return static_cast<std::uint32_t>(at - from) + through_cache(static_cast<std::uint32_t>(at), to);
            }
            // Where the pages the kernel read in for this piece may start:
            // anywhere in it if the bytes came back although the disk was
            // read, else where the copy stopped.
            const std::size_t brought_in_from = at;
            if (r.got > 0) {
                at += static_cast<std::size_t>(r.got);
                if (static_cast<std::size_t>(r.got) == piece && !r.from_disk) {
                    continue;
                }
            }
            // The cache lacked a page: the kernel reads in the rest of the
            // piece, or has read it already where the disk was that quick
            // (either way dropped again afterwards), and the rest of the
            // chunk is read directly. (Data after a hole may start off a
            // block boundary; the block's first bytes are read again.)
            const std::size_t chunk = brought_in_from / CHUNK;
            if (missed[chunk] == NOT_MISSED) {
                missed[chunk] = static_cast<std::uint32_t>(r.from_disk ? brought_in_from : at);
            }
            const auto block = static_cast<std::uint32_t>(at / DIRECT_READ_ALIGNMENT * DIRECT_READ_ALIGNMENT);
            const auto chunk_end = static_cast<std::uint32_t>(std::min<std::size_t>((chunk + 1) * CHUNK, to));
            at = block + directly(block, chunk_end);
            if (at < chunk_end) {
                break;
            }
            set_direct(false);
        }
        return static_cast<std::uint32_t>(std::min<std::size_t>(at, to) - from);
    }

    static constexpr std::uint32_t NOT_MISSED = UINT32_MAX;

    // O_DIRECT off, whatever was read last.
    void through_cache_from_now() { set_direct(false); }

private:
    // O_DIRECT on or off on the open file; false when the file system refuses.
    bool set_direct(bool on) {
        if (on == direct_) {
            return true;
        }
        const int flags = ::fcntl(fd_, F_GETFL);
        if (flags < 0 || ::fcntl(fd_, F_SETFL, on ? flags | O_DIRECT : flags & ~O_DIRECT) != 0) {
            return false;
        }
        direct_ = on;
        return true;
    }

    int fd_;
    std::uint8_t* out_;
    bool direct_ = false;   // O_DIRECT is set on the file now
    bool refused_ = false;  // direct reads failed: the cache serves the rest
};

// The end of the run of chunks alike that starts at chunk `first`.
std::size_t run_end(const page_cache_map& map, std::size_t first, std::uint32_t length) {
    std::size_t last = first + 1;
    while (last * CHUNK < length && map[last] == map[first]) {
        ++last;
    }
    return std::min<std::size_t>(last * CHUNK, length);
}

// The longest run the page cache holds, whose pages a helper may prepare
// while it is copied (the buffer's side of that, see file_buffer.hpp).
void prepare_longest_cached_run(file_buffer& buffer, const page_cache_map& map, std::uint32_t length) {
    std::size_t best_from = 0, best_to = 0;
    for (std::size_t from = 0; from < length;) {
        const std::size_t to = run_end(map, from / CHUNK, length);
        if (map[from / CHUNK] == chunk_state::cached && to - from > best_to - best_from) {
            best_from = from;
            best_to = to;
        }
        from = to;
    }
    buffer.prepare(best_from, best_to);
}

// The pages the kernel read in where a read that refuses to wait found a
// piece missing: dropped again.
void forget_pieces_missed(int fd, const std::array<std::uint32_t, MAX_CHUNKS>& missed, std::uint32_t length,
                          std::array<bool, MAX_CHUNKS>& found_cold) {
    for (std::size_t c = 0; c * CHUNK < length; ++c) {
        found_cold[c] = missed[c] != file_reader::NOT_MISSED;
        if (found_cold[c]) {
            const std::size_t end = std::min<std::size_t>(round_up(std::size_t{missed[c]} + 1, CACHED_PIECE), length);
            drop_pages_read_in(fd, missed[c], end);
        }
    }
}

}  // namespace

std::uint32_t read_cold_parts_directly(int fd, file_buffer& buffer, std::uint32_t length) {
    file_reader reader(fd, buffer.data());
    const unsigned long type = file_system_type(fd);
    if (type == ZFS_SUPER_MAGIC) {
        buffer.prepare(0, length);
        return reader.through_cache(0, length);
    }
    page_cache_map map;
    const page_cache_map::answers answers = map.ask(fd, length, holes_are_known(type));
    const bool hints = answers == page_cache_map::answers::hints;
    // The questions' mappings are gone before a helper starts: mapping waits
    // for a helper's work to end.
    prepare_longest_cached_run(buffer, map, length);
    std::array<std::uint32_t, MAX_CHUNKS> missed;
    missed.fill(file_reader::NOT_MISSED);
    if (hints) {
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);  // a piece found missing brings in itself, no more
    }
    std::uint32_t done = 0;
    while (done < length) {
        const std::size_t first = done / CHUNK;
        const auto end = static_cast<std::uint32_t>(run_end(map, first, length));
        std::uint32_t got = end - done;
        switch (map[first]) {
            case chunk_state::hole:
                break;
            case chunk_state::cold:
                got = reader.directly(done, end);
                break;
            case chunk_state::cached:
                got = hints ? reader.copied_else_directly(done, end, missed) : reader.through_cache(done, end);
                break;
        }
        done += got;
        if (done < end) {
            break;  // the end of the file came early, or the disk failed
        }
    }
    // What the questions and the misses brought into the cache goes again,
    // read through the cache and with readahead off while it is waited for.
    reader.through_cache_from_now();
    if (hints) {
        std::array<bool, MAX_CHUNKS> found_cold{};
        forget_pieces_missed(fd, missed, length, found_cold);
        map.forget_pages_asked(fd, found_cold);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_NORMAL);
    }
    // A hole passed by is no proof that the file still reaches past it: one
    // cut short meanwhile must come up short, as a read would.
    struct stat st;
    if (done == length && (::fstat(fd, &st) != 0 || st.st_size < static_cast<off_t>(length))) {
        return 0;
    }
    return done;
}

}  // namespace jamcrc
