// hold_and_run MODE NAME PROGRAM [ARGUMENT...]
// A Windows program of the test build: opens NAME as another program would
// (MODE), keeps it open while PROGRAM runs with the arguments, and ends with
// PROGRAM's exit status. PROGRAM gets this program's standard streams, but
// for standard output in mode output-write-only. A failure of its own is a
// line on standard error and status 125.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cwchar>
#include <string>

namespace {

constexpr int OWN_FAILURE = 125;

struct mode {
    const wchar_t* name;
    DWORD access;  // 0: NAME is not opened
    DWORD share;
    DWORD flags;
    bool as_output;  // NAME, opened so, becomes PROGRAM's standard output
};

constexpr DWORD SHARE_READ_WRITE = FILE_SHARE_READ | FILE_SHARE_WRITE;

const mode MODES[] = {
    {L"none", 0, 0, 0, false},
    {L"writer-denying-writes", GENERIC_WRITE, FILE_SHARE_READ, 0, false},
    {L"delete-access", GENERIC_READ | DELETE, SHARE_READ_WRITE, 0, false},  // as installers and sync tools hold files
    // A temporary file, as FILE_FLAG_DELETE_ON_CLOSE, the C runtime's
    // _O_TEMPORARY and Python's NamedTemporaryFile hold it.
    {L"delete-on-close", GENERIC_READ | GENERIC_WRITE | DELETE, SHARE_READ_WRITE, FILE_FLAG_DELETE_ON_CLOSE, false},
    {L"exclusive", GENERIC_READ, 0, 0, false},
    // A console opened for writing only, as cmd's "> CON" opens it.
    {L"output-write-only", GENERIC_WRITE, SHARE_READ_WRITE, 0, true},
};

int own_failure(const wchar_t* what, const wchar_t* name) {
    std::fwprintf(stderr, L"hold_and_run: %ls %ls (error %lu)\n", what, name, ::GetLastError());
    return OWN_FAILURE;
}

// `argument` as the C runtime's command-line parsing gives it back: quoted
// when it has blanks or quotes or is empty, with the backslashes before a
// quote doubled.
void append_argument(std::wstring& line, const std::wstring& argument) {
    if (!line.empty()) line += L' ';
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
        line += argument;
        return;
    }
    line += L'"';
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(2 * backslashes, L'\\');
    line += L'"';
}

}  // namespace

extern "C" int wmain(int argc, wchar_t* argv[]) {
    if (argc < 4) {
        std::fwprintf(stderr, L"usage: hold_and_run MODE NAME PROGRAM [ARGUMENT...]\n");
        return OWN_FAILURE;
    }
    const mode* m = nullptr;
    for (const mode& candidate : MODES) {
        if (std::wcscmp(candidate.name, argv[1]) == 0) m = &candidate;
    }
    if (m == nullptr) return own_failure(L"knows no mode", argv[1]);

    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE held = INVALID_HANDLE_VALUE;
    if (m->access != 0) {
        held = ::CreateFileW(argv[2], m->access, m->share, m->as_output ? &inherited : nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL | m->flags, nullptr);
        if (held == INVALID_HANDLE_VALUE) return own_failure(L"can't open", argv[2]);
    }

    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    start.hStdOutput = m->as_output ? held : ::GetStdHandle(STD_OUTPUT_HANDLE);
    start.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    for (HANDLE h : {start.hStdInput, start.hStdOutput, start.hStdError}) {
        ::SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);  // may fail on a console's own handles: they pass anyway
    }
    std::wstring line;
    for (int i = 3; i < argc; ++i) append_argument(line, argv[i]);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(argv[3], line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start, &process)) {
        return own_failure(L"can't start", argv[3]);
    }
    DWORD status = OWN_FAILURE;
    ::WaitForSingleObject(process.hProcess, INFINITE);
    ::GetExitCodeProcess(process.hProcess, &status);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    if (held != INVALID_HANDLE_VALUE) ::CloseHandle(held);
    return static_cast<int>(status);
}
