// Whether a large buffer can be had without the system ending the run for
// it. Where memory is limited by a memory cgroup (a container's, a service's,
// a CI runner's), or the whole machine is short of it, an allocation beyond
// what remains succeeds all the same, and filling it has the kernel's
// out-of-memory killer end the process without a word. Asked first, the
// tool fails in order instead ("read error").
#pragma once

#include <cstdint>

namespace jamcrc {

// False only where the system says plainly that `bytes` more can't be had:
// what a memory cgroup or the machine holds back is counted as room wherever
// the kernel would give it up rather than end a process (page cache it can
// drop, swap it may use). Where nothing can be asked, true.
bool memory_room_for(std::uint64_t bytes);

}  // namespace jamcrc
