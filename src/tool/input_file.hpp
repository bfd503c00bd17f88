// The file being checked, as the operating system presents it: open without
// ever blocking, measure by seeking, read whole with one request, close.
// One implementation per platform family lives in input_file_<os>.cpp; the
// members each one keeps are declared under the condition that picks it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "file_buffer.hpp"
#include "native_path.hpp"

namespace jamcrc {

// The largest file the tool loads, 2^31 - 1 bytes: its own limit, not the
// register's (crc32_buffer takes any 32-bit length). The tool was designed
// around a signed 32-bit file length, the most a 32-bit program's one buffer
// could hope to hold; longer files are refused, never checksummed in part.
inline constexpr std::uint64_t MAX_FILE_LENGTH = 0x7FFFFFFFu;

// The block a direct read moves: its file offsets, lengths and memory
// addresses are multiples of this. 4 KiB suits every disk of 512-byte or
// 4 KiB sectors; a file system that wants more refuses, and is read buffered.
inline constexpr std::size_t DIRECT_READ_ALIGNMENT = 4096;

class input_file {
public:
    // Opens `path` for binary reading. Not open (see is_open) when the path
    // can't be opened or names a directory.
    static input_file open(const path_char* path);

    input_file(input_file&& other) noexcept;
    input_file& operator=(input_file&&) = delete;
    input_file(const input_file&) = delete;
    input_file& operator=(const input_file&) = delete;
    ~input_file() { close(); }

    bool is_open() const;

    // The length found by seeking to the end, with the read position put back
    // at the start. Nothing when the file is not a regular file that can be
    // sought (a pipe, a device, most of /proc), or when it is longer than
    // MAX_FILE_LENGTH.
    std::optional<std::uint32_t> measure_length();

    // One read request for `length` bytes into `buffer`; the count that
    // arrived, fewer only at the end of the file or on an error.
    //
    // On Linux the parts of a large file that the page cache doesn't hold
    // may go straight from the disk into the buffer (O_DIRECT), in whole
    // DIRECT_READ_ALIGNMENT blocks. That is done only where the buffer
    // starts on such a boundary and its capacity reaches `length` rounded up
    // to one; bytes past `length` may then be overwritten, and are not
    // counted. Elsewhere, and for any other buffer, the page cache serves.
    std::uint32_t read(file_buffer& buffer, std::uint32_t length);

    void close();

private:
#ifdef _WIN32
    explicit input_file(void* handle) : handle_(handle) {}
    void* handle_;  // a HANDLE, or null
#else
    explicit input_file(int fd) : fd_(fd) {}
    int fd_;  // -1 when closed
#endif
};

}  // namespace jamcrc
