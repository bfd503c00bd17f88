// Windows file access through the system calls the C runtime itself would
// make, with the C runtime's default sharing (others may read and write the
// file meanwhile). Lengths are 64-bit here even in a 32-bit build, so a file
// of 4 GiB and more is never mistaken for a small one.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "input_file.hpp"

namespace jamcrc {

input_file input_file::open(const char* path) {
    // A directory can only be opened with FILE_FLAG_BACKUP_SEMANTICS, so it
    // fails here, as does an empty path.
    HANDLE h = ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    return input_file(h == INVALID_HANDLE_VALUE ? nullptr : h);
}

input_file::input_file(input_file&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }

bool input_file::is_open() const { return handle_ != nullptr; }

std::optional<std::uint32_t> input_file::measure_length() {
    // Only a disk file has a length; NUL, CON and pipes are refused before
    // anything could wait on them.
    if (::GetFileType(handle_) != FILE_TYPE_DISK) {
        return std::nullopt;
    }
    LARGE_INTEGER zero{};
    LARGE_INTEGER start{};
    LARGE_INTEGER end{};
    if (!::SetFilePointerEx(handle_, zero, &start, FILE_CURRENT) || !::SetFilePointerEx(handle_, zero, &end, FILE_END) ||
        end.QuadPart < 0 || static_cast<std::uint64_t>(end.QuadPart) > MAX_FILE_LENGTH) {
        return std::nullopt;
    }
    if (end.QuadPart != start.QuadPart && !::SetFilePointerEx(handle_, start, nullptr, FILE_BEGIN)) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(end.QuadPart);
}

std::uint32_t input_file::read(void* buffer, std::uint32_t length) {
    auto* out = static_cast<unsigned char*>(buffer);
    std::uint32_t done = 0;
    while (done < length) {
        DWORD got = 0;
        if (!::ReadFile(handle_, out + done, length - done, &got, nullptr) || got == 0) {
            break;
        }
        done += got;
    }
    return done;
}

void input_file::close() {
    if (handle_ != nullptr) {
        ::CloseHandle(handle_);
        handle_ = nullptr;
    }
}

}  // namespace jamcrc
