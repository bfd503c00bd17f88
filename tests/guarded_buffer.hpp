// Test memory with an inaccessible page right before and right after it, so
// that a kernel reading one byte outside its buffer faults at once.
#pragma once

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace jamcrc_test {

class guarded_buffer {
public:
    explicit guarded_buffer(std::size_t capacity) {
        page_ = page_size();
        usable_ = (capacity + page_ - 1) / page_ * page_ + page_;
        size_ = usable_ + 2 * page_;
#ifdef _WIN32
        base_ = static_cast<std::uint8_t*>(::VirtualAlloc(nullptr, size_, MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS));
        DWORD old = 0;
        if (base_ == nullptr || !::VirtualProtect(base_ + page_, usable_, PAGE_READWRITE, &old)) {
            throw std::runtime_error("VirtualAlloc failed");
        }
#else
        void* p = ::mmap(nullptr, size_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::runtime_error("mmap failed");
        base_ = static_cast<std::uint8_t*>(p);
        if (::mprotect(base_ + page_, usable_, PROT_READ | PROT_WRITE) != 0) throw std::runtime_error("mprotect failed");
#endif
    }
    ~guarded_buffer() {
#ifdef _WIN32
        ::VirtualFree(base_, 0, MEM_RELEASE);
#else
        ::munmap(base_, size_);
#endif
    }
    guarded_buffer(const guarded_buffer&) = delete;
    guarded_buffer& operator=(const guarded_buffer&) = delete;

    // `n` bytes copied so that they end exactly at the trailing guard page.
    const std::uint8_t* at_end(const std::uint8_t* bytes, std::size_t n) {
        std::uint8_t* dst = base_ + page_ + usable_ - n;
        if (n != 0) std::memcpy(dst, bytes, n);
        return dst;
    }
    // `n` bytes copied so that they start exactly after the leading guard page.
    const std::uint8_t* at_start(const std::uint8_t* bytes, std::size_t n) {
        std::uint8_t* dst = base_ + page_;
        if (n != 0) std::memcpy(dst, bytes, n);
        return dst;
    }

private:
    static std::size_t page_size() {
#ifdef _WIN32
        SYSTEM_INFO info;
        ::GetSystemInfo(&info);
        return info.dwPageSize;
#else
        return static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
#endif
    }

    std::size_t page_ = 0, usable_ = 0, size_ = 0;
    std::uint8_t* base_ = nullptr;
};

}  // namespace jamcrc_test
