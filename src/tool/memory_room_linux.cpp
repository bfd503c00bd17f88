// Linux: the room a large buffer needs, asked of the memory cgroups the tool
// runs in and of the machine, from the kernel's own small files.
//
// A memory cgroup's limit binds the cgroup and every one below it, so the
// room is the least left at any level from the tool's own cgroup up:
//   cgroup v1  memory.limit_in_bytes less memory.usage_in_bytes, under
//              /sys/fs/cgroup/memory;
//   cgroup v2  the lower of memory.max and memory.high less memory.current,
//              under /sys/fs/cgroup. Past memory.high the kernel doesn't kill
//              but throttles, and with nothing it can reclaim a run would
//              crawl on for ever: it is a limit here as memory.max is.
// What the kernel would give up rather than kill counts as room: clean page
// cache, the file's own cached pages included (dirty pages must be written
// first, and are not counted), and swap, where the cgroup may use it.
// Outside any limit, the machine itself: MemAvailable and SwapFree in
// /proc/meminfo. Past them the kernel's out-of-memory killer ends a process
// to make room, if not this one then another.
//
// The levels are found from /proc/self/cgroup, with the hierarchies where
// systemd, Docker and Kubernetes mount them; in a container whose cgroup is
// the root of what it sees, that root is asked too. Whatever can't be read is
// not a limit.
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "memory_room.hpp"

