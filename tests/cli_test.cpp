// The tool as a user meets it: the exact bytes it prints, that it prints
// nothing on standard error, and its exit status, for each way a run can go.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <numeric>
#include <optional>
#include <random>
#include <string>
#include <thread>

#include "reference_crc.hpp"
#include "tool_runner.hpp"

namespace {

namespace fs = std::filesystem;
using jamcrc_test::run_options;
using jamcrc_test::run_result;
using jamcrc_test::run_tool;

constexpr int FAILURE_STATUS = 255;  // -1 as the low 8 bits Linux keeps (Wine passes on the same)

// A Windows build writes standard output in text mode: lines end in CR LF.
std::string line_end() { return jamcrc_test::tool_is_windows() ? "\r\n" : "\n"; }

#define SKIP_ON_WINDOWS(why) \
    if (jamcrc_test::tool_is_windows()) GTEST_SKIP() << why
#define SKIP_UNLESS_WINDOWS() \
    if (!jamcrc_test::tool_is_windows()) GTEST_SKIP() << "Windows only"

std::string hex(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%x", v);
    return buf;
}

class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "jamcrc-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    std::string write_file(const std::string& name, const std::string& contents) const {
        const fs::path p = dir_ / name;
        std::ofstream(p, std::ios::binary).write(contents.data(), static_cast<std::streamsize>(contents.size()));
        return p.string();
    }
    // A file of `size` bytes that takes no disk: all zeros.
    std::string sparse_file(const std::string& name, std::uint64_t size) const {
        const std::string p = write_file(name, "");
        fs::resize_file(p, size);
        return p;
    }
    static void expect_output(const run_result& r, const std::string& line, int status) {
        EXPECT_FALSE(r.timed_out) << "the tool hung";
        EXPECT_TRUE(r.exited) << "the tool did not exit normally";
        EXPECT_EQ(r.out, line + line_end());
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.exit_status, status);
    }
    static void expect_report(const run_result& r, const std::string& path, std::uint32_t reg) {
        expect_output(r, path + " crc32: " + hex(reg), 0);
    }
    fs::path dir_;
};

TEST_F(Cli, WrongArgumentCountAsksForTheInputFile) {
    const std::vector<std::vector<std::string>> argument_lists = {{}, {"a", "b"}, {"a", "b", "c"}, {"", ""}};
    for (const auto& args : argument_lists) {
        SCOPED_TRACE(args.size());
        expect_output(run_tool(args), "specify inputfile", FAILURE_STATUS);
    }
    // A Windows program always gets its own name, and a launcher (Wine,
    // qemu-user) can't start a program with none.
    if (!jamcrc_test::tool_has_launcher()) {
        run_options no_argv;
        no_argv.no_arguments_at_all = true;
        expect_output(run_tool({}, no_argv), "specify inputfile", FAILURE_STATUS);
    }
}

// How a row's file is laid down before the run. The large layouts lie past
// the size from which the parts of a file the page cache lacks are read
// directly (Linux), and end off a block boundary.
enum class layout {
    as_written,
    dated_2100,              // fstat must not fail in a 32-bit build
    cold,                    // evicted from the page cache
    cached,                  // evicted, then read whole back into the cache
    cold_but_the_middle,     // evicted, then its middle read back into the cache
    cold_then_rewritten,     // evicted, then part rewritten: in the cache, not yet on the disk
    sparse,                  // cold, its data a few bytes amid holes
    sparse_shrunk,           // the same, cut short within a hole after it was measured
    preallocated,            // cold, allocated but never written: zeros that pass for cached
    on_tmpfs,                // a file system that is all page cache
    direct_refused,          // cold, on a file system that refuses direct reads
    direct_refused_partway,  // cold but the middle, on one that refuses the second direct read
    on_zfs,                  // cold, on a file system with a cache of its own: read through it
    cold_shrunk,             // cold, cut short after it was measured
    cold_grown,              // cold, grown after it was measured
    under_lease,             // another process holds a write lease and lets go after a second
};

struct contents_case {
    const char* name;
    std::string contents;
    std::optional<std::string> expected_hex;  // none: a read error
    layout lay = layout::as_written;
    // Ways of asking about the page cache the kernel refuses, as the file
    // system preload's JAMCRC_TEST_REFUSE names them.
    const char* refused = nullptr;
    int at_once = 1;  // runs of the tool started together on the file
    // Run only unprivileged, as root of a user namespace of its own that
    // maps no one else (a rootless container's root): root to itself, not
    // to the kernel's page cache questions.
    bool in_user_namespace = false;
};

// What the file system preload (Linux) must see the tool do there.
enum class direct_reads { any, some, none, refused };

direct_reads expected_direct_reads(const contents_case& c, bool unprivileged) {
    if (c.refused != nullptr) {
        // Direct while a way that tells this user the truth remains: any for
        // root; for others only the probes (mincore lies to them, and the
        // kernel may refuse them cachestat).
        const auto refuses = [&](const char* way) { return std::strstr(c.refused, (std::string(way) + ":E").c_str()) != nullptr; };
        const bool truthful_left = unprivileged ? !refuses("probes")
                                                : !(refuses("cachestat") && refuses("mincore") && refuses("probes"));
        return truthful_left ? direct_reads::some : direct_reads::any;
    }
    switch (c.lay) {
        case layout::cold:
        case layout::cold_but_the_middle:
        case layout::cold_then_rewritten:
        case layout::sparse:
        case layout::sparse_shrunk:
        case layout::cold_shrunk:
        case layout::cold_grown:
            return direct_reads::some;
        case layout::on_tmpfs:
        case layout::on_zfs:
            return direct_reads::none;
        case layout::direct_refused:
        case layout::direct_refused_partway:
            return direct_reads::refused;
        default:
            return direct_reads::any;
    }
}

// The large rows run again as an unprivileged user, to whom the kernel
// answers some questions about the page cache differently; not those that
// change the file behind the tool's back, or hold it.
bool also_unprivileged(layout lay) {
    return lay != layout::as_written && lay != layout::dated_2100 && lay != layout::cold_shrunk &&
           lay != layout::sparse_shrunk && lay != layout::cold_grown && lay != layout::under_lease;
}

