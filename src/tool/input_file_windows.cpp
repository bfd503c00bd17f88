// Windows file access through the system calls the C runtime itself would
// make, by wide path so that every name opens. The file is shared for
// reading, writing and deleting: only a holder that denies others reading
// keeps it out (a temporary file, held with delete access, opens), and while
// the tool reads, others may write, rename or delete the file, which leaves
// its open handle reading the same file. Lengths are 64-bit
// here even in a 32-bit build, so a file of 4 GiB and more is never mistaken
// for a small one.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>

#include "input_file.hpp"

namespace jamcrc {

namespace {

HANDLE open_for_reading(const wchar_t* path) {
    // A directory can only be opened with FILE_FLAG_BACKUP_SEMANTICS, so it
    // fails here, as does an empty path.
    return ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool starts_with(const wchar_t* s, const wchar_t* prefix) {
    return std::wcsncmp(s, prefix, std::wcslen(prefix)) == 0;
}

// \\?\ and \??\ hand the rest of a path to the system as it is: nothing
// resolves ".", ".." or "/" in it, and it is never too long.
bool verbatim(const wchar_t* path) { return starts_with(path, L"\\\\?\\") || starts_with(path, L"\\??\\"); }

// The length of a prefix the system reads as its device namespace: four
// units for \\?\, \\.\ and \??\ itself, 0 where there is none.
std::size_t device_prefix_length(const wchar_t* path) {
    return verbatim(path) || starts_with(path, L"\\\\.\\") ? 4 : 0;
}

// The path as the system's own parsing makes it (the current directory, ".",
// "..", "/" and trailing dots resolved by GetFullPathNameW), in memory from
// malloc, `room` units free before it. Null when it can't be made.
wchar_t* full_form(const wchar_t* path, std::size_t room, DWORD& length) {
    const DWORD needed = ::GetFullPathNameW(path, 0, nullptr, nullptr);  // with the terminator
    auto* memory = needed == 0 ? nullptr : static_cast<wchar_t*>(std::malloc((room + needed) * sizeof(wchar_t)));
    if (memory == nullptr) {
        return nullptr;
    }
    length = ::GetFullPathNameW(path, needed, memory + room, nullptr);
    if (length == 0 || length >= needed) {
        std::free(memory);
        return nullptr;
    }
    return memory;
}

// A path whose full form is longer than the system parses (MAX_PATH, its
// terminator included) opens only in the extended-length form, \\?\ in
// front of the full form, which switches the parsing off; so it is used for
// nothing else, and every path that opened as given still does, devices and
// all. The full form keeps what the path was:
//   C:\...            -> \\?\C:\...
//   \\server\share\... -> \\?\UNC\server\share\...
//   \\.\C:\... (//./)  -> \\?\C:\...     a device path, resolved like any other
//   \\?\C:\... (from //?/, which is parsed as \\.\ is) -> as it is
// Null when the path is short enough, verbatim already, or the memory can't
// be had; the caller then opens it as given.
wchar_t* extended_length_form(const wchar_t* path) {
    if (verbatim(path)) {
        return nullptr;
    }
    const wchar_t* const LOCAL = L"\\\\?\\";
    const wchar_t* const SHARE = L"\\\\?\\UNC\\";
    const std::size_t room = std::wcslen(SHARE);
    DWORD length = 0;
    wchar_t* extended = full_form(path, room, length);
    if (extended == nullptr || length < MAX_PATH) {
        std::free(extended);
        return nullptr;
    }
    wchar_t* full = extended + room;
    const wchar_t* prefix = LOCAL;
    const wchar_t* rest = full;
    if (const std::size_t device = device_prefix_length(full)) {
        rest = full + device;  // a device path: the same object behind \\?\ (all are \??\ to the system)
    } else if (starts_with(full, L"\\\\")) {
        prefix = SHARE;  // for \\server\share\..., less its two backslashes
        rest = full + 2;
    }
    const std::size_t prefix_length = std::wcslen(prefix);
    std::wmemmove(extended + prefix_length, rest, std::wcslen(rest) + 1);
    std::wmemcpy(extended, prefix, prefix_length);
    return extended;
}

#if defined(_WIN64)
HANDLE open_named(const wchar_t* path) { return open_for_reading(path); }
#else
// A 32-bit program on 64-bit Windows is quietly given SysWOW64 when it opens
// a file in System32 (file-system redirection): it would check another file
// than it names, or miss one that exists only there. So redirection is off
// around the open, on this thread, and only there. One path needs it on:
// Sysnative, the alias through which 32-bit programs reach the real System32,
// exists only while redirection is on. Where there is no WOW64 the call fails
// and there is nothing to switch.
bool under_sysnative(const wchar_t* path) {
    wchar_t windows[MAX_PATH];
    const UINT windows_length = ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
    if (windows_length == 0 || windows_length >= MAX_PATH) {
        return false;
    }
    DWORD length = 0;
    wchar_t* full = verbatim(path) ? nullptr : full_form(path, 0, length);
    const wchar_t* name = full != nullptr ? full : path;
    name += device_prefix_length(name);
    const wchar_t* const ALIAS = L"\\Sysnative";
    const int alias_length = static_cast<int>(std::wcslen(ALIAS));
    const int name_length = static_cast<int>(std::wcslen(name));
    const int folder = static_cast<int>(windows_length);
    // Names compare as the file system compares them: ordinal, ignoring case.
    const bool under = name_length >= folder + alias_length &&
                       ::CompareStringOrdinal(name, folder, windows, folder, TRUE) == CSTR_EQUAL &&
                       ::CompareStringOrdinal(name + folder, alias_length, ALIAS, alias_length, TRUE) == CSTR_EQUAL &&
                       (name[folder + alias_length] == L'\\' || name[folder + alias_length] == L'\0');
    std::free(full);
    return under;
}

HANDLE open_named(const wchar_t* path) {
    void* redirection = nullptr;
    const bool switched_off = !under_sysnative(path) && ::Wow64DisableWow64FsRedirection(&redirection);
    HANDLE h = open_for_reading(path);
    if (switched_off) {
        ::Wow64RevertWow64FsRedirection(redirection);
    }
    return h;
}
#endif

// The most one ReadFile asks for. Half the smallest limit Windows is known to
// have put on one request over the network (about 32 MB, a write on 64-bit
// Windows XP and Server 2003), and 64 times less than the 1 GiB reads seen
// refused; yet large enough that the calls cost nothing next to the copying
// (64 per GiB), and that a network read is still asked for in pieces twice
// the largest the SMB 3 client sends at once (8 MiB).
constexpr std::uint32_t MOST_PER_REQUEST = std::uint32_t{16} << 20;

}  // namespace

input_file input_file::open(const wchar_t* path) {
    HANDLE h = INVALID_HANDLE_VALUE;
    if (wchar_t* extended = extended_length_form(path)) {
        h = open_named(extended);
        std::free(extended);
    } else {
        h = open_named(path);
    }
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
    // Nothing to seek past need not mean nothing to read: a pseudo-file
    // reached through a share (Linux's /proc and /sys over Samba or WSL's
    // \\wsl$) ends at 0 and still holds bytes. Only a disk file that yields
    // none is empty; one that yields a byte has no length to measure.
    if (end.QuadPart == 0) {
        unsigned char first = 0;
        DWORD got = 0;
        if (!::ReadFile(handle_, &first, 1, &got, nullptr) || got != 0) {
            return std::nullopt;
        }
    }
    return static_cast<std::uint32_t>(end.QuadPart);
}

std::uint32_t input_file::read(file_buffer& buffer, std::uint32_t length) {
    // One request from the caller's side, asked of the system in pieces: a
    // driver that locks the whole buffer of a request in memory (an uncached
    // network share, some filters, a system short of memory) may refuse a
    // large one outright (ERROR_NO_SYSTEM_RESOURCES, ERROR_WORKING_SET_QUOTA)
    // where a copy of the same file succeeds.
    std::uint8_t* out = buffer.data();
    std::uint32_t done = 0;
    while (done < length) {
        DWORD got = 0;
        const DWORD asked = std::min(length - done, MOST_PER_REQUEST);
        if (!::ReadFile(handle_, out + done, asked, &got, nullptr) || got == 0) {
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
