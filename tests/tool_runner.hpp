// Runs the built tool as a separate process and captures what it did: the
// exact bytes of standard output and standard error, and how it ended.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace jamcrc_test {

struct run_options {
    std::string working_directory;                  // empty: the test's own
    bool close_stdout = false;                      // start with descriptor 1 closed
    std::string stdout_file;                        // send standard output to this file instead
    bool stdout_terminal = false;                   // standard output on a terminal (a pty of its own)
    std::optional<unsigned long long> address_space_limit;  // bytes
    bool no_arguments_at_all = false;               // argv empty, not even the program name
    bool as_nobody = false;                         // when run by root, drop to user and group 65534
    // Then become root of a user namespace of its own, which maps only that
    // user (as a rootless container's root is); the run exits with 127 where
    // the system allows no such namespace.
    bool in_user_namespace = false;
    std::vector<std::string> environment;          // NAME=VALUE, beside the test's own
    std::vector<std::string> through;              // a program of the tool's platform and its first
                                                   // arguments, to which the tool and its arguments are added
    std::string cgroup;                            // a cgroup folder to run the tool in (as root)
    // In a mount namespace of its own (as root), each .second shows what
    // .first holds; /proc/self there is the tool's own.
    std::vector<std::pair<std::string, std::string>> shown_instead;
    std::chrono::seconds timeout{60};
};

struct run_result {
    std::string out;
    std::string err;
    int exit_status = -1;    // the status byte, when it exited
    bool exited = false;     // false: killed by a signal or by the timeout
    bool timed_out = false;
};

// The tool under test: JAMCRC_TOOL names it. JAMCRC_LAUNCHER, if set, is a
// program that runs it (Wine for a Windows build, qemu-user for a Linux cross
// build), and JAMCRC_TOOL_PLATFORM is "windows" when the tool is a Windows
// program, "windows-x86" when it is a 32-bit one.
std::string tool_path();
// JAMCRC_HOLDER: the Windows test build's hold_and_run.exe, which holds a file
// as another program would while it runs the tool (run_options::through).
std::string holder_path();
bool tool_is_windows();
bool tool_is_32bit_windows();
bool tool_has_launcher();

run_result run_tool(const std::vector<std::string>& args, const run_options& options = {});

}  // namespace jamcrc_test