constexpr std::size_t LARGE = (24u << 20) + 777;
constexpr std::size_t MIDDLE_AT = 8u << 20, MIDDLE_LENGTH = 6u << 20;
// Rewritten past the first page of its 2 MiB chunk, so that the chunk still
// looks cold and is read directly: the kernel must write the new bytes back
// first.
constexpr std::size_t REWRITTEN_AT = (10u << 20) + 4096 + 123, REWRITTEN_LENGTH = 1000;
// Cut within the first direct read, or grown by more than its slack.
constexpr std::size_t SHRUNK_TO = LARGE - (5u << 20), GROWN_TO = LARGE + (3u << 20);
constexpr const char* ZFS_TYPE = "0x2fc12fc1";
// The sparse file's only data, mid-chunk, and where it is cut: past its
// data, in a hole that reads as zeros.
constexpr std::size_t SPARSE_DATA_AT = (13u << 20) + 5, SPARSE_SHRUNK_TO = 20u << 20;
const std::string SPARSE_DATA = "abc";

// Out of the page cache, once on the disk. (Not every system can ask.)
void evict(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::fsync(fd), 0);
#ifdef POSIX_FADV_DONTNEED
    EXPECT_EQ(::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED), 0);
#endif
    ::close(fd);
}

void pread_exactly(const std::string& path, std::size_t at, std::size_t length) {
    std::string scratch(length, '\0');
    const int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::pread(fd, scratch.data(), length, static_cast<off_t>(at)), static_cast<ssize_t>(length));
    ::close(fd);
}

void pwrite_exactly(const std::string& path, const std::string& contents, std::size_t at, std::size_t length) {
    const int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::pwrite(fd, contents.data() + at, length, static_cast<off_t>(at)), static_cast<ssize_t>(length));
    ::close(fd);
}

// Disk blocks for the whole file, never written: it reads as zeros. False
// where the system or the file system can't.
bool preallocate(const std::string& path, std::size_t length) {
#ifdef __linux__
    const int fd = ::open(path.c_str(), O_WRONLY);
    const bool done = fd >= 0 && ::fallocate(fd, 0, 0, static_cast<off_t>(length)) == 0;
    if (fd >= 0) ::close(fd);
    return done;
#else
    (void)path, (void)length;
    return false;
#endif
}

// How many of the file's pages the page cache holds (mincore answers the
// file's owner truthfully). Linux's mincore; elsewhere nothing is asked.
std::size_t resident_pages(const std::string& path) {
#ifndef __linux__
    (void)path;
    return 0;
#else
    const int fd = ::open(path.c_str(), O_RDONLY);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_size == 0) {
        if (fd >= 0) ::close(fd);
        return 0;
    }
    const auto size = static_cast<std::size_t>(st.st_size);
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    ::close(fd);
    if (map == MAP_FAILED) return 0;
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    std::vector<unsigned char> resident((size + page - 1) / page);
    std::size_t count = 0;
    if (::mincore(map, size, resident.data()) == 0) {
        for (const unsigned char r : resident) count += r & 1u;
    }
    ::munmap(map, size);
    return count;
#endif
}

// Another process's write lease on the file (as Samba and NFS servers take
// them), let go a second after it asks for it. Not held where leases can't
// be had (is_held).
class write_lease {
public:
    explicit write_lease(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY)) {
        old_handler_ = std::signal(SIGIO, SIG_IGN);  // the lease-break signal, which would end the test
#ifdef F_SETLEASE  // Linux's
        if (fd_ >= 0 && ::fcntl(fd_, F_SETLEASE, F_WRLCK) == 0) {
            letting_go_ = std::thread([fd = fd_] {
                std::this_thread::sleep_for(std::chrono::seconds(1));
                ::fcntl(fd, F_SETLEASE, F_UNLCK);
            });
        }
#endif
    }
    ~write_lease() {
        if (letting_go_.joinable()) letting_go_.join();
        if (fd_ >= 0) ::close(fd_);
        std::signal(SIGIO, old_handler_);
    }
    bool is_held() const { return letting_go_.joinable(); }

private:
    int fd_;
    void (*old_handler_)(int);
    std::thread letting_go_;
};

