// Through C stdio: it keeps standard output in text mode, so a line ends the
// way the platform's text files do (CR LF on Windows).
#include "console_output.hpp"

#include <cstdio>

namespace jamcrc {

bool write_line(std::initializer_list<std::string_view> parts) {
    bool whole = true;
    for (std::string_view part : parts) {
        whole = std::fwrite(part.data(), 1, part.size(), stdout) == part.size() && whole;
    }
    whole = std::fputc('\n', stdout) != EOF && whole;
    whole = std::fflush(stdout) == 0 && whole;
    return whole && !std::ferror(stdout);
}

}  // namespace jamcrc
