#include "tool_runner.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#endif

#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <stdexcept>

extern char** environ;

namespace jamcrc_test {

std::string tool_path() {
    const char* p = std::getenv("JAMCRC_TOOL");
    if (p == nullptr || *p == '\0') throw std::runtime_error("JAMCRC_TOOL is not set");
    return p;
}

std::string holder_path() {
    const char* p = std::getenv("JAMCRC_HOLDER");
    if (p == nullptr || *p == '\0') throw std::runtime_error("JAMCRC_HOLDER is not set");
    return p;
}

namespace {

std::string tool_platform() {
    const char* p = std::getenv("JAMCRC_TOOL_PLATFORM");
    return p == nullptr ? std::string() : std::string(p);
}

std::string launcher() {
    const char* p = std::getenv("JAMCRC_LAUNCHER");
    return p == nullptr ? std::string() : std::string(p);
}

// Runs in the forked child, so it neither allocates nor throws: `program`
// and `argv` are ready. `terminal`: the pty's far end, when
// standard output goes to one.
[[noreturn]] void child(const char* program, char* const argv[], char* const envp[], const run_options& o,
                        int out_w, int err_w, const char* terminal, const char* cgroup_procs) {
    if (cgroup_procs != nullptr) {
        const int fd = ::open(cgroup_procs, O_WRONLY);
        if (fd < 0 || ::write(fd, "0\n", 2) != 2) ::_exit(125);
        ::close(fd);
    }
    if (!o.shown_instead.empty()) {
#ifdef __linux__
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) ::_exit(126);
        for (const auto& [what, where] : o.shown_instead) {
            if (::mount(what.c_str(), where.c_str(), nullptr, MS_BIND, nullptr) != 0) ::_exit(126);
        }
#else
        ::_exit(126);  // mount namespaces are Linux's
#endif
    }
    if (o.close_stdout) {
        ::close(1);
    } else if (terminal != nullptr) {
        // A session of its own, whose controlling terminal the pty becomes.
        const int fd = ::setsid() < 0 ? -1 : ::open(terminal, O_RDWR);
        if (fd < 0) ::_exit(124);
        ::dup2(fd, 1);
        ::close(fd);
    } else if (!o.stdout_file.empty()) {
        const int fd = ::open(o.stdout_file.c_str(), O_WRONLY);
        if (fd < 0) ::_exit(120);
        ::dup2(fd, 1);
        ::close(fd);
    } else {
        ::dup2(out_w, 1);
    }
    ::dup2(err_w, 2);
    const int devnull = ::open("/dev/null", O_RDONLY);
    ::dup2(devnull, 0);
    if (!o.working_directory.empty() && ::chdir(o.working_directory.c_str()) != 0) ::_exit(121);
    if (o.address_space_limit) {
        const rlimit lim{*o.address_space_limit, *o.address_space_limit};
        ::setrlimit(RLIMIT_AS, &lim);
    }
    if (o.as_nobody && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(123);
    if (o.in_user_namespace) {
#ifdef __linux__
        const auto write_to = [](const char* file, const char* text) {
            const int fd = ::open(file, O_WRONLY);
            const auto length = static_cast<ssize_t>(std::strlen(text));
            const bool written = fd >= 0 && ::write(fd, text, static_cast<std::size_t>(length)) == length;
            if (fd >= 0) ::close(fd);
            return written;
        };
        // (Having changed its user, the process's own /proc files are
        // root's until it says it may be dumped again.)
        if (::prctl(PR_SET_DUMPABLE, 1) != 0 || ::unshare(CLONE_NEWUSER) != 0 || !write_to("/proc/self/setgroups", "deny") ||
            !write_to("/proc/self/gid_map", "0 65534 1") || !write_to("/proc/self/uid_map", "0 65534 1")) {
            ::_exit(127);
        }
#else
        ::_exit(127);
#endif
    }
    ::execve(program, argv, envp);
    ::_exit(122);
}

// A pipe whose ends the tool doesn't inherit (it gets dup2'ed copies), nor
// does a tool another thread starts meanwhile.
void cloexec_pipe(int ends[2]) {
#ifdef __linux__
    const bool made = ::pipe2(ends, O_CLOEXEC) == 0;
#else  // (macOS has no pipe2; its tests start one tool at a time)
    const bool made = ::pipe(ends) == 0 && ::fcntl(ends[0], F_SETFD, FD_CLOEXEC) == 0 &&
                      ::fcntl(ends[1], F_SETFD, FD_CLOEXEC) == 0;
#endif
    if (!made) {
        throw std::runtime_error("pipe failed");
    }
}

// A pty whose near end only this process holds; the far end's name.
int open_terminal(std::string& far_end) {
    const int near_end = ::posix_openpt(O_RDWR | O_NOCTTY);
    const char* name = near_end < 0 || ::grantpt(near_end) != 0 || ::unlockpt(near_end) != 0
                           ? nullptr
                           : ::ptsname(near_end);
    if (name == nullptr || ::fcntl(near_end, F_SETFD, FD_CLOEXEC) != 0) {
        throw std::runtime_error("no pty");
    }
    far_end = name;
    return near_end;
}

}  // namespace

bool tool_is_windows() { return tool_platform().starts_with("windows"); }
bool tool_is_32bit_windows() { return tool_platform() == "windows-x86"; }
bool tool_has_launcher() { return !launcher().empty(); }

run_result run_tool(const std::vector<std::string>& args, const run_options& o) {
    const std::string tool = tool_path();
    const std::string via = launcher();
    std::vector<char*> argv;
    if (!via.empty()) argv.push_back(const_cast<char*>(via.c_str()));
    for (const auto& a : o.through) argv.push_back(const_cast<char*>(a.c_str()));
    if (!o.no_arguments_at_all) argv.push_back(const_cast<char*>(tool.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const char* program = !via.empty() ? via.c_str() : !o.through.empty() ? o.through[0].c_str() : tool.c_str();
    std::vector<char*> envp;  // the options' variables first, so that they win
    for (const auto& e : o.environment) envp.push_back(const_cast<char*>(e.c_str()));
    for (char** e = environ; *e != nullptr; ++e) envp.push_back(*e);
    envp.push_back(nullptr);

    int out_pipe[2], err_pipe[2];
    cloexec_pipe(out_pipe);
    cloexec_pipe(err_pipe);
    std::string terminal;
    const int terminal_fd = o.stdout_terminal ? open_terminal(terminal) : -1;
    const std::string cgroup_procs = o.cgroup.empty() ? std::string() : o.cgroup + "/cgroup.procs";
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        child(program, argv.data(), envp.data(), o, out_pipe[1], err_pipe[1], terminal_fd >= 0 ? terminal.c_str() : nullptr,
              o.cgroup.empty() ? nullptr : cgroup_procs.c_str());
    }
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);
    if (terminal_fd >= 0) {
        // What the tool writes arrives at the pty's near end, which reports
        // an error once every holder of the far end has closed it.
        ::close(out_pipe[0]);
        out_pipe[0] = terminal_fd;
    }

    run_result r;
    const auto deadline = std::chrono::steady_clock::now() + o.timeout;
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&r.out, &r.err};
    int open_fds = 2;
    while (open_fds > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            r.timed_out = true;
            ::kill(pid, SIGKILL);
            break;
        }
        if (::poll(fds, 2, static_cast<int>(left.count())) < 0 && errno != EINTR) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buf[4096];
            const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                sinks[i]->append(buf, static_cast<std::size_t>(n));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open_fds;
            }
        }
    }
    for (auto& f : fds) if (f.fd >= 0) ::close(f.fd);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    r.exited = !r.timed_out && WIFEXITED(status);
    r.exit_status = r.exited ? WEXITSTATUS(status) : -1;
    return r;
}

}  // namespace jamcrc_test
