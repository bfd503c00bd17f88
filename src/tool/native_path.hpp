// A path as the command line delivers it, used unchanged to open the file
// and in the line the tool prints: wide on Windows, whose wide command line
// carries every name (the narrow one loses what the ANSI code page lacks),
// bytes elsewhere.
#pragma once

namespace jamcrc {

#ifdef _WIN32
using path_char = wchar_t;
#else
using path_char = char;
#endif

}  // namespace jamcrc