TEST_F(Cli, ReportsTheRegisterOfTheWholeContents) {
    std::string every_byte(256, '\0');
    std::iota(every_byte.begin(), every_byte.end(), '\0');
    std::string binary("\0\r\n\x1a\r\r\n\n\x1a\0\xff\x80", 12);
    std::string big(5u << 20, '\0');  // past the size where the buffer switches to huge pages
    std::string large(LARGE, '\0');
    std::mt19937 gen(1);
    for (auto& c : big) c = static_cast<char>(gen());
    for (auto& c : large) c = static_cast<char>(gen());
    const std::string large_hex = hex(jamcrc_test::bitwise_crc(large));
    std::string sparse(LARGE, '\0');
    sparse.replace(SPARSE_DATA_AT, SPARSE_DATA.size(), SPARSE_DATA);
    const std::string zeros(LARGE, '\0');
    const contents_case cases[] = {
        {"empty", "", "ffffffff"},
        {"digits", "123456789", "340bc6d9"},
        {"abc", "abc", "cadbbe3d"},
        {"zero", "0", "b2420de"},  // leading zeros are not printed
        {"every-byte", every_byte, "d6fa738c"},
        {"binary", binary, hex(jamcrc_test::bitwise_crc(binary))},
        {"big", big, hex(jamcrc_test::bitwise_crc(big))},
        {"dated-2100", "abc", "cadbbe3d", layout::dated_2100},
        {"under-lease", "abc", "cadbbe3d", layout::under_lease},
        {"large-cold", large, large_hex, layout::cold},
        {"large-cold-but-the-middle", large, large_hex, layout::cold_but_the_middle},
        {"large-cold-then-rewritten", large, large_hex, layout::cold_then_rewritten},
        {"large-sparse", sparse, hex(jamcrc_test::bitwise_crc(sparse)), layout::sparse},
        {"large-sparse-shrunk", sparse, std::nullopt, layout::sparse_shrunk},
        {"large-preallocated", zeros, hex(jamcrc_test::bitwise_crc(zeros)), layout::preallocated},
        {"large-on-tmpfs", large, large_hex, layout::on_tmpfs},
        {"large-direct-refused", large, large_hex, layout::direct_refused},
        {"large-direct-refused-partway", large, large_hex, layout::direct_refused_partway},
        {"large-on-zfs", large, large_hex, layout::on_zfs},
        {"large-cold-shrunk", large, std::nullopt, layout::cold_shrunk},
        // Counted to the length measured: the bytes it grew by are not.
        {"large-cold-grown", large, large_hex, layout::cold_grown},
        // Each way of asking about the page cache refused, as a kernel
        // without it or a seccomp filter would, alone and in pairs.
        {"large-cold-no-cachestat", large, large_hex, layout::cold, "cachestat:ENOSYS"},
        {"large-cold-cachestat-forbidden", large, large_hex, layout::cold, "cachestat:EPERM"},
        {"large-cold-no-mincore", large, large_hex, layout::cold, "mincore:ENOSYS"},
        {"large-cold-mincore-forbidden", large, large_hex, layout::cold, "mincore:EPERM"},
        {"large-cold-no-probes", large, large_hex, layout::cold, "probes:ENOSYS"},
        {"large-cold-probes-forbidden", large, large_hex, layout::cold, "probes:EPERM"},
        {"large-cold-only-probes", large, large_hex, layout::cold, "cachestat:ENOSYS,mincore:ENOSYS"},
        {"large-cold-only-probes-forbidden", large, large_hex, layout::cold, "cachestat:EPERM,mincore:EPERM"},
        {"large-cold-only-mincore", large, large_hex, layout::cold, "cachestat:ENOSYS,probes:ENOSYS"},
        {"large-cold-only-mincore-forbidden", large, large_hex, layout::cold, "cachestat:EPERM,probes:EPERM"},
        {"large-cold-only-cachestat", large, large_hex, layout::cold, "mincore:ENOSYS,probes:ENOSYS"},
        {"large-cold-only-cachestat-forbidden", large, large_hex, layout::cold, "mincore:EPERM,probes:EPERM"},
        // Only the probes, on a disk that answers before the kernel looks
        // again: the bytes come back as if cached.
        {"large-cold-only-probes-quick-disk", large, large_hex, layout::cold, "cachestat:ENOSYS,mincore:ENOSYS,probes:QUICK"},
        // The probes find it cached, but its pieces come from that disk:
        // each chunk's rest is then read directly.
        {"large-pieces-from-a-quick-disk", large, large_hex, layout::cached, "cachestat:ENOSYS,mincore:ENOSYS,pieces:QUICK"},
        // Several runs at once, each asking about pages the others' questions
        // may just have brought in.
        {"large-cold-2-at-once", large, large_hex, layout::cold, nullptr, 2},
        {"large-cold-4-at-once", large, large_hex, layout::cold, nullptr, 4},
        {"large-cold-16-at-once", large, large_hex, layout::cold, nullptr, 16},
        {"large-cold-in-a-user-namespace", large, large_hex, layout::cold, nullptr, 1, true},
    };
#ifdef JAMCRC_TEST_PRELOAD_LIBRARY
    // Only a native, dynamically linked tool takes a preloaded library.
    const char* preload = jamcrc_test::tool_has_launcher() ? nullptr : JAMCRC_TEST_PRELOAD_LIBRARY;
#else
    const char* preload = nullptr;
#endif
    const std::string log = (dir_ / "file-system-log").string();
    fs::permissions(dir_, fs::perms::owner_all | fs::perms::others_exec);  // for the unprivileged runs
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool needs_preload = c.lay == layout::on_zfs || c.lay == layout::cold_shrunk || c.lay == layout::sparse_shrunk ||
                                   c.lay == layout::cold_grown || c.refused != nullptr ||
                                   expected_direct_reads(c, false) == direct_reads::refused;
        if ((needs_preload && preload == nullptr) || (c.lay == layout::under_lease && jamcrc_test::tool_is_windows())) {
            continue;  // nothing to make the file system behave so for this tool
        }
        // Many runs at once matter where the tool asks the kernel itself about
        // its cache (not through Wine, nor qemu-user, which lacks the
        // questions); elsewhere two show that runs at once share the file.
        if (c.at_once > 2 && (jamcrc_test::tool_is_windows() || jamcrc_test::tool_has_launcher())) continue;
        std::string path = (dir_ / c.name).string();
        if (c.lay == layout::on_tmpfs) {
            if (!fs::is_directory("/dev/shm")) continue;  // no tmpfs here: nothing to check
            path = "/dev/shm/jamcrc-test-" + std::to_string(::getpid()) + "-" + c.name;
        }
        for (const bool unprivileged : {false, true}) {
            // (Wine runs only for the owner of its prefix.)
            if (unprivileged && (!also_unprivileged(c.lay) || jamcrc_test::tool_is_windows())) continue;
            if (c.in_user_namespace && !unprivileged) continue;
            SCOPED_TRACE(unprivileged ? "as an unprivileged user" : "as the test's own user");
            if (c.lay == layout::sparse || c.lay == layout::sparse_shrunk || c.lay == layout::preallocated) {
                std::ofstream(path, std::ios::binary | std::ios::trunc);
                if (c.lay == layout::preallocated && !preallocate(path, c.contents.size())) {
                    std::cout << c.name << ": this file system can't preallocate, nothing to check\n";
                    break;
                }
                fs::resize_file(path, c.contents.size());
                if (c.lay != layout::preallocated) pwrite_exactly(path, c.contents, SPARSE_DATA_AT, SPARSE_DATA.size());
            } else {
                std::string written = c.contents;
                if (c.lay == layout::cold_then_rewritten) {  // the disk has other bytes there
                    for (std::size_t i = REWRITTEN_AT; i < REWRITTEN_AT + REWRITTEN_LENGTH; ++i) written[i] = static_cast<char>(~written[i]);
                }
                std::ofstream(path, std::ios::binary).write(written.data(), static_cast<std::streamsize>(written.size()));
            }
            fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
            run_options o;
            o.as_nobody = unprivileged;
            o.in_user_namespace = c.in_user_namespace;
            o.timeout = std::chrono::seconds(30);
            std::optional<write_lease> lease;
            switch (c.lay) {
                case layout::dated_2100: {
                    const timespec times[2] = {{4102444800, 0}, {4102444800, 0}};  // 2100-01-01
                    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
                    break;
                }
                case layout::cold:
                case layout::sparse:
                case layout::sparse_shrunk:
                case layout::preallocated:
                case layout::direct_refused:
                case layout::on_zfs:
                case layout::cold_shrunk:
                case layout::cold_grown:
                    evict(path);
                    break;
                case layout::cached:
                    evict(path);
                    pread_exactly(path, 0, c.contents.size());
                    break;
                case layout::cold_but_the_middle:
                case layout::direct_refused_partway:
                    evict(path);
                    pread_exactly(path, MIDDLE_AT, MIDDLE_LENGTH);
                    break;
                case layout::cold_then_rewritten:
                    evict(path);
                    pwrite_exactly(path, c.contents, REWRITTEN_AT, REWRITTEN_LENGTH);
                    break;
                case layout::under_lease:
                    lease.emplace(path);
                    if (!lease->is_held()) {
                        std::cout << c.name << ": no lease can be had on this file system, nothing to wait for\n";
                    }
                    break;
                case layout::as_written:
                case layout::on_tmpfs:
                    break;
            }
            if (preload != nullptr) {
                std::ofstream{log, std::ios::trunc};
                fs::permissions(log, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_write);
                o.environment = {std::string("LD_PRELOAD=") + preload, "JAMCRC_TEST_LOG=" + log,
                                 "ASAN_OPTIONS=verify_asan_link_order=0"};
                if (c.lay == layout::direct_refused) o.environment.push_back("JAMCRC_TEST_REFUSE_DIRECT=fcntl");
                if (c.lay == layout::direct_refused_partway) o.environment.push_back("JAMCRC_TEST_REFUSE_DIRECT=read");
                if (c.lay == layout::on_zfs) o.environment.push_back(std::string("JAMCRC_TEST_STATFS_TYPE=") + ZFS_TYPE);
                if (c.lay == layout::cold_shrunk) o.environment.push_back("JAMCRC_TEST_RESIZE_TO=" + std::to_string(SHRUNK_TO));
                if (c.lay == layout::sparse_shrunk) o.environment.push_back("JAMCRC_TEST_RESIZE_TO=" + std::to_string(SPARSE_SHRUNK_TO));
                if (c.lay == layout::cold_grown) o.environment.push_back("JAMCRC_TEST_RESIZE_TO=" + std::to_string(GROWN_TO));
                if (c.refused != nullptr) o.environment.push_back(std::string("JAMCRC_TEST_REFUSE=") + c.refused);
            }
            const std::size_t cached_before = resident_pages(path);
            std::vector<run_result> results(static_cast<std::size_t>(c.at_once));
            {
                std::vector<std::thread> runs;
                for (run_result& r : results) runs.emplace_back([&r, &path, &o] { r = run_tool({path}, o); });
                for (std::thread& run : runs) run.join();
            }
            std::string seen;
            if (preload != nullptr) std::getline(std::ifstream(log), seen);
            const bool preloaded = seen.find('L') != std::string::npos;
            if (preload != nullptr && !preloaded) {
                // A static tool never loads the library: the file system did
                // nothing asked of it, and nothing it saw can be checked.
                std::cout << c.name << ": the tool took no preloaded library (static)\n";
                if (needs_preload) continue;
            }
            if (c.in_user_namespace && results.front().exit_status == 127 && results.front().out.empty()) {
                std::cout << c.name << ": this system gives no user namespace to an unprivileged user, nothing to check\n";
                continue;
            }
            for (const run_result& r : results) {
                expect_output(r, c.expected_hex ? path + " crc32: " + *c.expected_hex : "read error",
                              c.expected_hex ? 0 : FAILURE_STATUS);
            }
            const direct_reads expected = expected_direct_reads(c, unprivileged);
            // (qemu-user 7.2 has neither cachestat nor preadv2: an
            // unprivileged tool under it has no truthful way to ask, and
            // reads through the cache.)
            const bool can_ask = !jamcrc_test::tool_is_windows() && !(unprivileged && jamcrc_test::tool_has_launcher());
            if (can_ask && (expected == direct_reads::some || c.lay == layout::preallocated)) {
                // A run leaves in the page cache no more of the file than it
                // found there, whoever runs it; runs at once, next to nothing.
                const std::size_t pages = resident_pages(path);
                const std::size_t allowed = c.at_once > 1 ? c.contents.size() / 4096 / 50 : 0;
                EXPECT_LE(pages, cached_before + allowed) << "pages of the file left in the cache";
            }
            if (preloaded) {
                EXPECT_TRUE(seen.find('!') == std::string::npos) << "the file could not be resized: " << seen;
                switch (expected) {
                    case direct_reads::some:
                        EXPECT_TRUE(seen.find('D') != std::string::npos) << "no direct read: " << seen;
                        break;
                    case direct_reads::none:
                        EXPECT_TRUE(seen.find_first_of("OD") == std::string::npos) << "read directly: " << seen;
                        break;
                    case direct_reads::refused:
                        EXPECT_TRUE(seen.find('R') != std::string::npos) << "nothing was refused: " << seen;
                        break;
                    case direct_reads::any:
                        break;
                }
            }
        }
        if (c.lay == layout::on_tmpfs) fs::remove(path);
    }
}

