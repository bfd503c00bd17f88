// POSIX file access. The file is opened non-blocking so that a FIFO without a
// writer, or a terminal, can never stall the tool; such files are refused when
// measured, before anything is read from them.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "input_file.hpp"
#include "posix_reads.hpp"

namespace jamcrc {

// The build asks for 64-bit offsets everywhere: with 32-bit ones a file of
// 2 GiB or more would not even open, and would be reported as missing.
static_assert(sizeof(off_t) >= 8, "64-bit file offsets are needed (_FILE_OFFSET_BITS=64)");

namespace {

constexpr int OPEN_FLAGS = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// How long the kernel gives a lease holder to let go before it takes the
// lease away (Linux's fs.lease-break-time, 45 s unless set otherwise).
long lease_break_seconds() {
    long seconds = 45;
    const int fd = ::open("/proc/sys/fs/lease-break-time", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        char text[24] = {};
        if (::read(fd, text, sizeof text - 1) > 0) {
            seconds = std::strtol(text, nullptr, 10);
        }
        ::close(fd);
    }
    return std::clamp(seconds, 0L, 3600L);
}

double now_seconds() {
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// A regular file under another process's write lease (Samba's oplocks, an
// NFS server's delegations) won't open at once without waiting: the open
// fails with EWOULDBLOCK and asks the holder to let go. A reader that waits
// is held until the holder lets go or the kernel takes the lease away; this
// one asks again now and then for as long, without ever waiting in the open
// itself, and only for a regular file: FIFOs, terminals and devices are never
// waited on.
int open_when_lease_is_broken(const char* path) {
    struct stat st;
    if (::stat(path, &st) != 0 || !S_ISREG(st.st_mode)) {
        return -1;
    }
    const double give_up = now_seconds() + static_cast<double>(lease_break_seconds()) + 1.0;
    long pause_ns = 1'000'000;
    for (;;) {
        const timespec pause{0, pause_ns};
        ::nanosleep(&pause, nullptr);
        const int fd = ::open(path, OPEN_FLAGS);
        if (fd >= 0 || errno != EWOULDBLOCK || now_seconds() > give_up) {
            return fd;
        }
        pause_ns = std::min(pause_ns * 2, 20'000'000L);
    }
}

}  // namespace

input_file input_file::open(const char* path) {
    int fd = ::open(path, OPEN_FLAGS);
    if (fd < 0 && errno == EWOULDBLOCK) {
        fd = open_when_lease_is_broken(path);
    }
    struct stat st;
    if (fd >= 0 && (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode))) {
        ::close(fd);  // a directory opens for reading here, but holds no bytes to check
        fd = -1;
    }
    return input_file(fd);
}

input_file::input_file(input_file&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

bool input_file::is_open() const { return fd_ >= 0; }

std::optional<std::uint32_t> input_file::measure_length() {
    struct stat st;
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    // The seek itself is the measure, not st_size: files under /proc report a
    // size of 0 and refuse to seek to their end.
    const off_t start = ::lseek(fd_, 0, SEEK_CUR);
    const off_t end = ::lseek(fd_, 0, SEEK_END);
    if (start < 0 || end < 0 || static_cast<std::uint64_t>(end) > MAX_FILE_LENGTH) {
        return std::nullopt;
    }
    if (end != start && ::lseek(fd_, start, SEEK_SET) != start) {
        return std::nullopt;
    }
    // Nothing to seek past need not mean nothing to read: pseudo-files
    // (/proc/sys, /proc/self/cmdline, cgroup v1 files) end at 0 and still
    // hold bytes. Only a file that yields none is empty. Asked before the
    // file reads with blocking semantics: some of them (/proc/kmsg) would
    // wait for a byte to come.
    unsigned char first = 0;
    if (end == 0 && ::pread(fd_, &first, 1, 0) != 0) {
        return std::nullopt;
    }
    // A regular file can't block; read it with ordinary blocking semantics.
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags < 0 || ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(end);
}

std::uint32_t read_range(int fd, std::uint8_t* out, off_t from, std::uint32_t count) {
    // The kernel hands out at most about 2 GiB per call and may be
    // interrupted, so keep asking until the end.
    std::uint32_t done = 0;
    while (done < count) {
        const ssize_t got = ::pread(fd, out + done, count - done, from + done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        done += static_cast<std::uint32_t>(got);
    }
    return done;
}

std::uint32_t input_file::read(file_buffer& buffer, std::uint32_t length) {
    // One request from the caller's side, from the start (where measuring
    // left the position).
#if JAMCRC_DIRECT_READS
    const auto address = reinterpret_cast<std::uintptr_t>(buffer.data());
    const std::size_t whole_blocks = (std::size_t{length} + DIRECT_READ_ALIGNMENT - 1) / DIRECT_READ_ALIGNMENT;
    if (length >= DIRECT_READ_FROM && address % DIRECT_READ_ALIGNMENT == 0 &&
        buffer.capacity() >= whole_blocks * DIRECT_READ_ALIGNMENT) {
        return read_cold_parts_directly(fd_, buffer, length);
    }
#endif
    buffer.prepare(0, length);
    return read_range(fd_, buffer.data(), 0, length);
}

void input_file::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace jamcrc
