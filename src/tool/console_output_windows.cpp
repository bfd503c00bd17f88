// Windows: the line shows the path as it was given, wherever it goes.
//   - To a console, the whole line is written as UTF-16 (WriteConsoleW), so
//     every name shows as typed, whatever the console's code page. A console
//     is known by trying: standard output is a character device and
//     WriteConsoleW takes the line's first piece. (GetConsoleMode would need
//     read access, which a console opened for writing only, as by "> CON",
//     lacks.) NUL, a serial port and the like refuse it and get the bytes.
//   - Elsewhere (a file, a pipe) the line is bytes through C stdio in text
//     mode, so it ends in CR LF. The path is in the ANSI code page, the bytes
//     the narrow command line has always given, when that code page holds it
//     exactly; otherwise, in UTF-8 (such names could never be opened by
//     their ANSI form, so no earlier output is changed).
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <iterator>

#include "console_output.hpp"
#include "console_output_stdio.hpp"

namespace jamcrc {

namespace {

// The line through WriteConsoleW. Whether anything reached the console
// tells a console from another character device: only a handle that took
// nothing may be written to as bytes instead, or a piece would show twice.
class console_writer {
public:
    explicit console_writer(HANDLE console) : console_(console) {}

    void write(const wchar_t* text, std::size_t length) {
        while (whole_ && length > 0) {
            // Old consoles take a limited amount per call; never split a pair.
            DWORD chunk = length > 8192 ? 8192 : static_cast<DWORD>(length);
            if (chunk < length && IS_HIGH_SURROGATE(text[chunk - 1])) {
                --chunk;
            }
            DWORD written = 0;
            whole_ = ::WriteConsoleW(console_, text, chunk, &written, nullptr) && written != 0;
            took_some_ = took_some_ || whole_;
            text += written;
            length -= written;
        }
    }
    bool whole() const { return whole_; }
    bool took_nothing() const { return !took_some_; }

private:
    HANDLE console_;
    bool whole_ = true;
    bool took_some_ = false;
};

void write_line_to_console(console_writer& console, std::initializer_list<line_part> parts) {
    for (const line_part& part : parts) {
        console.write(part.path.data(), part.path.size());
        wchar_t fixed[64];  // ASCII text, widened a piece at a time
        for (std::size_t at = 0; at < part.text.size(); at += std::size(fixed)) {
            std::size_t n = 0;
            for (; n < std::size(fixed) && at + n < part.text.size(); ++n) {
                fixed[n] = static_cast<unsigned char>(part.text[at + n]);
            }
            console.write(fixed, n);
        }
    }
    console.write(L"\r\n", 2);
}

// UTF-8 of UTF-16 text; an unpaired surrogate, which a Windows name may hold,
// is encoded on its own (as WTF-8 does) rather than lost. `out` has room for
// three bytes per unit.
std::size_t utf8(std::wstring_view text, char* out) {
    char* o = out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = text[i];
        if (IS_HIGH_SURROGATE(c) && i + 1 < text.size() && IS_LOW_SURROGATE(text[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        if (c < 0x80) {
            *o++ = static_cast<char>(c);
        } else if (c < 0x800) {
            *o++ = static_cast<char>(0xC0 | (c >> 6));
            *o++ = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            *o++ = static_cast<char>(0xE0 | (c >> 12));
            *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *o++ = static_cast<char>(0x80 | (c & 0x3F));
        } else {
            *o++ = static_cast<char>(0xF0 | (c >> 18));
            *o++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *o++ = static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return static_cast<std::size_t>(o - out);
}

// The path in the ANSI code page, if that code page holds it exactly: the
// bytes must turn back into the very same name. `out` has room for three
// bytes per unit. Nothing (-1) when it doesn't.
int ansi_exactly(std::wstring_view path, char* out, std::size_t room, wchar_t* check) {
    const UINT acp = ::GetACP();
    if (acp == CP_UTF8) {
        return -1;  // UTF-8 is what the caller writes then anyway
    }
    const int units = static_cast<int>(path.size());
    int bytes = ::WideCharToMultiByte(acp, WC_NO_BEST_FIT_CHARS, path.data(), units, out, static_cast<int>(room),
                                      nullptr, nullptr);
    if (bytes == 0 && ::GetLastError() == ERROR_INVALID_FLAGS) {  // code pages that take no flags
        bytes = ::WideCharToMultiByte(acp, 0, path.data(), units, out, static_cast<int>(room), nullptr, nullptr);
    }
    if (bytes <= 0) {
        return -1;
    }
    const int back = ::MultiByteToWideChar(acp, MB_ERR_INVALID_CHARS, out, bytes, check, units);
    if (back != units || std::wmemcmp(check, path.data(), path.size()) != 0) {
        return -1;
    }
    return bytes;
}

// Writes the path's bytes; false when the memory for them can't be had or
// they don't all get out.
bool write_path(std::wstring_view path) {
    const std::size_t room = 3 * path.size();
    auto* bytes = static_cast<char*>(std::malloc(room));
    auto* check = static_cast<wchar_t*>(std::malloc(path.size() * sizeof(wchar_t)));
    bool whole = bytes != nullptr && check != nullptr;
    if (whole) {
        int n = ansi_exactly(path, bytes, room, check);
        const std::size_t size = n >= 0 ? static_cast<std::size_t>(n) : utf8(path, bytes);
        whole = write_stdio_bytes(std::string_view(bytes, size));
    }
    std::free(check);
    std::free(bytes);
    return whole;
}

}  // namespace

bool write_line(std::initializer_list<line_part> parts) {
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (out != nullptr && out != INVALID_HANDLE_VALUE && ::GetFileType(out) == FILE_TYPE_CHAR) {
        console_writer console(out);
        write_line_to_console(console, parts);
        if (!console.took_nothing()) {
            return console.whole();
        }
    }
    return write_stdio_line(parts, [](const line_part& part) {
        return (part.path.empty() || write_path(part.path)) && write_stdio_bytes(part.text);
    });
}

}  // namespace jamcrc