namespace jamcrc {

namespace {

using bytes = std::int64_t;  // signed: a cgroup may use more than memory.high
constexpr bytes NO_LIMIT = INT64_MAX;
// The kernel writes "max" for no limit (v2) or the largest count of pages it
// keeps, near 2^63 (v1); no machine has 2^60 bytes.
constexpr unsigned long long NO_LIMIT_FROM = 1ull << 60;

// Besides the buffer: the rest of the process and what the kernel keeps for
// it while it reads, and the buffer's page tables, at most 8 bytes per 4 KiB
// page (1/512 of it) where no huge page maps it; twice that, to be safe.
constexpr bytes RESERVE = bytes{4} << 20;
constexpr bytes BUFFER_PER_PAGE_TABLE_BYTE = 4096 / 8 / 2;

// A kernel file of a few lines, whole or as much as fits; false when it
// can't be read.
bool read_text(const char* path, char* text, std::size_t size) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    std::size_t got = 0;
    while (got + 1 < size) {
        const ssize_t n = ::read(fd, text + got, size - 1 - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    text[got] = '\0';
    return got > 0;
}

// `n` units of `unit` bytes; NO_LIMIT from NO_LIMIT_FROM bytes on.
bytes as_bytes(unsigned long long n, unsigned long long unit = 1) {
    return n >= NO_LIMIT_FROM / unit ? NO_LIMIT : static_cast<bytes>(n * unit);
}

// The number a cgroup file holds (bytes, or a plain count); "max" is no limit.
bool read_number(const char* dir, const char* name, bytes& value) {
    char path[4096];
    char text[64];
    if (std::snprintf(path, sizeof path, "%s/%s", dir, name) >= static_cast<int>(sizeof path) ||
        !read_text(path, text, sizeof text)) {
        return false;
    }
    if (std::strncmp(text, "max", 3) == 0) {
        value = NO_LIMIT;
        return true;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long long n = std::strtoull(text, &end, 10);
    if (end == text || errno != 0) {
        return false;
    }
    value = as_bytes(n);
    return true;
}

// The value of `key` in lines of "key value" (memory.stat) or "key: value kB"
// (/proc/meminfo), times `unit`; -1 where there is no such line.
bytes field(const char* text, const char* key, unsigned long long unit = 1) {
    const std::size_t length = std::strlen(key);
    for (const char* line = text; *line != '\0';) {
        if (std::strncmp(line, key, length) == 0 && (line[length] == ' ' || line[length] == ':')) {
            return as_bytes(std::strtoull(line + length + 1, nullptr, 10), unit);
        }
        const char* next = std::strchr(line, '\n');
        if (next == nullptr) {
            break;
        }
        line = next + 1;
    }
    return -1;
}

bytes sum_of_fields(const char* text, std::initializer_list<const char*> keys) {
    bytes sum = 0;
    for (const char* key : keys) {
        sum += std::max<bytes>(field(text, key), 0);
    }
    return sum;
}

// The page cache a cgroup holds that the kernel can drop at once: file pages
// less those still to be written.
bytes reclaimable(const char* dir, const char* active, const char* inactive, const char* dirty, const char* writeback) {
    char path[4096];
    char text[8192];
    if (std::snprintf(path, sizeof path, "%s/memory.stat", dir) >= static_cast<int>(sizeof path) ||
        !read_text(path, text, sizeof text)) {
        return 0;
    }
    return std::max<bytes>(sum_of_fields(text, {active, inactive}) - sum_of_fields(text, {dirty, writeback}), 0);
}

// What one cgroup v1 level leaves, `swap` being the swap the tool's memory
// may go to; NO_LIMIT where it sets no limit.
bytes room_v1(const char* dir, bytes swap) {
    bytes limit = NO_LIMIT, usage = 0;
    if (!read_number(dir, "memory.limit_in_bytes", limit) || limit == NO_LIMIT ||
        !read_number(dir, "memory.usage_in_bytes", usage)) {
        return NO_LIMIT;
    }
    const bytes cache = reclaimable(dir, "total_active_file", "total_inactive_file", "total_dirty", "total_writeback");
    const bytes room = limit - usage + cache + swap;
    // Memory and swap together, where the kernel counts swap per cgroup.
    bytes both_limit = NO_LIMIT, both_usage = 0;
    if (read_number(dir, "memory.memsw.limit_in_bytes", both_limit) && both_limit != NO_LIMIT &&
        read_number(dir, "memory.memsw.usage_in_bytes", both_usage)) {
        return std::min(room, both_limit - both_usage + cache);
    }
    return room;
}

// What one cgroup v2 level leaves, `swap` being the swap the tool's memory
// may go to; NO_LIMIT where it sets no limit.
bytes room_v2(const char* dir, bytes swap) {
    bytes max = NO_LIMIT, high = NO_LIMIT, current = 0;
    read_number(dir, "memory.max", max);
    read_number(dir, "memory.high", high);
    const bytes limit = std::min(max, high);
    if (limit == NO_LIMIT || !read_number(dir, "memory.current", current)) {
        return NO_LIMIT;
    }
    const bytes cache = reclaimable(dir, "active_file", "inactive_file", "file_dirty", "file_writeback");
    return limit - current + cache + swap;
}

// Calls visit(dir) for the cgroup at `path` under `mount` and every level
// above it, the mount's own root included, deepest first. Levels that aren't
// there are passed by (a cgroup v1 container sees its own cgroup at the
// mount, under a path named from the host's root).
template <typename Visit>
void each_level(const char* mount, const char* path, Visit visit) {
    char dir[4096];
    const std::size_t top = std::strlen(mount);
    if (std::snprintf(dir, sizeof dir, "%s%s", mount, path) >= static_cast<int>(sizeof dir)) {
        return;
    }
    for (;;) {
        if (::access(dir, F_OK) == 0) {
            visit(static_cast<const char*>(dir));
        }
        char* last = std::strrchr(dir + top, '/');
        if (last == nullptr) {
            return;
        }
        *last = '\0';
    }
}

// The least room any level leaves. Swap counts where the kernel would use it
// for the tool's memory: v1 swaps a cgroup's memory unless that cgroup's
// swappiness is 0 (the tool's own, where its memory is); v2 within every
// level's memory.swap.max.
bytes least_room_v1(const char* path, bytes swap_free) {
    const char* const mount = "/sys/fs/cgroup/memory";
    bool own = true;
    bytes swap = swap_free;
    each_level(mount, path, [&](const char* dir) {
        bytes swappiness = 1;
        if (own && read_number(dir, "memory.swappiness", swappiness) && swappiness == 0) {
            swap = 0;
        }
        own = false;
    });
    bytes room = NO_LIMIT;
    each_level(mount, path, [&](const char* dir) { room = std::min(room, room_v1(dir, swap)); });
    return room;
}

bytes least_room_v2(const char* path, bytes swap_free) {
    const char* const mount = "/sys/fs/cgroup";
    bytes swap = swap_free;
    each_level(mount, path, [&](const char* dir) {
        bytes max = NO_LIMIT, current = 0;
        if (read_number(dir, "memory.swap.max", max) && max != NO_LIMIT && read_number(dir, "memory.swap.current", current)) {
            swap = std::clamp<bytes>(max - current, 0, swap);
        }
    });
    bytes room = NO_LIMIT;
    each_level(mount, path, [&](const char* dir) { room = std::min(room, room_v2(dir, swap)); });
    return room;
}

// The room the memory cgroups leave: the one the v1 memory controller puts
// the tool in, else its cgroup v2 ("4:memory:/a/b", "0::/a/b" in
// /proc/self/cgroup).
bytes cgroup_room(bytes swap_free) {
    char text[4096];
    if (!read_text("/proc/self/cgroup", text, sizeof text)) {
        return NO_LIMIT;
    }
    const char* unified = nullptr;
    for (char* line = text; line != nullptr && *line != '\0';) {
        char* next = std::strchr(line, '\n');
        if (next != nullptr) {
            *next++ = '\0';
        }
        char* controllers = std::strchr(line, ':');
        char* path = controllers == nullptr ? nullptr : std::strchr(controllers + 1, ':');
        if (path != nullptr) {
            *path++ = '\0';
            *controllers++ = '\0';
            if (std::strcmp(line, "0") == 0 && *controllers == '\0') {
                unified = path;
            }
            for (const char* name = controllers; name != nullptr;) {
                const char* comma = std::strchr(name, ',');
                const std::size_t length = comma == nullptr ? std::strlen(name) : static_cast<std::size_t>(comma - name);
                if (length == 6 && std::strncmp(name, "memory", 6) == 0) {
                    return least_room_v1(path, swap_free);
                }
                name = comma == nullptr ? nullptr : comma + 1;
            }
        }
        line = next;
    }
    return unified == nullptr ? NO_LIMIT : least_room_v2(unified, swap_free);
}

}  // namespace

bool memory_room_for(std::uint64_t wanted) {
    char meminfo[4096];
    bytes machine = NO_LIMIT, swap_free = 0;
    if (read_text("/proc/meminfo", meminfo, sizeof meminfo)) {
        swap_free = std::max<bytes>(field(meminfo, "SwapFree", 1024), 0);
        if (const bytes available = field(meminfo, "MemAvailable", 1024); available >= 0) {
            machine = available + swap_free;
        }
    }
    const bytes room = std::min(machine, cgroup_room(swap_free));
    const auto needed = static_cast<bytes>(wanted);
    return room >= needed + needed / BUFFER_PER_PAGE_TABLE_BYTE + RESERVE;
}

}  // namespace jamcrc
