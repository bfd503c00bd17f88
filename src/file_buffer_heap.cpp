// The whole-file buffer from the C heap, for platforms without the
// huge-page mapping of file_buffer_posix.cpp.
#include <cstdlib>

#include "file_buffer.hpp"

namespace jamcrc {

file_buffer file_buffer::allocate(std::uint32_t length) {
    if (length == 0) {
        return {nullptr, 0, true};
    }
    auto* heap = static_cast<std::uint8_t*>(std::malloc(length));
    return {heap, 0, heap != nullptr};
}

file_buffer::file_buffer(file_buffer&& other) noexcept
    : data_(other.data_), mapped_(other.mapped_), valid_(other.valid_) {
    other.data_ = nullptr;
}

void file_buffer::release() {
    std::free(data_);
    data_ = nullptr;
}

}  // namespace jamcrc
