// Other CPUs: only the portable kernel.
#include "cpu_features.hpp"

namespace jamcrc::cpu {

bool always() { return true; }
bool has_sse41_pclmul() { return false; }
bool has_avx2_vpclmul() { return false; }
bool has_avx512_vpclmul() { return false; }
bool has_arm_crc32() { return false; }

}  // namespace jamcrc::cpu
