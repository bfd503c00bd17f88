// Through C stdio, with the path's bytes exactly as given.
#include <cstdio>

#include "console_output.hpp"

namespace jamcrc {

bool write_line(std::initializer_list<line_part> parts) {
    bool whole = true;
    for (const line_part& part : parts) {
        whole = std::fwrite(part.text.data(), 1, part.text.size(), stdout) == part.text.size() && whole;
    }
    whole = std::fputc('\n', stdout) != EOF && whole;
    whole = std::fflush(stdout) == 0 && whole;
    return whole && !std::ferror(stdout);
}

}  // namespace jamcrc