// How the tool takes a path: opened and echoed exactly as given, or refused
// with "error opening" and the path, also exactly as given. Every row runs in
// a folder holding the same files (see SetUp); "{dir}" stands for that
// folder's absolute path, "{Z:/dir}" and "{Z:\dir}" for the same folder on
// Wine's drive Z: (the Unix root), with either slash.
struct path_case {
    const char* name;
    std::string path;
    bool opens;                // the path names a file holding "abc"
    const char* windows_echo;  // what a Windows tool writes to a file or pipe instead; null: the path itself
    enum { EVERYWHERE, POSIX_ONLY, WINDOWS_ONLY } where;
    bool on_console_too;       // checked again with standard output on a terminal
};

void PrintTo(const path_case& c, std::ostream* os) { *os << c.name; }

const std::string LONG_DIR = std::string(200, 'd') + "/" + std::string(200, 'd');  // 401 characters
const std::string LONG_DIR_BACKSLASHED = std::string(200, 'd') + "\\" + std::string(200, 'd');

std::string in_folder(std::string path, const fs::path& dir) {
    std::string backslashed = dir.string();
    for (char& c : backslashed) {
        if (c == '/') c = '\\';
    }
    const struct {
        std::string mark, folder;
    } marks[] = {{"{dir}", dir.string()}, {"{Z:/dir}", "Z:" + dir.string()}, {"{Z:\\dir}", "Z:" + backslashed}};
    for (const auto& m : marks) {
        if (const std::size_t at = path.find(m.mark); at != std::string::npos) path.replace(at, m.mark.size(), m.folder);
    }
    return path;
}

