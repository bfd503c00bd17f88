// The whole-file buffer: `length` usable bytes, allocated so that the first
// touch of a large one is cheap. Released explicitly (the tool lets go of it
// before it prints) or on destruction.
//
// What it promises the reader (input_file::read): capacity() bytes may be
// written from data(), never fewer than the length. A large buffer on Linux
// (2 MiB or more) starts on a 2 MiB boundary and its capacity is its length
// rounded up to 2 MiB, which is what a direct read needs (whole blocks into
// aligned memory, see input_file.hpp), unless that would pass the largest
// object a program may have (in a 32-bit program, a length within 4 MiB of
// 2 GiB); other buffers promise nothing beyond the length, and are read
// through the page cache.
//
// Two implementations: file_buffer_huge_pages.cpp where the system offers the
// advice it needs (JAMCRC_BUFFER_HUGE_PAGES), file_buffer_heap.cpp elsewhere;
// the members each one keeps are declared under the condition that picks it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace jamcrc {

class file_buffer {
public:
    // Not valid (see operator bool) when the memory can't be had. A length of
    // 0 needs no memory and is always valid.
    static file_buffer allocate(std::uint32_t length);

    file_buffer(file_buffer&& other) noexcept;
    file_buffer& operator=(file_buffer&&) = delete;
    file_buffer(const file_buffer&) = delete;
    file_buffer& operator=(const file_buffer&) = delete;
    ~file_buffer() { release(); }

    explicit operator bool() const { return data_ != nullptr || length_ == 0; }
    std::uint8_t* data() const { return data_; }
    std::size_t capacity() const;

    // Bytes [from, to) are about to be copied into: have their pages made
    // ready meanwhile where that pays (a large range of a mapped buffer, by a
    // helper thread, at most one per buffer; release waits for it).
    void prepare(std::size_t from, std::size_t to);

    void release();

private:
    file_buffer(std::uint8_t* data, std::uint32_t length) : data_(data), length_(length) {}

    std::uint8_t* data_;  // null when there is no memory (or no need of any)
    std::uint32_t length_;
#if JAMCRC_BUFFER_HUGE_PAGES
    void* helper_ = nullptr;  // a thread preparing the pages ahead of the read, if any
#endif
};

}  // namespace jamcrc
