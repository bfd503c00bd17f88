// Test memory with an inaccessible page right before and right after it, so
// that a kernel reading one byte outside its buffer faults at once.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace jamcrc_test {

class guarded_buffer {
public:
    explicit guarded_buffer(std::size_t capacity) {
        page_ = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
        usable_ = (capacity + page_ - 1) / page_ * page_ + page_;
        size_ = usable_ + 2 * page_;
        void* p = ::mmap(nullptr, size_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::runtime_error("mmap failed");
        base_ = static_cast<std::uint8_t*>(p);
        if (::mprotect(base_ + page_, usable_, PROT_READ | PROT_WRITE) != 0) throw std::runtime_error("mprotect failed");
    }
    ~guarded_buffer() { ::munmap(base_, size_); }
    guarded_buffer(const guarded_buffer&) = delete;
    guarded_buffer& operator=(const guarded_buffer&) = delete;

    // `n` bytes copied so that they end exactly at the trailing guard page.
    const std::uint8_t* at_end(const std::uint8_t* bytes, std::size_t n) {
        std::uint8_t* dst = base_ + page_ + usable_ - n;
        std::memcpy(dst, bytes, n);
        return dst;
    }
    // `n` bytes copied so that they start exactly after the leading guard page.
    const std::uint8_t* at_start(const std::uint8_t* bytes, std::size_t n) {
        std::uint8_t* dst = base_ + page_;
        std::memcpy(dst, bytes, n);
        return dst;
    }

private:
    std::size_t page_ = 0, usable_ = 0, size_ = 0;
    std::uint8_t* base_ = nullptr;
};

}  // namespace jamcrc_test
