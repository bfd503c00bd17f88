// The tool's single line of output.
#pragma once

#include <initializer_list>
#include <string_view>

namespace jamcrc {

// Writes the parts, then a newline, to standard output and flushes it. False
// when the line did not get out whole (a full disk, a closed stream).
bool write_line(std::initializer_list<std::string_view> parts);

}  // namespace jamcrc
