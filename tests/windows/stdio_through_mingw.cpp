// The C runtime's formatted-print and scan entry points, answered by
// MinGW-w64's own formatting code, for the test programs of the Windows on ARM
// build. Debian's arm64 Wine, which runs them here, has its C runtime built as
// Linux code that reads a Windows va_list wrongly and crashes: GoogleTest,
// libc++'s number formatting and hold_and_run all print through these. The
// linker takes a program's own definitions before the system's import stubs.
// The locale argument is not used: the tests print in the C locale.
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cwchar>

namespace {
// MinGW's formatting takes an int count: the C runtime's "unlimited"
// ((size_t)-1, from sprintf) and any count above INT_MAX would turn negative
// there. Such a buffer is large enough for anything a test prints.
int mingw_count(std::size_t count) {
    return count > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(count);
}
}  // namespace

extern "C" {

int __cdecl __stdio_common_vsprintf(unsigned __int64 options, char* buffer, std::size_t count, const char* format,
                                    _locale_t, va_list arguments) {
    const int length = __mingw_vsnprintf(buffer, static_cast<std::size_t>(mingw_count(count)), format, arguments);
    // Unless asked for C99's snprintf, output that does not fit is an error
    // (_vsnprintf); a null buffer only measures.
    if ((options & _CRT_INTERNAL_PRINTF_STANDARD_SNPRINTF_BEHAVIOR) == 0 && buffer != nullptr && length >= 0 &&
        static_cast<std::size_t>(length) >= count) {
        return -1;
    }
    return length;
}

int __cdecl __stdio_common_vswprintf(unsigned __int64 options, wchar_t* buffer, std::size_t count,
                                     const wchar_t* format, _locale_t, va_list arguments) {
    const int length = __mingw_vsnwprintf(buffer, static_cast<std::size_t>(mingw_count(count)), format, arguments);
    if ((options & _CRT_INTERNAL_PRINTF_STANDARD_SNPRINTF_BEHAVIOR) == 0 && buffer != nullptr && length >= 0 &&
        static_cast<std::size_t>(length) >= count) {
        return -1;
    }
    return length;
}

int __cdecl __stdio_common_vfprintf(unsigned __int64, FILE* file, const char* format, _locale_t, va_list arguments) {
    return __mingw_vfprintf(file, format, arguments);
}

int __cdecl __stdio_common_vfwprintf(unsigned __int64, FILE* file, const wchar_t* format, _locale_t,
                                     va_list arguments) {
    return __mingw_vfwprintf(file, format, arguments);
}

// The input's length is not passed on: every caller here scans a whole
// NUL-terminated string.
int __cdecl __stdio_common_vsscanf(unsigned __int64, const char* input, std::size_t, const char* format, _locale_t,
                                   va_list arguments) {
    return __mingw_vsscanf(input, format, arguments);
}

}  // extern "C"
