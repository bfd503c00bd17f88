// AArch64: the kernel reports its optional instructions through the
// auxiliary vector.
#include <sys/auxv.h>

#include "cpu_features.hpp"

#ifndef HWCAP_CRC32
#define HWCAP_CRC32 (1 << 7)
#endif

namespace jamcrc::cpu {

bool has_arm_crc32() { return (getauxval(AT_HWCAP) & HWCAP_CRC32) != 0; }

}  // namespace jamcrc::cpu
