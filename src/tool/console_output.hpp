// The tool's single line of output.
#pragma once

#include <initializer_list>
#include <string_view>

#include "native_path.hpp"

namespace jamcrc {

// A piece of the line: fixed text (ASCII), or on Windows the path as the
// command line gave it, which is written in whatever form shows it exactly.
struct line_part {
    line_part(std::string_view fixed) : text(fixed) {}
    line_part(const char* fixed) : text(fixed) {}
#ifdef _WIN32
    line_part(const wchar_t* given) : path(given) {}
    std::wstring_view path;
#endif
    std::string_view text;
};

// Writes the parts, then a line end, to standard output and flushes it. False
// when the line did not get out whole (a full disk, a closed stream).
bool write_line(std::initializer_list<line_part> parts);

}  // namespace jamcrc
