// The line through C stdio, which keeps standard output in text mode (CR LF
// on Windows): every platform's way when standard output is not a console.
#pragma once

#include <cstdio>
#include <initializer_list>
#include <string_view>

#include "console_output.hpp"

namespace jamcrc {

inline bool write_stdio_bytes(std::string_view bytes) {
    return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
}

// Each part through `write_part` (which writes it with write_stdio_bytes),
// then a newline and a flush; false unless the whole line got out.
template <class WritePart>
bool write_stdio_line(std::initializer_list<line_part> parts, WritePart write_part) {
    bool whole = true;
    for (const line_part& part : parts) {
        whole = write_part(part) && whole;
    }
    whole = std::fputc('\n', stdout) != EOF && whole;
    whole = std::fflush(stdout) == 0 && whole;
    return whole && !std::ferror(stdout);
}

}  // namespace jamcrc
