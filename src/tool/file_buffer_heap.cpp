// The whole-file buffer from the C heap, where the system lacks the advice
// that file_buffer_huge_pages.cpp relies on (Windows, macOS, the BSDs).
#include <cstdlib>

#include "file_buffer.hpp"

namespace jamcrc {

file_buffer file_buffer::allocate(std::uint32_t length) {
    return {length == 0 ? nullptr : static_cast<std::uint8_t*>(std::malloc(length)), length};
}

std::size_t file_buffer::capacity() const { return length_; }

void file_buffer::prepare(std::size_t, std::size_t) {}

file_buffer::file_buffer(file_buffer&& other) noexcept : data_(other.data_), length_(other.length_) {
    other.data_ = nullptr;
}

void file_buffer::release() {
    std::free(data_);
    data_ = nullptr;
}

}  // namespace jamcrc
