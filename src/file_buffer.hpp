// The whole-file buffer: exactly `length` usable bytes, allocated so that the
// first touch of a large one is cheap. Released explicitly (the tool lets go
// of it before it prints) or on destruction.
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

    explicit operator bool() const { return valid_; }
    std::uint8_t* data() const { return data_; }

    void release();

private:
    file_buffer(std::uint8_t* data, std::size_t mapped, bool valid)
        : data_(data), mapped_(mapped), valid_(valid) {}

    std::uint8_t* data_;
    std::size_t mapped_;  // bytes of a page mapping, 0 for the heap
    bool valid_;
    void* prefault_ = nullptr;  // a helper preparing the pages ahead of the read, if any
};

}  // namespace jamcrc
