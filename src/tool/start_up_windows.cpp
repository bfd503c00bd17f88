// What the tool changes in a Windows process's start-up.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "start_up.hpp"

// The MinGW-w64 C runtime can expand * and ? in the arguments before main
// runs; the tool takes every argument literally, as on any other platform.
extern "C" {
int _dowildcard = 0;
}

namespace jamcrc {

void ask_nothing_interactively() {
    // A drive without its medium (an empty card reader, a CD drive) would
    // otherwise have the system ask in a box to insert one, and a script
    // would wait on it; with this the open or read just fails. Nor does a
    // fault, should one ever happen, wait in a box for someone to close it.
    ::SetErrorMode(::GetErrorMode() | SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
}

}  // namespace jamcrc
