// Through C stdio, with the path's bytes exactly as given.
#include "console_output.hpp"

#include "console_output_stdio.hpp"

namespace jamcrc {

bool write_line(std::initializer_list<line_part> parts) {
    return write_stdio_line(parts, [](const line_part& part) { return write_stdio_bytes(part.text); });
}

}  // namespace jamcrc