std::vector<path_case> path_cases() {
    const auto E = path_case::EVERYWHERE, P = path_case::POSIX_ONLY, W = path_case::WINDOWS_ONLY;
    const std::vector<path_case> all = {
        {"plain", "plain", true, nullptr, E, false},
        {"dot_slash", "./plain", true, nullptr, E, false},
        {"double_slash", ".//plain", true, nullptr, E, false},
        {"space_inside", "sub dir/with space", true, nullptr, E, false},
        {"dot_dot", "sub dir/../plain", true, nullptr, E, false},
        {"leading_dash", "-leading-dash", true, nullptr, E, false},
        {"star_in_name", "a*", true, nullptr, P, false},  // names Windows can't hold
        {"odd_bytes", "odd\x01\xff\x7f", true, nullptr, P, false},
        // Outside Windows' ANSI code page (1252 under Wine here): written in UTF-8.
        {"outside_code_page", "日本.bin", true, nullptr, E, true},
        // Inside it: the bytes a Windows tool has always written, 0xE9 for é.
        {"inside_code_page", "café.bin", true, "caf\xe9.bin", E, true},
        {"long_relative", LONG_DIR + "/f.bin", true, nullptr, E, false},
        {"long_dot_dot", std::string(200, 'd') + "/../" + LONG_DIR + "/f.bin", true, nullptr, E, false},
        {"long_backslashes", std::string(200, 'd') + "\\" + std::string(200, 'd') + "\\f.bin", true, nullptr, W, false},
        {"long_absolute", "{dir}/" + LONG_DIR + "/f.bin", true, nullptr, E, false},
        // Device and verbatim forms, which open as given: long ones are kept
        // what they are when made extended-length.
        {"device", R"(\\.\{Z:\dir}\plain)", true, nullptr, W, false},
        {"long_device", R"(\\.\{Z:\dir}\)" + LONG_DIR_BACKSLASHED + R"(\f.bin)", true, nullptr, W, false},
        {"long_device_slashes", "//./{Z:/dir}/" + LONG_DIR + "/f.bin", true, nullptr, W, false},
        {"long_verbatim_slashes", "//?/{Z:/dir}/" + LONG_DIR + "/f.bin", true, nullptr, W, false},
        {"long_object_manager", R"(\??\{Z:\dir}\)" + LONG_DIR_BACKSLASHED + R"(\f.bin)", true, nullptr, W, false},
        {"absent", "{dir}/absent", false, nullptr, E, false},
        {"absent_outside_code_page", "無い.bin", false, nullptr, E, true},
        {"absent_long", "{dir}/" + LONG_DIR + "/absent.bin", false, nullptr, E, false},
        {"directory", "{dir}/directory", false, nullptr, E, false},
        {"directory_slash", "{dir}/", false, nullptr, E, false},
        {"empty", "", false, nullptr, E, false},
        {"below_a_file", "{dir}/plain/below-a-file", false, nullptr, E, false},
        {"star_matching", "{dir}/match-*", false, nullptr, E, false},
        {"question_marks_matching", "{dir}/match-???", false, nullptr, E, false},
    };
    std::vector<path_case> here;
    for (const path_case& c : all) {
        if (c.where == path_case::EVERYWHERE || (c.where == W) == jamcrc_test::tool_is_windows()) here.push_back(c);
    }
    return here;
}

// What a terminal shows: Wine draws its console there with escape sequences
// and moves the cursor over some spaces rather than writing them, so only the
// visible characters count.
std::string visible(const std::string& shown) {
    std::string seen;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        if (shown[i] == '\x1b' && i + 1 < shown.size() && shown[i + 1] == '[') {  // ESC [ ... final letter
            for (i += 2; i < shown.size() && !(shown[i] >= '@' && shown[i] <= '~'); ++i) {
            }
        } else if (shown[i] == '\x1b' && i + 1 < shown.size() && shown[i + 1] == ']') {  // ESC ] ... BEL
            for (i += 2; i < shown.size() && shown[i] != '\x07'; ++i) {
            }
        } else if (shown[i] != ' ' && shown[i] != '\r' && shown[i] != '\n') {
            seen += shown[i];
        }
    }
    return seen;
}

class CliPath : public Cli, public ::testing::WithParamInterface<path_case> {
protected:
    void SetUp() override {
        Cli::SetUp();
        for (const char* name : {"plain", "-leading-dash", "a*", "odd\x01\xff\x7f", "日本.bin", "café.bin", "match-one"}) {
            write_file(name, "abc");
        }
        fs::create_directory(dir_ / "sub dir");
        write_file("sub dir/with space", "abc");
        fs::create_directory(dir_ / "directory");
        fs::create_directories(dir_ / LONG_DIR);
        write_file(LONG_DIR + "/f.bin", "abc");
    }
};

