// jamcrc: prints "PATH crc32: HEX" for the file at PATH, the CRC-32 register
// of its bytes without the final inversion.
#include <charconv>
#include <cstdint>
#include <optional>

#include "console_output.hpp"
#include "crc32_register.hpp"
#include "file_buffer.hpp"
#include "input_file.hpp"
#include "native_path.hpp"
#include "start_up.hpp"

namespace {

using namespace jamcrc;

constexpr int FAILURE = -1;

int fail(std::initializer_list<line_part> message) {
    write_line(message);
    return FAILURE;
}

int report(const path_char* path, std::uint32_t reg) {
    char hex[8];
    const char* end = std::to_chars(hex, hex + sizeof hex, reg, 16).ptr;  // lowercase, no leading zeros
    return write_line({path, " crc32: ", std::string_view(hex, end)}) ? 0 : FAILURE;
}

int run(int argc, path_char* argv[]) {
    if (argc != 2) {
        return fail({"specify inputfile"});
    }
    const path_char* path = argv[1];

    input_file file = input_file::open(path);
    if (!file.is_open()) {
        return fail({"error opening ", path});
    }

    const std::optional<std::uint32_t> length = file.measure_length();
    if (!length) {
        file.close();
        return fail({"read error"});
    }

    file_buffer buffer = file_buffer::allocate(*length);
    if (!buffer) {
        file.close();
        return fail({"read error"});
    }

    const std::uint32_t read = file.read(buffer, *length);
    file.close();
    if (read != *length) {
        buffer.release();
        return fail({"read error"});
    }

    const std::uint32_t reg = crc32_buffer(buffer.data(), *length);
    buffer.release();

    return report(path, reg);
}

}  // namespace

#ifdef _WIN32
// The wide entry point (linked with -municode): its arguments hold every name.
extern "C" int wmain(int argc, wchar_t* argv[]) {
    ask_nothing_interactively();
    return run(argc, argv);
}
#else
int main(int argc, char* argv[]) { return run(argc, argv); }
#endif
