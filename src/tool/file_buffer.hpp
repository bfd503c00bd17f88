// The whole-file buffer: exactly `length` usable bytes, allocated so that the
// first touch of a large one is cheap. Released explicitly (the tool lets go
// of it before it prints) or on destruction.
//
// Two implementations: file_buffer_huge_pages.cpp where the system offers the
// advice it needs (JAMCRC_BUFFER_HUGE_PAGES), file_buffer_heap.cpp elsewhere;
// the members each one keeps are declared under the condition that picks it.
#pragma once

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