TEST_P(CliPath, IsEchoedExactlyAsGiven) {
    const path_case& c = GetParam();
    const std::string path = in_folder(c.path, dir_);
    const auto line = [&](const std::string& echo) {
        return c.opens ? echo + " crc32: cadbbe3d" : "error opening " + echo;
    };
    const int status = c.opens ? 0 : FAILURE_STATUS;
    run_options in_dir;
    in_dir.working_directory = dir_.string();
    const bool echoed_otherwise = c.windows_echo != nullptr && jamcrc_test::tool_is_windows();
    expect_output(run_tool({path}, in_dir), line(echoed_otherwise ? c.windows_echo : path), status);
    if (c.on_console_too) {
        // A terminal shows the name as it was typed, on every platform; on
        // Windows also where standard output is the console opened for
        // writing only (as "> CON" opens it).
        in_dir.stdout_terminal = true;
        std::vector<run_options> consoles = {in_dir};
        if (jamcrc_test::tool_is_windows()) {
            consoles.push_back(in_dir);
            consoles.back().through = {jamcrc_test::holder_path(), "output-write-only", "CONOUT$"};
        }
        for (const run_options& console : consoles) {
            SCOPED_TRACE(console.through.empty() ? "standard output as given" : "CONOUT$ for writing only");
            const run_result r = run_tool({path}, console);
            EXPECT_FALSE(r.timed_out) << "the tool hung";
            EXPECT_EQ(visible(r.out), visible(line(path))) << r.out;
            EXPECT_EQ(r.err, "");
            EXPECT_EQ(r.exit_status, status);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, CliPath, ::testing::ValuesIn(path_cases()),
                         [](const ::testing::TestParamInfo<path_case>& c) { return std::string(c.param.name); });

// Neither the tool nor its C runtime expands wildcards, even when files match.
TEST_F(Cli, WildcardsAreTakenLiterally) {
    write_file("a1", "x");
    write_file("a2", "y");
    run_options in_dir;
    in_dir.working_directory = dir_.string();
    for (const std::string path : {"a*", "a?", "*"}) {
        SCOPED_TRACE(path);
        expect_output(run_tool({path}, in_dir), "error opening " + path, FAILURE_STATUS);
    }
}

TEST_F(Cli, UnreadableFileCannotBeOpened) {
    SKIP_ON_WINDOWS("file modes are POSIX");
    fs::permissions(dir_, fs::perms::owner_all | fs::perms::others_exec);
    const std::string path = write_file("locked", "abc");
    fs::permissions(path, fs::perms::none);
    run_options unprivileged;  // root would read it anyway
    unprivileged.as_nobody = true;
    expect_output(run_tool({path}, unprivileged), "error opening " + path, FAILURE_STATUS);
}

TEST_F(Cli, SocketCannotBeOpened) {
    SKIP_ON_WINDOWS("POSIX sockets");
    const std::string path = (dir_ / "socket").string();
    const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(s, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof addr.sun_path);
    std::copy(path.begin(), path.end(), addr.sun_path);
    ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    run_options quick;
    quick.timeout = std::chrono::seconds(10);
    expect_output(run_tool({path}, quick), "error opening " + path, FAILURE_STATUS);
    ::close(s);
}

// Files without a length to measure are refused at once, never waited on.
// On Windows, a disk file that measures 0 and still yields bytes (a
// pseudo-file on a share; under Wine, /proc on drive Z:).
TEST_F(Cli, FilesWithoutAMeasurableLengthAreReadErrors) {
    std::vector<std::string> paths;
    if (jamcrc_test::tool_is_windows()) {
        for (const char* pseudo : {"/proc/cpuinfo", "/proc/sys/kernel/ostype"}) {
            std::string on_z = std::string("Z:") + pseudo;
            std::replace(on_z.begin(), on_z.end(), '/', '\\');
            if (fs::exists(pseudo)) paths.push_back(on_z);
        }
    } else {
        const std::string fifo = (dir_ / "fifo").string();
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        paths = {fifo, "/dev/null", "/dev/zero"};
        // Most of /proc can't be sought to its end; some files there seek to
        // an end of 0 and still hold bytes. (qemu-user serves its program's
        // own /proc/self/cmdline from a file of its making, with a real
        // length.)
        for (const char* pseudo : {"/proc/self/status", "/proc/sys/kernel/ostype", "/proc/self/cmdline"}) {
            const bool made_by_launcher = jamcrc_test::tool_has_launcher() && std::string_view(pseudo) == "/proc/self/cmdline";
            if (fs::exists(pseudo) && !made_by_launcher) paths.push_back(pseudo);
        }
    }
    ASSERT_FALSE(paths.empty());
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        run_options quick;
        quick.timeout = std::chrono::seconds(20);  // (a Windows tool starts slowly under emulation)
        expect_output(run_tool({path}, quick), "read error", FAILURE_STATUS);
    }
}

// Devices and pipes are refused or fail to open, never waited on or checksummed.
TEST_F(Cli, DevicesAreNeverChecksummed) {
    SKIP_UNLESS_WINDOWS();
    const std::string absent_pipe = R"(\\.\pipe\jamcrc-no-such-pipe)";
    run_options quick;
    quick.timeout = std::chrono::seconds(20);
    expect_output(run_tool({"NUL"}, quick), "read error", FAILURE_STATUS);
    expect_output(run_tool({absent_pipe}, quick), "error opening " + absent_pipe, FAILURE_STATUS);
    // The console opens where there is one (then it is refused as a device)
    // and fails to open where there is none.
    const run_result con = run_tool({"CON"}, quick);
    EXPECT_TRUE(con.out == "read error" + line_end() || con.out == "error opening CON" + line_end()) << con.out;
    EXPECT_EQ(con.exit_status, FAILURE_STATUS);
    EXPECT_EQ(con.err, "");
}

// A file another program holds opens unless that program denies others
// reading; the holder runs the tool and passes on its output and status.
TEST_F(Cli, FilesHeldByOtherProgramsOpenUnlessReadingIsDenied) {
    SKIP_UNLESS_WINDOWS();
    const struct {
        const char* holder;  // a mode of hold_and_run
        const char* held;    // what it holds; null: the file checked
        bool opens;
    } holders[] = {
        {"none", nullptr, true},
        {"writer-denying-writes", nullptr, true},
        {"delete-access", nullptr, true},
        {"delete-on-close", nullptr, true},
        {"exclusive", nullptr, false},
        // Standard output NUL, opened for writing as "> nul" opens it: the line
        // goes nowhere, and the status is the run's.
        {"output-write-only", "NUL", true},
    };
    for (const auto& h : holders) {
        SCOPED_TRACE(h.holder);
        const std::string path = write_file(std::string("held-") + h.holder, "123456789");
        run_options held;
        held.through = {jamcrc_test::holder_path(), h.holder, h.held != nullptr ? h.held : path};
        if (h.held == nullptr) {
            expect_output(run_tool({path}, held), h.opens ? path + " crc32: 340bc6d9" : "error opening " + path,
                          h.opens ? 0 : FAILURE_STATUS);
            continue;
        }
        for (const std::string& checked : {path, path + ".absent"}) {
            const run_result r = run_tool({checked}, held);
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(r.err, "");
            EXPECT_EQ(r.exit_status, checked == path ? 0 : FAILURE_STATUS) << checked;
        }
    }
}

// System32 is the folder the path names, for a 32-bit tool on 64-bit Windows
// too (where the system would give it SysWOW64), and Sysnative, the alias
// 32-bit programs reach System32 by, still leads there. The expected
// checksums are those of the Wine prefix's own files.
TEST_F(Cli, System32IsTheFolderNamed) {
    SKIP_UNLESS_WINDOWS();
    const char* prefix = std::getenv("WINEPREFIX");
    ASSERT_NE(prefix, nullptr) << "the Windows tool runs under Wine, in WINEPREFIX";
    const fs::path windows = fs::path(prefix) / "drive_c" / "windows";
    const bool wow64 = jamcrc_test::tool_is_32bit_windows();
    const std::string twin = "notepad.exe";  // a 64-bit program in system32, a 32-bit one in syswow64
    const auto contents = [](const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    if (wow64) {
        ASSERT_NE(contents(windows / "system32" / twin), contents(windows / "syswow64" / twin)) << "no twins to tell apart";
    }
    const std::string only_here = "jamcrc-test-" + std::to_string(::getpid()) + ".bin";  // in system32 alone
    std::ofstream(windows / "system32" / only_here, std::ios::binary) << "only in System32";
    const std::string only_there = "jamcrc-test-wow-" + std::to_string(::getpid()) + ".bin";  // in syswow64 alone
    std::ofstream(windows / "syswow64" / only_there, std::ios::binary) << "only in SysWOW64";
    const struct {
        std::string path;
        fs::path file;  // the file the path names; empty: none, so error opening
        bool wow64_only;
    } rows[] = {
        // Once given the SysWOW64 file under the System32 name; now refused.
        {R"(C:\windows\system32\)" + only_there, {}, true},
        {R"(C:\windows\system32\)" + twin, windows / "system32" / twin, false},
        {R"(C:\windows\system32\)" + only_here, windows / "system32" / only_here, false},
        {R"(C:\windows\syswow64\)" + twin, windows / "syswow64" / twin, true},
        {R"(C:\windows\Sysnative\)" + twin, windows / "system32" / twin, true},
        {R"(C:\WINDOWS\SYSNATIVE\)" + only_here, windows / "system32" / only_here, true},
        {R"(\\?\C:\windows\Sysnative\)" + only_here, windows / "system32" / only_here, true},
    };
    for (const auto& row : rows) {
        if (row.wow64_only && !wow64) continue;
        SCOPED_TRACE(row.path);
        if (row.file.empty()) {
            expect_output(run_tool({row.path}), "error opening " + row.path, FAILURE_STATUS);
            continue;
        }
        const std::string bytes = contents(row.file);
        EXPECT_FALSE(bytes.empty()) << row.file;
        expect_report(run_tool({row.path}), row.path, jamcrc_test::bitwise_crc(bytes));
    }
    fs::remove(windows / "system32" / only_here);
    fs::remove(windows / "syswow64" / only_there);
}

// sysfs files claim a length (a page) that the read does not deliver.
TEST_F(Cli, ShortReadIsAReadError) {
    SKIP_ON_WINDOWS("a Linux file system");
    const std::string path = "/sys/kernel/mm/transparent_hugepage/enabled";
    if (!fs::exists(path)) GTEST_SKIP() << path << " is not here";
    expect_output(run_tool({path}), "read error", FAILURE_STATUS);
}

TEST_F(Cli, FilesOf2GiBOrMoreAreReadErrorsNeverTruncated) {
    for (const std::uint64_t size : {std::uint64_t{1} << 31, (std::uint64_t{1} << 32) + 9, (std::uint64_t{1} << 32)}) {
        SCOPED_TRACE(size);
        const std::string path = sparse_file("huge", size);
        expect_output(run_tool({path}), "read error", FAILURE_STATUS);
    }
}

TEST_F(Cli, LargestFileIsStillChecksummed) {
    const std::uint64_t size = (std::uint64_t{1} << 31) - 1;
    const std::string path = sparse_file("largest", size);
    run_options patient;  // under emulation 2 GiB take half a minute
    patient.timeout = std::chrono::minutes(5);
    const run_result r = run_tool({path}, patient);
    if (jamcrc_test::tool_is_32bit_windows() && r.out == "read error" + line_end()) {
        // A 32-bit process may really have no room for one buffer this long:
        // an orderly failure, never a wrong checksum or a crash.
        expect_output(r, "read error", FAILURE_STATUS);
        return;
    }
    expect_report(r, path, jamcrc_test::crc_of_zeros(size));
}

// The folder of this process's cgroup in the v1 memory controller's
// hierarchy, if the machine has one here; empty otherwise.
std::string own_memory_cgroup_v1() {
    std::ifstream in("/proc/self/cgroup");
    for (std::string line; std::getline(in, line);) {
        const std::size_t controllers = line.find(':'), path = line.find(':', controllers + 1);
        if (path == std::string::npos) continue;
        std::string names(1, ',');  // (appended, not added up: GCC 12 warns wrongly of overlap otherwise)
        names.append(line, controllers + 1, path - controllers - 1).push_back(',');
        const std::string folder = "/sys/fs/cgroup/memory" + line.substr(path + 1);
        if (names.find(",memory,") != std::string::npos && fs::exists(folder + "/cgroup.procs")) return folder;
    }
    return {};
}

// A buffer the system can't give is a read error, never a kill nor a hang:
// under an address-space limit, a memory cgroup's limit on the tool's own
// cgroup or an ancestor (cgroup v1 for real where the machine has it; cgroup
// v2 as a tree of its files shown to the tool in place of the real one) and
// on a machine short of memory. Where the memory is there, if only once the
// cache is dropped or by swapping, the file is checksummed.
TEST_F(Cli, BufferBeyondTheMemoryThereIsAReadErrorNotAKill) {
    SKIP_ON_WINDOWS("the limits of Linux");
    enum how { address_space, cgroup_v1, cgroup_v2, machine };
    const struct {
        const char* name;
        how limited_by;
        // Files written before the run, by their path in the cgroup tree
        // ("parent/...", "parent/child/...": the tool runs in the child) or
        // "meminfo", which the tool sees as /proc/meminfo.
        std::vector<std::pair<std::string, std::string>> files;
        bool fits;
        bool cached_in_cgroup = false;  // the cgroup holds the file's pages, read there first
    } cases[] = {
        {"address-space-limit", address_space, {}, false},
        {"v1-limit-below", cgroup_v1, {{"parent/child/memory.limit_in_bytes", "48M"}}, false},
        {"v1-limit-above", cgroup_v1, {{"parent/child/memory.limit_in_bytes", "160M"}}, true},
        {"v1-ancestor-limit-below", cgroup_v1, {{"parent/memory.limit_in_bytes", "48M"}}, false},
        {"v1-room-once-its-cache-goes", cgroup_v1, {{"parent/child/memory.limit_in_bytes", "112M"}}, true, true},
        {"v2-max-below", cgroup_v2, {{"parent/child/memory.max", "50331648"}, {"parent/child/memory.current", "0"}}, false},
        {"v2-high-below", cgroup_v2,
         {{"parent/child/memory.max", "max"}, {"parent/child/memory.high", "50331648"}, {"parent/child/memory.current", "0"}}, false},
        {"v2-ancestor-max-below", cgroup_v2,
         {{"parent/memory.max", "50331648"}, {"parent/memory.current", "1048576"}, {"parent/child/memory.max", "max"}}, false},
        {"v2-room-once-its-cache-goes", cgroup_v2,
         {{"parent/child/memory.max", "117440512"}, {"parent/child/memory.current", "100663296"},
          {"parent/child/memory.stat", "anon 4194304\nfile 96468992\nactive_file 20971520\ninactive_file 75497472\nfile_dirty 0\nfile_writeback 0\n"}},
         true},
        {"v2-dirty-cache-is-no-room", cgroup_v2,
         {{"parent/child/memory.max", "117440512"}, {"parent/child/memory.current", "100663296"},
          {"parent/child/memory.stat", "active_file 20971520\ninactive_file 75497472\nfile_dirty 75497472\nfile_writeback 0\n"}},
         false},
        {"v2-room-in-swap", cgroup_v2,
         {{"parent/child/memory.max", "50331648"}, {"parent/child/memory.current", "0"}, {"parent/child/memory.swap.max", "max"},
          {"meminfo", "MemTotal: 16777216 kB\nMemAvailable: 8388608 kB\nSwapTotal: 1048576 kB\nSwapFree: 1048576 kB\n"}},
         true},
        {"v2-no-swap-below-a-limit", cgroup_v2,
         {{"parent/memory.max", "50331648"}, {"parent/memory.current", "0"}, {"parent/child/memory.swap.max", "0"},
          {"parent/child/memory.swap.current", "0"},
          {"meminfo", "MemTotal: 16777216 kB\nMemAvailable: 8388608 kB\nSwapTotal: 1048576 kB\nSwapFree: 1048576 kB\n"}},
         false},
        {"machine-short-of-memory", machine,
         {{"meminfo", "MemTotal: 16777216 kB\nMemFree: 16384 kB\nMemAvailable: 32768 kB\nSwapTotal: 0 kB\nSwapFree: 0 kB\n"}}, false},
    };
    // Random bytes, so that every page of the buffer is filled (the zeros of
    // a hole would need none).
    std::string contents((64u << 20) + 777, '\0');
    std::mt19937 gen(2);
    for (auto& c : contents) c = static_cast<char>(gen());
    const std::string path = write_file("file", contents);
    const std::string fits_line = path + " crc32: " + hex(jamcrc_test::bitwise_crc(contents));
    const bool root = ::geteuid() == 0;
    const std::string v1 = own_memory_cgroup_v1();
    int made = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        run_options o;
        o.timeout = std::chrono::seconds(60);
        std::string skip;
        if (c.limited_by == address_space) {
            if (jamcrc_test::tool_has_launcher()) skip = "the limit would bind the launcher (qemu-user needs 128 MiB for its code buffer)";
            if (JAMCRC_TEST_SANITIZED) skip = "the sanitizers' shadow memory needs more address space than this allows";
            o.address_space_limit = 48ull << 20;
        } else if (!root) {
            skip = "only root makes cgroups and mount namespaces";
        } else if (c.limited_by == cgroup_v1 && (v1.empty() || jamcrc_test::tool_has_launcher())) {
            skip = v1.empty() ? "no cgroup v1 memory controller here" : "the limit would bind the launcher too";
        }
        if (!skip.empty()) {
            std::cout << c.name << ": not run, " << skip << "\n";
            continue;
        }
        // The same meaning on a machine with swap: the v1 cgroup's memory is
        // never swapped (swappiness 0, which the tool reads), and elsewhere
        // the machine has none unless the row says otherwise.
        auto files = c.files;
        if (c.limited_by == cgroup_v1) {
            files.emplace_back("parent/child/memory.swappiness", "0");
        } else if (c.limited_by != address_space &&
                   std::none_of(files.begin(), files.end(), [](const auto& f) { return f.first == "meminfo"; })) {
            files.emplace_back("meminfo", "MemTotal: 16777216 kB\nMemAvailable: 8388608 kB\nSwapTotal: 0 kB\nSwapFree: 0 kB\n");
        }
        // "parent": a real cgroup below this process's own for v1; for v2,
        // a folder in a tree shown to the tool as /sys/fs/cgroup, with
        // /proc/self/cgroup saying it runs in parent/child.
        const std::string label = std::to_string(::getpid()) + "-" + std::to_string(made++);
        const std::string fake_root = (dir_ / ("cgroup-" + label)).string();
        const std::string parent = c.limited_by == cgroup_v1 ? v1 + "/jamcrc-test-" + label : fake_root + "/parent";
        if (c.limited_by == cgroup_v1 || c.limited_by == cgroup_v2) fs::create_directories(parent + "/child");
        if (c.limited_by == cgroup_v2) {
            std::ofstream(dir_ / "self-cgroup") << "0::/parent/child\n";
            o.shown_instead = {{fake_root, "/sys/fs/cgroup"}, {(dir_ / "self-cgroup").string(), "/proc/self/cgroup"}};
        }
        for (const auto& [name, text] : files) {
            if (name == "meminfo") {
                std::ofstream(dir_ / "meminfo") << text;
                o.shown_instead.emplace_back((dir_ / "meminfo").string(), "/proc/meminfo");
            } else {
                std::ofstream(parent + name.substr(std::string("parent").size())) << text;
            }
        }
        if (c.limited_by == cgroup_v1) {
            o.cgroup = parent + "/child";
            if (c.cached_in_cgroup) {  // read through the cache by a process of the cgroup
                evict(path);
                run_options reader = o;
                reader.through = {"/bin/sh", "-c", "cat \"$1\" > /dev/null"};
                EXPECT_EQ(run_tool({path}, reader).exit_status, 0);
            }
        }
        const run_result r = run_tool({path}, o);
        expect_output(r, c.fits ? fits_line : "read error", c.fits ? 0 : FAILURE_STATUS);
        if (c.limited_by == cgroup_v1) {
            fs::remove(parent + "/child");
            fs::remove(parent);
        }
    }
}

TEST_F(Cli, FailureToWriteTheReportIsAFailure) {
    const std::string path = write_file("digits", "123456789");
    run_options closed;
    closed.close_stdout = true;
    const run_result r1 = run_tool({path}, closed);
    EXPECT_TRUE(r1.exited);
    EXPECT_EQ(r1.exit_status, FAILURE_STATUS);
    EXPECT_EQ(r1.err, "");
    if (fs::exists("/dev/full")) {
        run_options full;
        full.stdout_file = "/dev/full";
        const run_result r2 = run_tool({path}, full);
        EXPECT_TRUE(r2.exited);
        EXPECT_EQ(r2.exit_status, FAILURE_STATUS);
        EXPECT_EQ(r2.err, "");
    }
}

}  // namespace
